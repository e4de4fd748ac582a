// The window and the settings dialog as a user first meets them.

#include "support/kivotestaccess.h"
#include "support/modalboxcloser.h"
#include "support/windowdriver.h"

#include "serial/settingsdialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

namespace {

QStringList warnings;

void keepWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // The offscreen platform cannot pass a window's size limits on and says
    // so whenever the layout sets them; that is no fault of the window.
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings << message;
}

// The width a button needs to show its whole label: the text as drawn plus
// the style's margins and, for a check or radio button, its indicator.
int widthForLabel(QAbstractButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
    QStyle::ContentsType type = QStyle::CT_PushButton;
    if (qobject_cast<QCheckBox *>(button))
        type = QStyle::CT_CheckBox;
    else if (qobject_cast<QRadioButton *>(button))
        type = QStyle::CT_RadioButton;
    return button->style()->sizeFromContents(type, &option, text, button).width();
}

// The labelled buttons under `root` (tool buttons show icons) whose label
// does not fit, with the widths needed and given.
QStringList clippedLabels(QWidget *root)
{
    QStringList clipped;
    for (QAbstractButton *button : root->findChildren<QAbstractButton *>()) {
        if (qobject_cast<QToolButton *>(button) || button->text().isEmpty() || !button->isVisibleTo(root))
            continue;
        if (widthForLabel(button) > button->width())
            clipped << QStringLiteral("%1 needs %2, has %3")
                           .arg(button->text())
                           .arg(widthForLabel(button))
                           .arg(button->width());
    }
    return clipped;
}

// The shown widgets under `page` that reach out of their parent.
QStringList cutOff(QWidget *page)
{
    QStringList outside;
    for (QWidget *w : page->findChildren<QWidget *>())
        if (w->isVisibleTo(page) && !w->parentWidget()->rect().contains(w->geometry()))
            outside << w->objectName();
    return outside;
}

// The paper widths ("58mm") a text names.
QStringList paperWidths(const QString &text)
{
    QStringList widths;
    for (const QRegularExpressionMatch &m : QRegularExpression(QStringLiteral("\\b\\d+mm\\b")).globalMatch(text))
        widths << m.captured();
    return widths;
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void startsDisconnectedWithSixTabs();
    void aboutAndQuit();
    void settingsStartAtTheControllerDefaults();
    void portDetailsReadNotAvailableWhenUnknown();
    void fitsASmallScreenWithWholeLabels();
};

void TestWindow::startsDisconnectedWithSixTabs()
{
    // A misspelt handler shows only as a warning of the connect-by-name pass.
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepWarnings);
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    qInstallMessageHandler(previous);
    QCOMPARE(warnings, QStringList());

    QCOMPARE(driver::statusText(window), QString());
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));

    auto *tabs = widget<QTabWidget>(window, "mainTabsKivo");
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i)
        titles << tabs->tabText(i);
    QCOMPARE(titles, (QStringList{"General", "Bar Codes", "Bitmaps ", "Cutter", "Command", "Controller"}));
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(tabs->widget(4)->isAncestorOf(widget<QWidget>(window, "lineEditControllerData")));
}

void TestWindow::aboutAndQuit()
{
    MainWindow window;
    window.show();
    ModalBoxCloser closer;
    widget<QAction>(window, "actionAbout")->trigger();
    widget<QAction>(window, "actionAboutQt")->trigger();
    QCOMPARE(closer.titles(), (QStringList{"Printer Kivo", "About Qt"}));
    QCOMPARE(closer.boxes[0].text,
             QStringLiteral("<b>Printer Kivo Version: 1.1.3</b><br>For controller firmware of June 2020 and newer.  "));

    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!window.isVisible());
}

void TestWindow::settingsStartAtTheControllerDefaults()
{
    const SerialSettings s = SettingsDialog().serialSettings();
    QCOMPARE((QList<int>{s.baudRate, s.dataBits, s.parity, s.stopBits, s.flowControl}),
             (QList<int>{115200, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop,
                         QSerialPort::SoftwareControl}));
    QCOMPARE(QStringList({s.baudRateText, s.dataBitsText, s.parityText, s.stopBitsText, s.flowControlText}),
             (QStringList{"115200", "8", "None", "1", "XON/XOFF"}));
}

void TestWindow::portDetailsReadNotAvailableWhenUnknown()
{
    QCOMPARE(portInfoDatum("ttyUSB0", "USB serial", "Maker", "A1B2", "/dev/ttyUSB0", 0x4AB, 0x6001),
             (QStringList{"ttyUSB0", "USB serial", "Maker", "A1B2", "/dev/ttyUSB0", "4ab", "6001"}));
    QCOMPARE(portInfoDatum("p", "", "", "", "", 0, 0), (QStringList{"p", "N/A", "N/A", "N/A", "", "N/A", "N/A"}));
}

void TestWindow::fitsASmallScreenWithWholeLabels()
{
    // A 1366 x 768 screen with a panel leaves about 700 pixels of height;
    // the status bar, the only connection indicator, must stay on it.
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QSize least = window.minimumSize().expandedTo(window.minimumSizeHint());
    QVERIFY2(least.width() <= 1366 && least.height() <= 700,
             qPrintable(QStringLiteral("minimum %1 x %2").arg(least.width()).arg(least.height())));
    window.resize(least);
    QTRY_COMPARE(window.size(), least);
    auto *status = widget<QStatusBar>(window, "statusBar");
    QVERIFY(status->isVisible());
    QVERIFY(window.rect().contains(status->geometry()));

    // At that size every tab shows all of its contents, labels whole.
    auto *tabs = widget<QTabWidget>(window, "mainTabsKivo");
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QCoreApplication::processEvents();
        QWidget *page = tabs->widget(i);
        QCOMPARE(cutOff(page), QStringList());
        QCOMPARE(clippedLabels(page), QStringList());
    }
    QCOMPARE(clippedLabels(&window), QStringList());

    // Height beyond the minimum goes to the console.
    auto *console = widget<QWidget>(window, "editKivo");
    const int before = console->height();
    window.resize(least + QSize(0, 200));
    QTRY_COMPARE(console->height(), before + 200);

    // A head type's tooltip names the paper width of its label.
    for (QAbstractButton *button : window.findChildren<QAbstractButton *>())
        if (!paperWidths(button->text()).isEmpty())
            QCOMPARE(paperWidths(button->toolTip()), paperWidths(button->text()));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
