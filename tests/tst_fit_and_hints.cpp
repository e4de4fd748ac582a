// The window on a small screen (1366 x 768 with its panel), and refusals
// that say what to do: a picture too wide, one the last head type sent will
// cut, the Load Image filters, and the settings while connected.

#include "support/recordedwindow.h"

#include "bitmap/imagefile.h"
#include "serial/settingsdialog.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QTemporaryDir>

namespace {

// A picture `width` dots wide, loaded as Load Image does.
void loadPicture(MainWindow &window, const QTemporaryDir &dir, int width)
{
    QImage picture(width, 8, QImage::Format_Mono);
    picture.fill(1);
    QVERIFY(picture.save(dir.filePath("picture.png")) && KivoTestAccess::loadFile(window, dir.filePath("picture.png")));
}

// Print Raster Image, to its end; the boxes it showed.
int boxesPrinting(RecordedWindow &recorded, ModalBoxCloser &closer)
{
    const auto before = closer.boxes.size();
    recorded.device.clearWrites();
    widget<QPushButton>(recorded.window, "pushButton_58PrintH")->click();
    if (!QTest::qWaitFor([&] { return !KivoTestAccess::transfer(recorded.window)->isRunning(); }, 60000))
        return -1; // the print never ended
    return int(closer.boxes.size() - before);
}

} // namespace

class TestFitAndHints : public QObject
{
    Q_OBJECT

private slots:
    void windowFitsASmallScreen();
    void picturesSayWhatToDo();
    void settingsWhileConnectedAreReadOnly();
};

void TestFitAndHints::windowFitsASmallScreen()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    widget<QAction>(window, "actionTraffic")->setChecked(true);
    const QSize least = window.minimumSizeHint().expandedTo(window.minimumSize());
    QVERIFY2(least.width() <= 1366 && least.height() <= 700, qPrintable(QString::number(least.height())));
    // At that size the Traffic view is whole, and so is the widest tab.
    window.resize(1366, 700);
    widget<QTabWidget>(window, "mainTabsKivo")->setCurrentIndex(5);
    for (const char *part :
         {"trafficList", "trafficSave", "trafficClear", "trafficRecord", "trafficCount", "groupBox_4"}) {
        auto *shown = widget<QWidget>(window, part);
        QTRY_VERIFY2(window.rect().contains(QRect(shown->mapTo(&window, QPoint()), shown->size())), part);
    }
    // The printed size of a picture too wide for the paper wraps in its room.
    QTemporaryDir dir;
    loadPicture(window, dir, 700);
    auto *size = widget<QLabel>(window, "labelPrintedSize");
    QVERIFY(size->wordWrap() && size->heightForWidth(size->width()) <= size->height());
}

void TestFitAndHints::picturesSayWhatToDo()
{
    RecordedWindow recorded;
    ModalBoxCloser closer;
    QTemporaryDir dir;
    loadPicture(recorded.window, dir, 500);
    QCOMPARE(boxesPrinting(recorded, closer), 1);
    QCOMPARE(closer.boxes[0].text,
             QStringLiteral("This tool allows printing only for bitmaps of up to 384 pixel wide!"));
    QCOMPARE(closer.boxes[0].informativeText,
             QStringLiteral("Choose Fit to width, or paper 576 dots for an 80 mm head."));
    // On 576-dot paper: warned once after a 58 mm head type, not after an 80 mm one.
    widget<QComboBox>(recorded.window, "comboPaperWidth")->setCurrentIndex(1);
    widget<QPushButton>(recorded.window, "pushButtonFTP628")->click();
    QCOMPARE(boxesPrinting(recorded, closer), 1);
    QVERIFY(closer.boxes[1].text.endsWith("the printer will cut the picture at 384 dots."));
    QVERIFY(!recorded.device.writes.isEmpty()); // printed once warned
    QCOMPARE(boxesPrinting(recorded, closer), 0);
    widget<QPushButton>(recorded.window, "pushButtonFTP638")->click();
    QCOMPARE(boxesPrinting(recorded, closer), 0);

    QFileDialog open;
    bitmap::prepareOpenDialog(open, false);
    QVERIFY(open.nameFilters().first().startsWith("All images (*.bmp "));
    QVERIFY(open.selectedNameFilter().startsWith("Windows BMP image"));
}

void TestFitAndHints::settingsWhileConnectedAreReadOnly()
{
    RecordedWindow recorded(false);
    SettingsDialog *dialog = KivoTestAccess::settingsDialog(recorded.window);
    auto *baud = widget<QComboBox>(*dialog, "baudRateBox");
    baud->setCurrentIndex(baud->findText("9600")); // chosen, never applied
    recorded.device.open(QIODevice::ReadWrite);
    KivoTestAccess::startSession(recorded.window);
    widget<QAction>(recorded.window, "actionConfigure")->trigger();
    // What the port runs at, readable (not greyed), not to be changed.
    QVERIFY(dialog->isVisible() && baud->isEnabled());
    QTest::keyClick(baud, Qt::Key_Down);
    QTest::mouseClick(baud, Qt::LeftButton);
    QVERIFY(!baud->view()->isVisible() && !widget<QPushButton>(*dialog, "applyButton")->isEnabled());
    QCOMPARE(baud->currentText(), QStringLiteral("115200"));
    widget<QAction>(recorded.window, "actionDisconnect")->trigger();
    QTest::keyClick(baud, Qt::Key_Down);
    QCOMPARE(baud->currentText(), QStringLiteral("256000"));
}

QTEST_MAIN(TestFitAndHints)
#include "tst_fit_and_hints.moc"
