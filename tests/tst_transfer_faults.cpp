// Faults in the middle of a large picture going to the virtual printer at
// 9600 bit/s: the user disconnects, or the printer vanishes. The window
// must stay responsive, close the port at once, tell the user at most once,
// stay idle afterwards and connect again cleanly.

#include "support/pseudoterminal.h"
#include "support/recordedwindow.h"

#include "serial/settingsdialog.h"
#include "service.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

namespace {

// 384 x 62 500 dots: 3 000 000 bytes of raster data.
constexpr int pictureRows = 62500;
constexpr qint64 pictureBytes = qint64(48) * pictureRows;

// A 1-bit picture, full head width, with a pattern that is not all one byte.
QString writePicture(const QTemporaryDir &dir)
{
    QImage picture(384, pictureRows, QImage::Format_Mono);
    picture.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < 48; ++x)
            picture.scanLine(y)[x] = uchar((x * 7 + y * 13) & 0xFF);
    const QString path = dir.filePath(QStringLiteral("tall.png"));
    return picture.save(path) ? path : QString();
}

// Settings, Custom port, 9600 bit/s, Apply, Connect; then the picture is
// loaded and printed the way the Bitmaps tab does it.
bool printAt9600(MainWindow &window, const QString &link, const QString &picture)
{
    widget<QAction>(window, "actionConfigure")->trigger();
    auto *baud = widget<QComboBox>(*KivoTestAccess::settingsDialog(window), "baudRateBox");
    baud->setCurrentIndex(baud->findText(QStringLiteral("9600")));
    if (!driver::connectTo(window, link) || !KivoTestAccess::loadFile(window, picture))
        return false;
    widget<QPushButton>(window, "pushButton_58PrintH")->click();
    return true;
}

// After the fault: idle (no spinning, no more boxes), and a new connection
// starts clean, its first bytes its own with nothing of the picture after.
void idleThenReconnectsClean(MainWindow &window, const ModalBoxCloser &closer)
{
    QCOMPARE(driver::statusText(window), QStringLiteral("Disconnected"));
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));
    const qsizetype boxes = closer.boxes.size();
    const double cpuBefore = driver::cpuSeconds();
    QTest::qWait(1000);
    QVERIFY2(driver::cpuSeconds() - cpuBefore < 0.3, "busy after the fault");
    PseudoTerminal other;
    QVERIFY(driver::connectTo(window, other.slavePath()));
    QMetaObject::invokeMethod(&window, "printerSoftInit");
    QCOMPARE(other.read(2), QByteArray("\x1B\x40"));
    QCOMPARE(other.readFor(200), QByteArray());
    QCOMPARE(closer.boxes.size(), boxes);
}

} // namespace

class TestTransferFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void disconnectInTheMiddleOfAPicture();
    void printerVanishesInTheMiddleOfAPicture();

private:
    QTemporaryDir dir;
    QString picture;
};

void TestTransferFaults::initTestCase()
{
    picture = writePicture(dir);
    QVERIFY(!picture.isEmpty());
}

void TestTransferFaults::disconnectInTheMiddleOfAPicture()
{
    kvp::ServiceSettings settings;
    settings.linkPath = dir.filePath(QStringLiteral("printer"));
    settings.outputDir = dir.filePath(QStringLiteral("out"));
    settings.lineRate = 9600;
    kvp::Service printer(settings);
    QString error;
    QVERIFY2(printer.start(&error), qPrintable(error));

    MainWindow window;
    ModalBoxCloser closer;
    QSerialPort *port = KivoTestAccess::serialPort(window);
    QVERIFY(printAt9600(window, printer.linkPath(), picture));
    // The line takes 960 bytes a second: the picture has only begun.
    QTRY_VERIFY_WITH_TIMEOUT(printer.printer().buffer().received() >= 500, 5000);
    QVERIFY(port->bytesToWrite() > pictureBytes / 2);

    QElapsedTimer disconnecting;
    disconnecting.start();
    widget<QAction>(window, "actionDisconnect")->trigger();
    QVERIFY2(disconnecting.elapsed() < 1000, "Disconnect waited for the line");
    QVERIFY(!port->isOpen());
    QCOMPARE(port->bytesToWrite(), qint64(0));

    // What was not sent is dropped: the port's own buffer and what the
    // system held for the line. Only what the printer's end of the line had
    // already taken in, at most its line discipline's 4 KiB, still reaches
    // the printer, which takes in the rest of the line when it stops.
    const quint64 receivedAtClose = printer.printer().buffer().received();
    printer.stop();
    QVERIFY2(printer.printer().decodedBytes() <= receivedAtClose + 4096, "the picture went on after the disconnect");
    QVERIFY(closer.boxes.isEmpty());
    idleThenReconnectsClean(window, closer);
}

void TestTransferFaults::printerVanishesInTheMiddleOfAPicture()
{
    const QString link = dir.filePath(QStringLiteral("vanishing"));
    QProcess printer;
    printer.start(QStringLiteral(KVP_EXECUTABLE),
                  {"--headless", "--link", link, "--output", dir.filePath("vanished"), "--flash",
                   dir.filePath("flash.txt"), "--line-rate", "9600"});
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += printer.readAllStandardOutput()).contains("ready\n"), 10000);

    MainWindow window;
    ModalBoxCloser closer;
    QSerialPort *port = KivoTestAccess::serialPort(window);
    QVERIFY(printAt9600(window, link, picture));
    // The system's queue for the line has taken its share; the rest waits.
    QTRY_VERIFY_WITH_TIMEOUT(port->bytesToWrite() < pictureBytes + 8 + 2, 5000);
    QTest::qWait(300);
    QVERIFY(port->bytesToWrite() > pictureBytes / 2);

    ::kill(pid_t(printer.processId()), SIGKILL);
    QVERIFY(printer.waitForFinished(5000));
    QTRY_COMPARE_WITH_TIMEOUT(driver::statusText(window), QStringLiteral("Disconnected"), 5000);
    QCOMPARE(closer.titles(), QStringList{"Critical Error"});
    QVERIFY(!port->isOpen());
    idleThenReconnectsClean(window, closer);
}

QTEST_MAIN(TestTransferFaults)
#include "tst_transfer_faults.moc"
