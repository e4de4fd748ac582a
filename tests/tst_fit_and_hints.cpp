// The window on a small screen (1366 x 768, with its panel).

#include "support/recordedwindow.h"

#include <QAction>
#include <QLabel>
#include <QTemporaryDir>

namespace {

// The whole window fits this with every dock shown.
const QSize smallScreen(1366, 700);

// A black picture `width` dots wide, loaded as Load Image does.
void loadPicture(MainWindow &window, const QTemporaryDir &dir, int width)
{
    QImage picture(width, 8, QImage::Format_Mono);
    picture.fill(1);
    const QString path = dir.filePath(QStringLiteral("picture-%1.png").arg(width));
    QVERIFY(picture.save(path));
    QVERIFY(KivoTestAccess::loadFile(window, path));
}

bool insideWindow(QWidget &window, QWidget *part)
{
    return part->isVisible() && window.rect().contains(QRect(part->mapTo(&window, QPoint()), part->size()));
}

} // namespace

class TestFitAndHints : public QObject
{
    Q_OBJECT

private slots:
    void windowFitsASmallScreen();
};

void TestFitAndHints::windowFitsASmallScreen()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    widget<QAction>(window, "actionTraffic")->setChecked(true);
    const QSize least = window.minimumSizeHint().expandedTo(window.minimumSize());
    QVERIFY2(least.width() <= smallScreen.width() && least.height() <= smallScreen.height(),
             qPrintable(QStringLiteral("%1 x %2").arg(least.width()).arg(least.height())));

    // At that size the Traffic view is whole, and so is the widest tab.
    window.resize(smallScreen);
    QTRY_COMPARE(window.size(), smallScreen);
    for (const char *part : {"trafficList", "trafficSave", "trafficClear", "trafficRecord", "trafficCount"})
        QVERIFY2(insideWindow(window, widget<QWidget>(window, part)), part);
    auto *tabs = widget<QTabWidget>(window, "mainTabsKivo");
    tabs->setCurrentIndex(tabs->count() - 1);
    QVERIFY(insideWindow(window, widget<QWidget>(window, "groupBox_4")));

    // The printed size of a picture too wide for the paper: the advice wraps
    // within the line's room.
    QTemporaryDir dir;
    loadPicture(window, dir, 700);
    auto *size = widget<QLabel>(window, "labelPrintedSize");
    QVERIFY(size->text().endsWith("choose \"Fit to width\""));
    QVERIFY(size->wordWrap());
    QVERIFY(size->heightForWidth(size->width()) <= size->height());
}

QTEST_MAIN(TestFitAndHints)
#include "tst_fit_and_hints.moc"
