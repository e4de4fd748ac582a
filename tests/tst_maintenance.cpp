// The maintenance buttons: what each sends and what the console shows,
// the stored QR picture on the wire, the version and status replies over a
// real pseudo-terminal, and Next Label acting on the press of its button.

#include "support/demotesting.h"
#include "support/expectedstream.h"
#include "support/pseudoterminal.h"

#include <QFile>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <memory>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

// The QR picture's rows as the committed PBM file holds them: the payload
// after the header, read here independently of the program's embedding.
QByteArray qrPictureFromFile()
{
    QFile file(QStringLiteral(KIVO_PICTURES_DIR "/qr-sample.pbm"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().right(qsizetype(29) * 232);
}

} // namespace

class TestMaintenance : public QObject
{
    Q_OBJECT

private slots:
    void handlerSendsAndDescribes_data();
    void handlerSendsAndDescribes();
    void qrBitmapSendsTheStoredPictureInOneCommand();
    void lineFeedLeavesTheConsoleAlone();
    void powerManagmentLeavesExactlyTwoLines();
    void requestShowsWhatHasAlreadyArrived_data();
    void requestShowsWhatHasAlreadyArrived();
    void requestShowsTheReplyPieceByPiece_data();
    void requestShowsTheReplyPieceByPiece();
    void nextLabelActsWhenTheButtonGoesDown();

    void guardShowsTheBoxOnly_data();
    void guardShowsTheBoxOnly();
};

void TestMaintenance::handlerSendsAndDescribes_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QString>("console");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("Reset") << QByteArray("on_pushButtonReset_released") << "Resets and initilizes to default values"
                           << ExpectedStream().printerSoftInit().bytes;
    QTest::newRow("Clear") << QByteArray("on_pushButtonClear_released")
                           << "Clears the cyclic print buffer and line feeds"
                           << ExpectedStream().clearPrintBuffer().printLF().bytes;
    QTest::newRow("Full Cut") << QByteArray("on_pushButtonFullCut_released") << "Sending full cut command"
                              << ExpectedStream().fullCut().bytes;
    QTest::newRow("Partial Cut") << QByteArray("on_pushButtonPartialCut_released") << "Sending partial cut command"
                                 << ExpectedStream().partialCut().bytes;
    QTest::newRow("Power Managment")
        << QByteArray("on_pushButtonPowerManagment_released")
        << "Setting controller into sleep mode.\nSend any command to exit sleep mode and then continue printing..."
        << ExpectedStream().enterSleepMode().bytes;
    QTest::newRow("Next Label") << QByteArray("on_pushButtonNextLabel_pressed") << "Moving to top of next label"
                                << ExpectedStream().newLabelHome().bytes;
    // Left alignment first, no initialisation, no feed before the move.
    QTest::newRow("Print Label") << QByteArray("on_pushButtonTestLabel_released")
                                 << "Printing sample label and moving to new label"
                                 << ExpectedStream()
                                        .horizontalAlign(0)
                                        .print_with_font("Label Print", 0x00)
                                        .print_with_font("Label text", 0x00)
                                        .print_with_font("Label text Bold", 0x08)
                                        .newLabelHome()
                                        .bytes;
}

void TestMaintenance::handlerSendsAndDescribes()
{
    QFETCH(QByteArray, slot);
    QFETCH(QString, console);
    QFETCH(QByteArray, bytes);

    RecordedWindow w;
    w.console()->setPlainText("an earlier reply\nover two lines");
    driver::press(w.window, slot.constData());
    QCOMPARE(w.stream(), bytes);
    QCOMPARE(w.consoleText(), console);

    // A second press sends the command again and shows the text once.
    driver::press(w.window, slot.constData());
    QCOMPARE(w.stream(), bytes + bytes);
    QCOMPARE(w.consoleText(), console);
}

void TestMaintenance::qrBitmapSendsTheStoredPictureInOneCommand()
{
    const QByteArray picture = qrPictureFromFile();
    QCOMPARE(picture.size(), 6728);

    RecordedWindow w;
    driver::press(w.window, "on_pushButtonBitmap_released");

    // Reset, the 8-byte header (29 bytes by 232 rows), then the picture in
    // one write: no banding, no feed, no cut.
    QCOMPARE(w.device.writes.size(), 3);
    QCOMPARE(w.device.writes[0], hex("1B 40"));
    QCOMPARE(w.device.writes[1], hex("1D 76 30 00 1D 00 E8 00"));
    QVERIFY(w.device.writes[2] == picture);
    QCOMPARE(w.stream(), ExpectedStream().printerSoftInit().picturePrintH(29, 232, picture).bytes);

    // The blank border: the first and the last 16 rows print nothing.
    const QByteArray border(qsizetype(16) * 29, '\0');
    QVERIFY(w.device.writes[2].startsWith(border));
    QVERIFY(w.device.writes[2].endsWith(border));
    QVERIFY(w.device.writes[2].count('\0') < 6728);

    QCOMPARE(w.consoleText(), QStringLiteral("Printing a sample QR code"));
}

void TestMaintenance::lineFeedLeavesTheConsoleAlone()
{
    RecordedWindow w;
    w.console()->setPlainText("typed by the user\nand a reply");
    driver::press(w.window, "on_pushButton_LineFeed_released");
    QCOMPARE(w.device.writes, QList<QByteArray>{hex("0A")});
    QCOMPARE(w.consoleText(), QStringLiteral("typed by the user\nand a reply"));

    // Also right after another demonstration: its text stays.
    driver::press(w.window, "on_pushButtonReset_released");
    driver::press(w.window, "on_pushButton_LineFeed_released");
    QCOMPARE(w.stream(), hex("0A 1B 40 0A"));
    QCOMPARE(w.consoleText(), QStringLiteral("Resets and initilizes to default values"));
}

void TestMaintenance::powerManagmentLeavesExactlyTwoLines()
{
    RecordedWindow w;
    w.console()->setPlainText("one\ntwo\nthree\nfour");
    driver::press(w.window, "on_pushButtonPowerManagment_released");
    QCOMPARE(w.console()->document()->blockCount(), 2);
    QCOMPARE(w.console()->document()->firstBlock().text(), QStringLiteral("Setting controller into sleep mode."));
    QCOMPARE(w.console()->document()->lastBlock().text(),
             QStringLiteral("Send any command to exit sleep mode and then continue printing..."));
}

void TestMaintenance::requestShowsWhatHasAlreadyArrived_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("Version") << QByteArray("on_pushButtonVersion_released") << hex("10 05");
    QTest::newRow("Status") << QByteArray("on_pushButtonStatus_released") << hex("10 04");
}

void TestMaintenance::requestShowsWhatHasAlreadyArrived()
{
    QFETCH(QByteArray, slot);
    QFETCH(QByteArray, request);

    // Bytes already waiting are shown by the handler itself, right after it
    // cleared the pane and sent the request; nothing else is written.
    RecordedWindow w;
    w.console()->setPlainText("the previous answer");
    w.device.feedIncoming("waiting ");
    driver::press(w.window, slot.constData());
    QCOMPARE(w.stream(), request);
    QCOMPARE(w.consoleText(), QStringLiteral("waiting "));

    // Nothing waiting: the pane is left empty.
    driver::press(w.window, slot.constData());
    QCOMPARE(w.stream(), request + request);
    QCOMPARE(w.consoleText(), QString());
}

void TestMaintenance::requestShowsTheReplyPieceByPiece_data() { requestShowsWhatHasAlreadyArrived_data(); }

void TestMaintenance::requestShowsTheReplyPieceByPiece()
{
    QFETCH(QByteArray, slot);
    QFETCH(QByteArray, request);

    MainWindow window;
    window.show();
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    // No XON/XOFF: the peer's reply may hold any byte.
    QVERIFY(driver::connectTo(window, pty.slavePath(), "None"));
    auto *console = widget<QPlainTextEdit>(window, "editKivo");
    console->setPlainText("text from before");

    driver::press(window, slot.constData());
    QCOMPARE(console->toPlainText(), QString());
    QCOMPARE(pty.read(2), request);

    pty.write("VX024 ");
    QTRY_COMPARE(console->toPlainText(), QStringLiteral("VX024 "));
    pty.write("FW 1.2");
    QTRY_COMPARE(console->toPlainText(), QStringLiteral("VX024 FW 1.2"));
    pty.write("2 06/2020");
    QTRY_COMPARE(console->toPlainText(), QStringLiteral("VX024 FW 1.22 06/2020"));

    // Asking again clears the previous answer first.
    driver::press(window, slot.constData());
    QCOMPARE(console->toPlainText(), QString());
    QCOMPARE(pty.read(2), request);
    pty.write("ready");
    QTRY_COMPARE(console->toPlainText(), QStringLiteral("ready"));
    QCOMPARE(pty.readFor(50), QByteArray());
}

void TestMaintenance::nextLabelActsWhenTheButtonGoesDown()
{
    RecordedWindow w;
    QPushButton *button = showButton(w.window, "pushButtonNextLabel");

    QTest::mousePress(button, Qt::LeftButton);
    QCOMPARE(w.stream(), hex("1D 06"));
    QCOMPARE(w.consoleText(), QStringLiteral("Moving to top of next label"));
    QTest::mouseRelease(button, Qt::LeftButton);
    QCOMPARE(w.stream(), hex("1D 06"));

    // A whole click is one move as well.
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(w.stream(), hex("1D 06 1D 06"));
}

void TestMaintenance::guardShowsTheBoxOnly_data()
{
    QTest::addColumn<QByteArray>("slot");
    for (const char *slot :
         {"on_pushButtonBitmap_released", "on_pushButtonReset_released", "on_pushButtonClear_released",
          "on_pushButton_LineFeed_released", "on_pushButtonFullCut_released", "on_pushButtonPartialCut_released",
          "on_pushButtonPowerManagment_released", "on_pushButtonNextLabel_pressed", "on_pushButtonVersion_released",
          "on_pushButtonStatus_released", "on_pushButtonTestLabel_released"})
        QTest::newRow(slot) << QByteArray(slot);
}

void TestMaintenance::guardShowsTheBoxOnly()
{
    QFETCH(QByteArray, slot);
    verifyConnectionGuard(slot.constData());
}

QTEST_MAIN(TestMaintenance)
#include "tst_maintenance.moc"
