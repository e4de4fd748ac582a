// The serial link end to end over a real pseudo-terminal: the port is
// opened through the settings dialog's "Custom" entry as a user would, and
// the test plays the controller on the master side.

#include "support/modalboxcloser.h"
#include "support/pseudoterminal.h"
#include "support/windowdriver.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextCursor>

#include <memory>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

class TestSerial : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void connectShowsPortAndLineParameters();
    void missingDeviceReportsTheOpenError();
    void disconnectWithoutOpenPortStillResets();
    void repliesAppearAtTheCursorPieceByPiece();
    void nonTextRepliesDoNotCrash();
    void writesWhileClosedAreDroppedSilently();
    void zeroLengthWriteSendsNothing();
    void largeRasterArrivesComplete();
    void vanishedDeviceIsReportedOnceAndClosed();
    void reconnectAfterLostDeviceWorks();
    void quittingWhileConnectedClosesThePortQuietly();

private:
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<PseudoTerminal> pty;
};

void TestSerial::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    pty = std::make_unique<PseudoTerminal>();
    QVERIFY(pty->isValid());
}

void TestSerial::cleanup()
{
    window.reset();
    pty.reset();
}

void TestSerial::connectShowsPortAndLineParameters()
{
    QVERIFY(driver::connectTo(*window, pty->slavePath()));
    QCOMPARE(driver::statusText(*window),
             QStringLiteral("Connected to %1 : 115200, 8, None, 1, XON/XOFF").arg(pty->slavePath()));
    QCOMPARE(driver::actionStates(*window), QStringLiteral("cDf"));

    QSerialPort *port = KivoTestAccess::serialPort(*window);
    QCOMPARE(port->baudRate(), 115200);
    QCOMPARE(port->flowControl(), QSerialPort::SoftwareControl);

    widget<QAction>(*window, "actionDisconnect")->trigger();
    QVERIFY(!port->isOpen());
    QCOMPARE(driver::statusText(*window), QStringLiteral("Disconnected"));
    QCOMPARE(driver::actionStates(*window), QStringLiteral("CdF"));
}

void TestSerial::missingDeviceReportsTheOpenError()
{
    ModalBoxCloser closer;
    QVERIFY(!driver::connectTo(*window, "/dev/kivo-no-such-device"));
    QCOMPARE(closer.boxes.size(), 1);
    QCOMPARE(closer.boxes[0].title, QStringLiteral("Error"));
    QCOMPARE(closer.boxes[0].icon, QMessageBox::Critical);
    QCOMPARE(closer.boxes[0].text, KivoTestAccess::serialPort(*window)->errorString());
    QVERIFY(!closer.boxes[0].text.isEmpty());
    QCOMPARE(driver::statusText(*window), QStringLiteral("Open error"));
    QCOMPARE(driver::actionStates(*window), QStringLiteral("CdF"));
}

void TestSerial::disconnectWithoutOpenPortStillResets()
{
    ModalBoxCloser closer;
    driver::connectTo(*window, "/dev/kivo-no-such-device");
    QMetaObject::invokeMethod(window.get(), "closeSerialPort");
    QCOMPARE(driver::statusText(*window), QStringLiteral("Disconnected"));
    QCOMPARE(driver::actionStates(*window), QStringLiteral("CdF"));
    QCOMPARE(closer.boxes.size(), 1); // the open error only
}

void TestSerial::repliesAppearAtTheCursorPieceByPiece()
{
    QVERIFY(driver::connectTo(*window, pty->slavePath()));
    auto *console = widget<QPlainTextEdit>(*window, "editKivo");
    console->setPlainText("before|after");
    QTextCursor cursor = console->textCursor();
    cursor.setPosition(7);
    console->setTextCursor(cursor);

    pty->write("VX024 ");
    QTRY_COMPARE(console->toPlainText(), QStringLiteral("before|VX024 after"));
    pty->write("Ver\xC3\xA9");
    QTRY_COMPARE(console->toPlainText(), QStringLiteral("before|VX024 Ver\u00E9after"));
    QCOMPARE(driver::statusText(*window).left(12), QStringLiteral("Connected to"));
}

void TestSerial::nonTextRepliesDoNotCrash()
{
    // No XON/XOFF on the line here: a status byte could be 11 or 13.
    QVERIFY(driver::connectTo(*window, pty->slavePath(), "None"));
    QByteArray noise;
    for (int i = 0; i < 4096; ++i)
        noise.append(char((i * 131 + 7) & 0xFF));
    noise += QByteArray("\x00\xFF\xC3\x28\xE2\x82", 6);
    pty->write(noise);
    auto *console = widget<QPlainTextEdit>(*window, "editKivo");
    QTRY_VERIFY(console->toPlainText().size() > 1000);
    QTest::qWait(50);
    QVERIFY(KivoTestAccess::serialPort(*window)->isOpen());
}

void TestSerial::writesWhileClosedAreDroppedSilently()
{
    ModalBoxCloser closer;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("device not open"));
    QMetaObject::invokeMethod(window.get(), "printerSoftInit");
    QVERIFY(closer.boxes.isEmpty());
    QVERIFY(driver::connectTo(*window, pty->slavePath()));
    QMetaObject::invokeMethod(window.get(), "printLF");
    QCOMPARE(pty->read(1), QByteArray("\n"));
    QCOMPARE(pty->readFor(100), QByteArray());
}

void TestSerial::zeroLengthWriteSendsNothing()
{
    QVERIFY(driver::connectTo(*window, pty->slavePath()));
    const uint8_t bytes[] = {0x41};
    QMetaObject::invokeMethod(window.get(), "Write", Q_ARG(const uint8_t *, bytes), Q_ARG(size_t, 0));
    QCOMPARE(pty->readFor(100), QByteArray());
    QMetaObject::invokeMethod(window.get(), "Write", Q_ARG(const uint8_t *, bytes), Q_ARG(size_t, 1));
    QCOMPARE(pty->read(1), QByteArray("A"));
}

void TestSerial::largeRasterArrivesComplete()
{
    QVERIFY(driver::connectTo(*window, pty->slavePath()));
    const quint16 rows = 65535;
    QByteArray picture(qsizetype(48) * rows, '\0');
    quint32 state = 12345;
    for (char &byte : picture) {
        state = state * 1103515245u + 12345u;
        byte = char(state >> 24);
    }
    QMetaObject::invokeMethod(window.get(), "picturePrintH", Q_ARG(uint8_t, 0), Q_ARG(uint16_t, 48),
                              Q_ARG(uint16_t, rows),
                              Q_ARG(const uint8_t *, reinterpret_cast<const uint8_t *>(picture.constData())));
    const QByteArray received = pty->read(8 + picture.size(), 5000);
    QCOMPARE(received.size(), 8 + picture.size());
    QCOMPARE(received.left(8), QByteArray::fromHex("1D7630003000FFFF"));
    QVERIFY(received.mid(8) == picture);
}

void TestSerial::vanishedDeviceIsReportedOnceAndClosed()
{
    QVERIFY(driver::connectTo(*window, pty->slavePath()));
    QSerialPort *port = KivoTestAccess::serialPort(*window);
    int errorSignals = 0;
    QString firstErrorText;
    connect(port, &QSerialPort::errorOccurred, this, [&](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::NoError)
            return;
        if (++errorSignals == 1)
            firstErrorText = port->errorString();
    });

    ModalBoxCloser closer;
    pty->closeMaster();
    pty->closeSlaveKeeper();
    QTRY_COMPARE(driver::statusText(*window), QStringLiteral("Disconnected"));

    QCOMPARE(closer.boxes.size(), 1);
    QCOMPARE(closer.boxes[0].title, QStringLiteral("Critical Error"));
    QCOMPARE(closer.boxes[0].icon, QMessageBox::Critical);
    QCOMPARE(closer.boxes[0].text, firstErrorText);
    QVERIFY(!port->isOpen());
    QCOMPARE(driver::actionStates(*window), QStringLiteral("CdF"));

    // Idle again: no stream of errors, no spinning core.
    const int signalsBefore = errorSignals;
    const double cpuBefore = cpuSeconds();
    QTest::qWait(1000);
    QVERIFY2(cpuSeconds() - cpuBefore < 0.3, "the event loop keeps a core busy");
    QCOMPARE(errorSignals, signalsBefore);
    QVERIFY2(errorSignals < 10, qPrintable(QString::number(errorSignals)));
    QCOMPARE(closer.boxes.size(), 1);
}

void TestSerial::reconnectAfterLostDeviceWorks()
{
    QVERIFY(driver::connectTo(*window, pty->slavePath()));
    ModalBoxCloser closer;
    pty->closeMaster();
    pty->closeSlaveKeeper();
    QTRY_COMPARE(driver::statusText(*window), QStringLiteral("Disconnected"));

    PseudoTerminal second;
    QVERIFY(driver::connectTo(*window, second.slavePath()));
    QMetaObject::invokeMethod(window.get(), "printerSoftInit");
    QCOMPARE(second.read(2), QByteArray("\x1B\x40"));
    QCOMPARE(closer.boxes.size(), 1);
}

void TestSerial::quittingWhileConnectedClosesThePortQuietly()
{
    QVERIFY(driver::connectTo(*window, pty->slavePath()));
    ModalBoxCloser closer;
    window.reset();
    QCoreApplication::processEvents();
    QVERIFY(closer.boxes.isEmpty());
    // The port is free again: a new window opens it at once.
    MainWindow again;
    QVERIFY(driver::connectTo(again, pty->slavePath()));
}

QTEST_MAIN(TestSerial)
#include "tst_serial.moc"
