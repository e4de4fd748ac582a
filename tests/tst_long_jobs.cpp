// Long jobs against the virtual printer: a tall picture printed whole with
// progress shown, stopped half way with the controller left ready for the
// next job, and the faults in the middle of one (the user disconnects, the
// printer vanishes). The window must stay responsive throughout.

#include "support/bitmaptesting.h"
#include "support/pseudoterminal.h"
#include "support/recordedwindow.h"

#include "serial/settingsdialog.h"
#include "service.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>

#include <csignal>

using bitmaptest::patternDark;

namespace {

// 384 x 40 000 dots: 1 920 000 bytes of raster data, three minutes at
// 115200 bit/s.
constexpr int pictureRows = 40000;
constexpr qint64 lineBytesPerSecond = 11520;

// A virtual printer in-process, following the host's line speed, with a
// small receive buffer: XON/XOFF holds the host whenever the print engine
// is slower than the line.
std::unique_ptr<kvp::Service> startPrinter(const QTemporaryDir &dir, const QString &name, double printSpeed)
{
    kvp::ServiceSettings s;
    s.linkPath = dir.filePath(name + "-link");
    s.outputDir = dir.filePath(name);
    s.printer.bufferSize = 1024;
    s.printer.printBytesPerSecond = printSpeed;
    s.printer.silenceMs = 1000;
    s.printer.core.maxPageDots = pictureRows + 1000;
    auto printer = std::make_unique<kvp::Service>(s);
    QString error;
    return printer->start(&error) ? std::move(printer) : nullptr;
}

// Connects at `baud` and prints the picture file from the Bitmaps tab.
bool printPicture(MainWindow &window, const QString &link, const QString &picture, const char *baud = "115200")
{
    widget<QAction>(window, "actionConfigure")->trigger();
    auto *speed = widget<QComboBox>(*KivoTestAccess::settingsDialog(window), "baudRateBox");
    speed->setCurrentIndex(speed->findText(QString::fromLatin1(baud)));
    if (!driver::connectTo(window, link) || !KivoTestAccess::loadFile(window, picture))
        return false;
    widget<QPushButton>(window, "pushButton_58PrintH")->click();
    return KivoTestAccess::transfer(window)->isRunning();
}

// Waits until the printer has decoded `bytes` in all, or, without a count,
// until the line has been quiet for half a second and the printer decoded
// everything it received.
bool drained(kvp::Service &printer, qint64 bytes = -1)
{
    QElapsedTimer waited, quiet;
    waited.start();
    quiet.start();
    quint64 seen = printer.printer().buffer().received();
    auto done = [&] {
        const quint64 decoded = printer.printer().decodedBytes();
        if (bytes >= 0)
            return decoded == quint64(bytes);
        return decoded == printer.printer().buffer().received() && quiet.elapsed() > 500;
    };
    while (!done() && waited.elapsed() < 30000) {
        QTest::qWait(20);
        if (printer.printer().buffer().received() != seen)
            seen = printer.printer().buffer().received(), quiet.restart();
    }
    return done();
}

// Clicks `button` and returns the bytes it handed to the port.
qint64 click(MainWindow &window, const char *button)
{
    const qint64 before = KivoTestAccess::serialPort(window)->bytesToWrite();
    widget<QPushButton>(window, button)->click();
    return KivoTestAccess::serialPort(window)->bytesToWrite() - before;
}

// The dots of a page file as the picture's rows (1 = a dot).
QByteArray pageRows(const QString &path)
{
    const QImage page(path);
    QByteArray rows(qsizetype(page.height()) * 48, '\0');
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < qMin(page.width(), 384); ++x)
            if (qGray(page.pixel(x, y)) < 128)
                rows[qsizetype(y) * 48 + x / 8] = char(rows[qsizetype(y) * 48 + x / 8] | (0x80 >> (x % 8)));
    return rows;
}

// After a fault: idle (no spinning, no more boxes), and a new connection
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

// One look at a transfer under way.
struct Sample
{
    qint64 atMs, sent, msLeft, received;
};

} // namespace

class TestLongJobs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void tallPicturePrintsWholeWithProgress();
    void stopLeavesTheControllerReady();
    void disconnectStopsCleanlyFirst();
    void printerVanishesInTheMiddleOfAPicture();

private:
    QTemporaryDir dir;
    QString picture;
};

void TestLongJobs::initTestCase()
{
    picture = dir.filePath("tall.png");
    QVERIFY(bitmaptest::patternImage(384, pictureRows).save(picture));
}

void TestLongJobs::tallPicturePrintsWholeWithProgress()
{
    auto printer = startPrinter(dir, "whole", 20000);
    QVERIFY(printer);
    MainWindow window;
    window.show();
    ModalBoxCloser closer;
    QVERIFY(printPicture(window, printer->linkPath(), picture));
    serial::Transfer *transfer = KivoTestAccess::transfer(window);
    auto *bar = widget<QProgressBar>(window, "transferProgress");
    QVERIFY(bar->isVisible());

    // What the window shows, against what the printer has received.
    QList<Sample> samples;
    QElapsedTimer clock;
    clock.start();
    while (transfer->isRunning() && clock.elapsed() < 400000) {
        samples.append(
            {clock.elapsed(), transfer->sent(), transfer->msLeft(), qint64(printer->printer().buffer().received())});
        QTest::qWait(250);
    }
    const qint64 endMs = clock.elapsed();
    QVERIFY(!transfer->isRunning());
    QVERIFY(!bar->isVisible());
    // The reset, then raster commands of 60 rows (a quarter second each).
    QCOMPARE(transfer->total(), 2 + (pictureRows + 59) / 60 * 8 + qint64(48) * pictureRows);
    QVERIFY2(driver::console(window).contains(QStringLiteral("\nBitmap sent: %1 bytes in ").arg(transfer->total())),
             qPrintable(driver::console(window)));

    // A band: a quarter second of the line, 60 rows and the command's head.
    const qint64 total = transfer->total(), band = 60 * 48 + 8;
    for (qsizetype i = 1; i < samples.size(); ++i) {
        const Sample &s = samples[i];
        QVERIFY(s.sent >= samples[i - 1].sent && s.sent <= total);
        QVERIFY2(qAbs(s.sent - s.received) <= band,
                 qPrintable(QStringLiteral("sent %1, the printer has %2").arg(s.sent).arg(s.received)));
        const qint64 actualLeft = endMs - s.atMs;
        if (s.sent > total / 10 && actualLeft > 5000)
            QVERIFY2(qAbs(s.msLeft - actualLeft) <= actualLeft / 5,
                     qPrintable(QStringLiteral("%1 ms left shown, %2 ms left in fact").arg(s.msLeft).arg(actualLeft)));
    }
    QVERIFY(samples.size() > 100);

    QVERIFY(drained(*printer, transfer->total()));
    widget<QAction>(window, "actionDisconnect")->trigger();
    printer->stop();
    QCOMPARE(printer->printer().buffer().lost(), quint64(0));
    QCOMPARE(printer->pagesWritten().size(), 1);
    QVERIFY(pageRows(printer->pagesWritten().first()) == bitmaptest::expectedRows(384, pictureRows, patternDark));
    QVERIFY(closer.boxes.isEmpty());
}

void TestLongJobs::stopLeavesTheControllerReady()
{
    // The print engine is a little slower than the line: flow control holds
    // the host now and then. (What the system holds for the line while the
    // host is held adds to the stop; a pseudo-terminal holds up to 18 KB.)
    auto printer = startPrinter(dir, "stopped", 11000);
    QVERIFY(printer);
    MainWindow window;
    window.show();
    ModalBoxCloser closer;
    QVERIFY(printPicture(window, printer->linkPath(), picture));
    QTRY_VERIFY_WITH_TIMEOUT(printer->printer().buffer().received() > 30000, 20000);

    // Meanwhile a request or a demonstration would end up inside the picture.
    widget<QPushButton>(window, "pushButtonStatus")->click();
    QCOMPARE(closer.titles(), QStringList{"Busy"});

    const qint64 atStop = qint64(printer->printer().buffer().received());
    widget<QPushButton>(window, "transferStop")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!KivoTestAccess::transfer(window)->isRunning(), 5000);
    QVERIFY2(driver::console(window).contains("\nBitmap stopped after "), qPrintable(driver::console(window)));
    QVERIFY(drained(*printer));
    const qint64 afterStop = qint64(printer->printer().buffer().received()) - atStop;
    QVERIFY2(afterStop <= lineBytesPerSecond, qPrintable(QStringLiteral("%1 bytes after Stop").arg(afterStop)));

    // The receipt after the stop is the receipt a fresh controller prints.
    QTest::qWait(1200); // a second of silence ends the picture's page
    const qint64 before = qint64(printer->printer().decodedBytes());
    const qint64 receiptBytes = click(window, "pushButtonReceipt");
    QVERIFY(drained(*printer, before + receiptBytes));
    widget<QAction>(window, "actionDisconnect")->trigger();
    printer->stop();
    QVERIFY(!(printer->printer().core().statusByte() & uint8_t(kvp::Status::DecodeError)));
    QCOMPARE(printer->printer().buffer().lost(), quint64(0));

    auto fresh = startPrinter(dir, "fresh", 11000);
    MainWindow other;
    QVERIFY(driver::connectTo(other, fresh->linkPath()));
    QCOMPARE(click(other, "pushButtonReceipt"), receiptBytes);
    QVERIFY(drained(*fresh, receiptBytes));
    widget<QAction>(other, "actionDisconnect")->trigger();
    fresh->stop();
    QCOMPARE(printer->pagesWritten().size(), 2); // the stopped picture, the receipt
    QCOMPARE(fresh->pagesWritten().size(), 1);
    QCOMPARE(QImage(printer->pagesWritten().last()), QImage(fresh->pagesWritten().last()));
    QCOMPARE(closer.titles(), QStringList{"Busy"});
}

void TestLongJobs::disconnectStopsCleanlyFirst()
{
    auto printer = startPrinter(dir, "disconnected", 20000);
    QVERIFY(printer);
    MainWindow window;
    window.show();
    ModalBoxCloser closer;
    QVERIFY(printPicture(window, printer->linkPath(), picture, "9600"));
    QTRY_VERIFY_WITH_TIMEOUT(printer->printer().buffer().received() >= 500, 5000);
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));

    // Esc starts the stop, Disconnect waits for it, then closes.
    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(KivoTestAccess::transfer(window)->isStopping());
    const qint64 atStop = qint64(printer->printer().buffer().received());
    QVERIFY(KivoTestAccess::transfer(window)->isRunning()); // the band on its way
    widget<QAction>(window, "actionDisconnect")->trigger();
    QVERIFY(KivoTestAccess::serialPort(window)->isOpen());
    QTRY_VERIFY_WITH_TIMEOUT(!KivoTestAccess::serialPort(window)->isOpen(), 2000);
    QVERIFY(drained(*printer));
    QVERIFY(qint64(printer->printer().buffer().received()) - atStop <= 960);

    // The controller is not inside a picture: it answers the next request.
    QVERIFY(driver::connectTo(window, printer->linkPath()));
    widget<QPushButton>(window, "pushButtonStatus")->click();
    QTRY_COMPARE(driver::console(window), QStringLiteral("<10>"));
    widget<QAction>(window, "actionDisconnect")->trigger();
    printer->stop();
    QVERIFY(!(printer->printer().core().statusByte() & uint8_t(kvp::Status::DecodeError)));
    QVERIFY(closer.boxes.isEmpty());
    idleThenReconnectsClean(window, closer);
}

void TestLongJobs::printerVanishesInTheMiddleOfAPicture()
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
    QVERIFY(printPicture(window, link, picture, "9600"));
    QTest::qWait(300);

    ::kill(pid_t(printer.processId()), SIGKILL);
    QVERIFY(printer.waitForFinished(5000));
    QTRY_COMPARE_WITH_TIMEOUT(driver::statusText(window), QStringLiteral("Disconnected"), 5000);
    QCOMPARE(closer.titles(), QStringList{"Critical Error"});
    QVERIFY(!KivoTestAccess::serialPort(window)->isOpen());
    QVERIFY(!KivoTestAccess::transfer(window)->isRunning());
    QVERIFY(driver::console(window).contains("\nBitmap not finished: "));
    idleThenReconnectsClean(window, closer);
}

QTEST_MAIN(TestLongJobs)
#include "tst_long_jobs.moc"
