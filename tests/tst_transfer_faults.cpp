// Faults in the middle of a large picture going to the virtual printer at
// 9600 bit/s: the user disconnects, or the printer vanishes. The window
// must stay responsive, close the port at once, tell the user once, stay
// idle afterwards and connect again cleanly.

#include "support/modalboxcloser.h"
#include "support/pseudoterminal.h"
#include "support/windowdriver.h"

#include "serial/settingsdialog.h"
#include "service.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <memory>

namespace {

// 384 × 62 500 dots: 3 000 000 bytes of raster data.
constexpr int pictureRows = 62500;
constexpr qint64 pictureBytes = qint64(48) * pictureRows;

// A 1-bit picture, full head width, with a pattern that is not all one byte.
QString writePicture(const QTemporaryDir &dir)
{
    QImage picture(384, pictureRows, QImage::Format_Mono);
    picture.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < picture.height(); ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < 48; ++x)
            row[x] = uchar((x * 7 + y * 13) & 0xFF);
    }
    const QString path = dir.filePath(QStringLiteral("tall.png"));
    return picture.save(path) ? path : QString();
}

// Settings → Custom port, 9600 bit/s, XON/XOFF, Apply, Connect.
bool connectAt9600(MainWindow &window, const QString &path)
{
    widget<QAction>(window, "actionConfigure")->trigger();
    auto *baud = widget<QComboBox>(*KivoTestAccess::settingsDialog(window), "baudRateBox");
    baud->setCurrentIndex(baud->findText(QStringLiteral("9600")));
    return driver::connectTo(window, path, QStringLiteral("XON/XOFF"));
}

// Loads the picture and presses "Print", the way the Bitmaps tab does it.
bool printPicture(MainWindow &window, const QString &path)
{
    bool loaded = false;
    QMetaObject::invokeMethod(&window, "loadFile", Qt::DirectConnection, Q_RETURN_ARG(bool, loaded),
                              Q_ARG(QString, path));
    if (!loaded)
        return false;
    driver::press(window, "on_pushButton_58PrintH_released");
    return true;
}

kvp::ServiceSettings printerSettings(const QTemporaryDir &dir, const QString &name, int lineRate)
{
    kvp::ServiceSettings settings;
    settings.linkPath = dir.filePath(QStringLiteral("printer"));
    settings.outputDir = dir.filePath(name);
    settings.lineRate = lineRate;
    return settings;
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < timeoutMs)
        QTest::qWait(5);
    return condition();
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
    QVERIFY(dir.isValid());
    picture = writePicture(dir);
    QVERIFY(!picture.isEmpty());
}

void TestTransferFaults::disconnectInTheMiddleOfAPicture()
{
    QStringList log; // the second printer's, declared before it
    auto printer = std::make_unique<kvp::Service>(printerSettings(dir, QStringLiteral("first"), 9600));
    QString error;
    QVERIFY2(printer->start(&error), qPrintable(error));

    MainWindow window;
    window.show();
    ModalBoxCloser closer;
    QSerialPort *port = KivoTestAccess::serialPort(window);
    QVERIFY(connectAt9600(window, printer->linkPath()));
    QVERIFY(printPicture(window, picture));
    QVERIFY(port->bytesToWrite() > pictureBytes - 100000);

    // The line takes 960 bytes a second: the picture has only begun.
    QVERIFY(waitFor([&] { return printer->printer().buffer().received() >= 500; }, 5000));
    QVERIFY(port->bytesToWrite() > pictureBytes / 2);

    QElapsedTimer disconnecting;
    disconnecting.start();
    widget<QAction>(window, "actionDisconnect")->trigger();
    const qint64 disconnectMs = disconnecting.elapsed();
    QVERIFY2(disconnectMs < 1000, qPrintable(QStringLiteral("Disconnect took %1 ms").arg(disconnectMs)));
    QVERIFY(!port->isOpen());
    QCOMPARE(port->bytesToWrite(), qint64(0));
    QCOMPARE(driver::statusText(window), QStringLiteral("Disconnected"));
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));

    // What was not sent is dropped: the port's own buffer and what the
    // system held for the line (some 17 KB here before). Only what the
    // printer's end of the line had already taken in, at most its line
    // discipline's 4 KiB, still reaches the printer, which takes in the rest
    // of the line at once when it stops.
    const quint64 receivedAtClose = printer->printer().buffer().received();
    printer->stop();
    const quint64 reachedPrinter = printer->printer().decodedBytes();
    QVERIFY2(reachedPrinter <= receivedAtClose + 4096,
             qPrintable(QStringLiteral("%1 bytes went on to the printer after the disconnect")
                            .arg(reachedPrinter - receivedAtClose)));

    const double cpuBefore = driver::cpuSeconds();
    QTest::qWait(500);
    QVERIFY2(driver::cpuSeconds() - cpuBefore < 0.2, "busy after the disconnect");
    QVERIFY(closer.boxes.isEmpty());

    // The controller still waits for the rest of the picture; the engineer
    // switches it off and on: the same link, a new printer. The window
    // connects with the same settings; this printer's line runs at 115200
    // bit/s to keep the test short.
    printer.reset();
    printer = std::make_unique<kvp::Service>(printerSettings(dir, QStringLiteral("second"), 115200));
    connect(printer.get(), &kvp::Service::logLine, printer.get(), [&log](const QString &line) { log << line; });
    QVERIFY2(printer->start(&error), qPrintable(error));

    QVERIFY(driver::connectTo(window, printer->linkPath(), QStringLiteral("XON/XOFF")));
    QVERIFY(closer.boxes.isEmpty());
    driver::press(window, "on_pushButtonVersion_released");
    // The reply line ends in CR LF.
    QVERIFY(waitFor([&] { return driver::console(window).endsWith(QLatin1Char('\n')); }, 5000));
    QVERIFY2(driver::console(window).startsWith(QStringLiteral("VX02x virtual controller")),
             qPrintable(driver::console(window)));
    driver::press(window, "on_pushButtonReceipt_released");
    const qint64 handed = 2 + 12749;
    QVERIFY(waitFor([&] { return printer->printer().decodedBytes() == quint64(handed); }, 10000));
    QCOMPARE(printer->printer().buffer().received(), quint64(handed));
    QCOMPARE(printer->printer().buffer().lost(), quint64(0));
    QCOMPARE(log.filter(QRegularExpression(QStringLiteral("\\b(skip|unknown)\\b"))), QStringList());
    QCOMPARE(port->bytesToWrite(), qint64(0));
    QVERIFY(closer.boxes.isEmpty());
}

void TestTransferFaults::printerVanishesInTheMiddleOfAPicture()
{
    const QString link = dir.filePath(QStringLiteral("vanishing"));
    QProcess printer;
    printer.start(QStringLiteral(KVP_EXECUTABLE),
                  {QStringLiteral("--headless"), QStringLiteral("--link"), link, QStringLiteral("--output"),
                   dir.filePath(QStringLiteral("vanishing-out")), QStringLiteral("--flash"),
                   dir.filePath(QStringLiteral("flash.txt")), QStringLiteral("--line-rate"), QStringLiteral("9600")});
    QVERIFY(printer.waitForStarted());
    QByteArray said;
    QVERIFY(waitFor([&] { return (said += printer.readAllStandardOutput()).contains("ready\n"); }, 10000));

    MainWindow window;
    window.show();
    ModalBoxCloser closer;
    QSerialPort *port = KivoTestAccess::serialPort(window);
    int errorSignals = 0;
    connect(port, &QSerialPort::errorOccurred, this, [&](QSerialPort::SerialPortError e) {
        if (e != QSerialPort::NoError)
            ++errorSignals;
    });
    QVERIFY(connectAt9600(window, link));
    QVERIFY(printPicture(window, picture));
    // The system's queue for the line has taken its share; the rest waits.
    QVERIFY(waitFor([&] { return port->bytesToWrite() < pictureBytes + 8 + 2; }, 5000));
    QTest::qWait(300);
    QVERIFY(port->bytesToWrite() > pictureBytes / 2);

    ::kill(pid_t(printer.processId()), SIGKILL);
    QVERIFY(printer.waitForFinished(5000));

    QVERIFY(waitFor([&] { return driver::statusText(window) == QStringLiteral("Disconnected"); }, 5000));
    QCOMPARE(closer.boxes.size(), 1);
    QCOMPARE(closer.boxes[0].title, QStringLiteral("Critical Error"));
    QCOMPARE(closer.boxes[0].icon, QMessageBox::Critical);
    QVERIFY(!port->isOpen());
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));

    // Idle from then on: no more errors, boxes or spinning.
    const int signalsBefore = errorSignals;
    const double cpuBefore = driver::cpuSeconds();
    QTest::qWait(1000);
    QVERIFY2(driver::cpuSeconds() - cpuBefore < 0.3, "busy after the printer vanished");
    QCOMPARE(errorSignals, signalsBefore);
    QVERIFY2(errorSignals < 10, qPrintable(QString::number(errorSignals)));
    QCOMPARE(closer.boxes.size(), 1);

    // A new connection starts clean: its first bytes are its own, nothing
    // of the lost picture follows them.
    PseudoTerminal other;
    QVERIFY(driver::connectTo(window, other.slavePath(), QStringLiteral("XON/XOFF")));
    QMetaObject::invokeMethod(&window, "printerSoftInit");
    QCOMPARE(other.read(2), QByteArray("\x1B\x40"));
    QCOMPARE(other.readFor(200), QByteArray());
    QCOMPARE(closer.boxes.size(), 1);
}

QTEST_MAIN(TestTransferFaults)
#include "tst_transfer_faults.moc"
