// The serial link end to end over a real pseudo-terminal: the port is
// opened through the settings dialog's "Custom" entry as a user would, and
// the test plays the controller on the master side.

#include "support/modalboxcloser.h"
#include "support/pseudoterminal.h"
#include "support/windowdriver.h"

#include <QPlainTextEdit>
#include <QTest>
#include <QTextCursor>

#include <memory>

class TestSerial : public QObject
{
    Q_OBJECT

private slots:
    void connectAndDisconnect();
    void missingDeviceReportsTheOpenError();
    void repliesAppearAtTheCursorPieceByPiece();
    void largePictureArrivesComplete();
    void vanishedDeviceIsReportedOnceThenReconnects();
    void quittingWhileConnectedFreesThePort();
};

void TestSerial::connectAndDisconnect()
{
    MainWindow window;
    PseudoTerminal pty;
    QVERIFY(driver::connectTo(window, pty.slavePath()));
    QCOMPARE(driver::statusText(window),
             QStringLiteral("Connected to %1 : 115200, 8, None, 1, XON/XOFF").arg(pty.slavePath()));
    QCOMPARE(driver::actionStates(window), QStringLiteral("cDf"));
    QSerialPort *port = KivoTestAccess::serialPort(window);
    QCOMPARE(port->baudRate(), 115200);
    QCOMPARE(port->flowControl(), QSerialPort::SoftwareControl);

    widget<QAction>(window, "actionDisconnect")->trigger();
    QVERIFY(!port->isOpen());
    QCOMPARE(driver::statusText(window), QStringLiteral("Disconnected"));
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));
}

void TestSerial::missingDeviceReportsTheOpenError()
{
    MainWindow window;
    ModalBoxCloser closer;
    QVERIFY(!driver::connectTo(window, "/dev/kivo-no-such-device"));
    QCOMPARE(closer.titles(), QStringList{"Error"});
    QCOMPARE(closer.boxes[0].icon, QMessageBox::Critical);
    QCOMPARE(closer.boxes[0].text, KivoTestAccess::serialPort(window)->errorString());
    QCOMPARE(driver::statusText(window), QStringLiteral("Open error"));
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));
}

void TestSerial::repliesAppearAtTheCursorPieceByPiece()
{
    MainWindow window;
    PseudoTerminal pty;
    QVERIFY(driver::connectTo(window, pty.slavePath()));
    auto *console = widget<QPlainTextEdit>(window, "editKivo");
    console->setPlainText("before|after");
    QTextCursor cursor = console->textCursor();
    cursor.setPosition(7);
    console->setTextCursor(cursor);

    pty.write("VX024 ");
    QTRY_COMPARE(console->toPlainText(), QStringLiteral("before|VX024 after"));
    pty.write("Ver\xC3\xA9");
    QTRY_COMPARE(console->toPlainText(), QStringLiteral("before|VX024 Ver\u00E9after"));
}

void TestSerial::largePictureArrivesComplete()
{
    MainWindow window;
    PseudoTerminal pty;
    QVERIFY(driver::connectTo(window, pty.slavePath()));
    QByteArray picture(qsizetype(48) * 65535, '\0');
    for (qsizetype i = 0; i < picture.size(); ++i)
        picture[i] = char((i * 2654435761u) >> 24);
    QMetaObject::invokeMethod(&window, "picturePrintH", Q_ARG(uint8_t, 0), Q_ARG(uint16_t, 48), Q_ARG(uint16_t, 65535),
                              Q_ARG(const uint8_t *, reinterpret_cast<const uint8_t *>(picture.constData())));
    const QByteArray received = pty.read(8 + picture.size(), 5000);
    QCOMPARE(received.left(8), QByteArray::fromHex("1D7630003000FFFF"));
    QVERIFY(received.mid(8) == picture);
}

void TestSerial::vanishedDeviceIsReportedOnceThenReconnects()
{
    MainWindow window;
    auto pty = std::make_unique<PseudoTerminal>();
    QVERIFY(driver::connectTo(window, pty->slavePath()));
    QSerialPort *port = KivoTestAccess::serialPort(window);
    ModalBoxCloser closer;
    pty.reset();
    QTRY_COMPARE(driver::statusText(window), QStringLiteral("Disconnected"));
    QCOMPARE(closer.titles(), QStringList{"Critical Error"});
    QVERIFY(!port->isOpen());
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));

    // Idle again: no stream of errors, no spinning core, no second box.
    const double cpuBefore = driver::cpuSeconds();
    QTest::qWait(1000);
    QVERIFY2(driver::cpuSeconds() - cpuBefore < 0.3, "the event loop keeps a core busy");
    QCOMPARE(closer.boxes.size(), 1);

    PseudoTerminal second;
    QVERIFY(driver::connectTo(window, second.slavePath()));
    QMetaObject::invokeMethod(&window, "printerSoftInit");
    QCOMPARE(second.read(2), QByteArray("\x1B\x40"));
    QCOMPARE(closer.boxes.size(), 1);
}

void TestSerial::quittingWhileConnectedFreesThePort()
{
    PseudoTerminal pty;
    ModalBoxCloser closer;
    {
        MainWindow window;
        QVERIFY(driver::connectTo(window, pty.slavePath()));
    }
    QCoreApplication::processEvents();
    QVERIFY(closer.boxes.isEmpty());
    MainWindow again;
    QVERIFY(driver::connectTo(again, pty.slavePath()));
}

QTEST_MAIN(TestSerial)
#include "tst_serial.moc"
