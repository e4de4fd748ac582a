// The "Controller" tab: the eleven print head buttons and Apply, driven
// through the real buttons.

#include "support/demotesting.h"
#include "support/expectedstream.h"
#include "support/pseudoterminal.h"

#include <QRadioButton>
#include <QTest>
#include <QTextDocument>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

const char *const speedButtons[] = {"radioButton9600",   "radioButton19200",  "radioButton38400", "radioButton57600",
                                    "radioButton115200", "radioButton256000", "radioButton375000"};
const char *const flowButtons[] = {"radioButtonNoFlow", "radioButtonSoftFlow", "radioButtonHardFlow"};

const QString applyConsole = QStringLiteral(
    "Setting UART com speed and flow control. Startup default settings are 115200bps and XON/XOFF\n"
    "After issuing this command you must adjust your host UART settings as well by diconnecting and connectin "
    "with the right settings");

QRadioButton *radio(MainWindow &window, const char *name) { return widget<QRadioButton>(window, name); }

// Leaves every button of the group unchecked, which a user cannot do.
template<size_t N>
void uncheckAll(MainWindow &window, const char *const (&names)[N])
{
    for (const char *name : names) {
        QRadioButton *button = radio(window, name);
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
}

void clickApply(MainWindow &window) { QTest::mouseClick(showButton(window, "pushButtonApply"), Qt::LeftButton); }

} // namespace

class TestConfiguration : public QObject
{
    Q_OBJECT

private slots:
    void headButtonAnnouncesAndSends_data();
    void headButtonAnnouncesAndSends();
    void m23H69ActsWhenTheButtonGoesDown();

    void applySendsTheCheckedSettings_data();
    void applySendsTheCheckedSettings();
    void applyFallsBackAndTakesTheFirstChecked();
    void radioButtonsAloneSendNothing();
    void applyLeavesTheHostPortAsItWas();

    void guardShowsTheBoxOnly_data();
    void guardShowsTheBoxOnly();
};

void TestConfiguration::headButtonAnnouncesAndSends_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("flash");

    const QString vx02x = "Updating VX02x controller flash...";
    const QString vx024b = "Updating VX024B controller flash...";
    const QString vx025 = "Updating VX025 controller flash...";
    struct Row
    {
        const char *button;
        int index;
        const char *description;
        QString flash;
    };
    const Row rows[] = {
        {"pushButtonFTP628", 0, "Setting Print Head to Type: 0 - 58mm FTP628MCL101 or compatible", vx02x},
        {"pushButtonFTP638", 1, "Setting Print Head to Type: 1 - 80mm FTP638MCL101 or compatible", vx02x},
        {"pushButtonLTP0213", 2, "Setting Print Head to Type: 2 - 58mm Seiko LTP02-245-13 or compatible", vx02x},
        {"pushButtonLTP02C1", 3, "Setting Print Head to Type: 3 - 58mm Seiko LTP02-245-C1 or compatible", vx02x},
        {"pushButton58_384", 4, "Setting Print Head to Type: 4 - 58mm 384 dots with cutter 7.2V/24V", vx024b},
        {"pushButton80_576", 5, "Setting Print Head to Type: 5 - PT72EP 80mm 576 dots with cutter 7.2V/24V", vx024b},
        {"pushButtonM23_H69", 6, "Setting Print Head to Type: 6 - 58mm M23-DH-H69 or compatible", vx02x},
        {"pushButtonM23_SX", 7, "Setting Print Head to Type: 7 - 58mm M23-SX or compatible", vx02x},
        {"pushButtonSeiko345", 8, "Setting Print Head to Type: 8 - 80mm Seiko LTPV345 or compatible", vx025},
        {"pushButtonPT486HLV", 9, "Setting Print Head to Type: 9 - 58mm PT486HLV or compatible", vx02x},
        {"pushButtonJX2R39BQ", 10, "Setting Print Head to Type: 10 - 58mm JX2R39BQ Label printer or compatible",
         vx024b},
    };
    for (const Row &row : rows)
        QTest::newRow(row.button) << QByteArray(row.button) << row.index << QString(row.description) << row.flash;
}

void TestConfiguration::headButtonAnnouncesAndSends()
{
    QFETCH(QByteArray, button);
    QFETCH(int, index);
    QFETCH(QString, description);
    QFETCH(QString, flash);

    RecordedWindow w;
    w.console()->setPlainText("something older\nin three\nlines");
    QTest::mouseClick(showButton(w.window, button.constData()), Qt::LeftButton);

    QCOMPARE(w.stream(), ExpectedStream().setPrinterHead(uint8_t(index)).bytes);
    QCOMPARE(w.console()->document()->blockCount(), 2);
    QCOMPARE(w.consoleText(), description + '\n' + flash);
}

void TestConfiguration::m23H69ActsWhenTheButtonGoesDown()
{
    RecordedWindow w;
    QPushButton *button = showButton(w.window, "pushButtonM23_H69");
    QTest::mousePress(button, Qt::LeftButton);
    QCOMPARE(w.stream(), ExpectedStream().setPrinterHead(6).bytes);
    QCOMPARE(w.consoleText(),
             QStringLiteral("Setting Print Head to Type: 6 - 58mm M23-DH-H69 or compatible\n"
                            "Updating VX02x controller flash..."));
    QTest::mouseRelease(button, Qt::LeftButton);
    QCOMPARE(w.stream(), ExpectedStream().setPrinterHead(6).bytes);
}

void TestConfiguration::applySendsTheCheckedSettings_data()
{
    QTest::addColumn<QByteArray>("speedButton");
    QTest::addColumn<QByteArray>("flowButton");
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("flow");

    QTest::newRow("start-up selection") << QByteArray() << QByteArray() << 4 << 1;
    QTest::newRow("375000, hardware") << QByteArray("radioButton375000") << QByteArray("radioButtonHardFlow") << 6 << 2;
    QTest::newRow("9600, none") << QByteArray("radioButton9600") << QByteArray("radioButtonNoFlow") << 0 << 0;
    // Every speed at its place, with each flow control in turn.
    for (int speed = 0; speed < 7; ++speed) {
        const int flow = speed % 3;
        QTest::addRow("%s, %s", speedButtons[speed], flowButtons[flow])
            << QByteArray(speedButtons[speed]) << QByteArray(flowButtons[flow]) << speed << flow;
    }
}

void TestConfiguration::applySendsTheCheckedSettings()
{
    QFETCH(QByteArray, speedButton);
    QFETCH(QByteArray, flowButton);
    QFETCH(int, speed);
    QFETCH(int, flow);

    RecordedWindow w;
    w.console()->setPlainText("older text");
    if (!speedButton.isEmpty())
        radio(w.window, speedButton.constData())->setChecked(true);
    if (!flowButton.isEmpty())
        radio(w.window, flowButton.constData())->setChecked(true);
    clickApply(w.window);

    QCOMPARE(w.stream(), ExpectedStream().setComMode(uint8_t(speed), uint8_t(flow)).bytes);
    QCOMPARE(w.consoleText(), applyConsole);
}

void TestConfiguration::applyFallsBackAndTakesTheFirstChecked()
{
    RecordedWindow w;
    uncheckAll(w.window, speedButtons);
    uncheckAll(w.window, flowButtons);
    clickApply(w.window);
    QCOMPARE(w.stream(), hex("1D 28 04 01"));

    // Each group falls back on its own.
    radio(w.window, "radioButtonHardFlow")->setChecked(true);
    clickApply(w.window);
    radio(w.window, "radioButton57600")->setChecked(true);
    uncheckAll(w.window, flowButtons);
    clickApply(w.window);
    QCOMPARE(w.stream(), hex("1D 28 04 01 1D 28 04 02 1D 28 03 01"));

    // Should two speeds ever be checked, the first in the list wins.
    w.device.clearWrites();
    radio(w.window, "radioButton57600")->setAutoExclusive(false);
    radio(w.window, "radioButton19200")->setChecked(true);
    QVERIFY(radio(w.window, "radioButton57600")->isChecked());
    clickApply(w.window);
    QCOMPARE(w.stream(), hex("1D 28 01 01"));
}

void TestConfiguration::radioButtonsAloneSendNothing()
{
    RecordedWindow w;
    showButton(w.window, "pushButtonApply");
    const QPoint indicator(6, 10);
    QTest::mouseClick(radio(w.window, "radioButton256000"), Qt::LeftButton, {}, indicator);
    QTest::mouseClick(radio(w.window, "radioButtonNoFlow"), Qt::LeftButton, {}, indicator);
    QVERIFY(radio(w.window, "radioButton256000")->isChecked());
    QVERIFY(radio(w.window, "radioButtonNoFlow")->isChecked());
    QVERIFY(w.device.writes.isEmpty());
    QCOMPARE(w.consoleText(), QString());

    clickApply(w.window);
    QCOMPARE(w.stream(), hex("1D 28 05 00"));
}

void TestConfiguration::applyLeavesTheHostPortAsItWas()
{
    MainWindow window;
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QVERIFY(driver::connectTo(window, pty.slavePath()));
    QSerialPort *port = KivoTestAccess::serialPort(window);
    const QString status = driver::statusText(window);

    radio(window, "radioButton375000")->setChecked(true);
    radio(window, "radioButtonHardFlow")->setChecked(true);
    clickApply(window);
    QCOMPARE(pty.read(4), hex("1D 28 06 02"));

    // The controller changes; the host side waits for the user to reconnect.
    QVERIFY(port->isOpen());
    QCOMPARE(port->baudRate(), 115200);
    QCOMPARE(port->flowControl(), QSerialPort::SoftwareControl);
    QCOMPARE(port->dataBits(), QSerialPort::Data8);
    QCOMPARE(port->parity(), QSerialPort::NoParity);
    QCOMPARE(port->stopBits(), QSerialPort::OneStop);
    QCOMPARE(driver::statusText(window), status);
    QCOMPARE(driver::actionStates(window), QStringLiteral("cDf"));
    QCOMPARE(driver::console(window), applyConsole);
}

void TestConfiguration::guardShowsTheBoxOnly_data()
{
    QTest::addColumn<QByteArray>("slot");
    for (const char *slot :
         {"on_pushButtonFTP628_released", "on_pushButtonFTP638_released", "on_pushButtonLTP0213_released",
          "on_pushButtonLTP02C1_released", "on_pushButton58_384_released", "on_pushButton80_576_released",
          "on_pushButtonM23_H69_pressed", "on_pushButtonM23_SX_released", "on_pushButtonSeiko345_released",
          "on_pushButtonPT486HLV_released", "on_pushButtonJX2R39BQ_released", "on_pushButtonApply_released"})
        QTest::newRow(slot) << QByteArray(slot);
}

void TestConfiguration::guardShowsTheBoxOnly()
{
    QFETCH(QByteArray, slot);
    verifyConnectionGuard(slot.constData());
}

QTEST_MAIN(TestConfiguration)
#include "tst_configuration.moc"
