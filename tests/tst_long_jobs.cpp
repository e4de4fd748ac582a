// Long jobs: a tall picture (384 x 40 000 dots, three minutes of the line at
// 115200 bit/s) printed whole with its progress shown, stopped half way with
// the controller left ready for the next job, and the faults in the middle
// of one (the user disconnects, the device vanishes). The line and the
// virtual printer run in simulated time, so the minutes pass in moments and
// every figure is the same on any machine.

#include "support/bitmaptesting.h"
#include "support/pseudoterminal.h"
#include "support/recordedwindow.h"
#include "support/simulatedline.h"

#include "serial/settingsdialog.h"

#include <QComboBox>
#include <QProgressBar>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace {

constexpr int pictureRows = 40000;

// What a transfer may have on its way when Stop comes: the band being sent
// (a quarter second of the line: 60 rows at 115200 bit/s, 5 at 9600, and
// the command's head) and the tenth of a second it keeps ahead of the line.
constexpr qint64 onItsWay(qint64 bytesPerSecond) { return bytesPerSecond / 4 / 48 * 48 + 8 + bytesPerSecond / 10; }

// The window writing into a simulated line, its long sends on the same
// clock. The printer's receive buffer is small: XON/XOFF holds the window
// whenever the print engine is slower than the line.
struct SimulatedJob
{
    explicit SimulatedJob(double printSpeed, int bitRate = 115200)
        : line(clock, bitRate, [printSpeed] {
            kvp::VirtualPrinter::Settings s;
            s.bufferSize = 1024;
            s.printBytesPerSecond = printSpeed;
            s.core.maxPageDots = pictureRows + 1000;
            return s;
        }())
    {
        // The line speed chosen as a user chooses it: a picture's bands follow it.
        widget<QAction>(window, "actionConfigure")->trigger();
        auto *speed = widget<QComboBox>(*KivoTestAccess::settingsDialog(window), "baudRateBox");
        speed->setCurrentIndex(speed->findText(QString::number(bitRate)));
        driver::chooseCustomPort(window, QStringLiteral("simulated"));
        KivoTestAccess::setWire(window, &line, line.bytesPerSecond());
        KivoTestAccess::setClock(window, clock);
        line.open(QIODevice::ReadWrite);
        KivoTestAccess::startSession(window);
        window.show();
    }
    ~SimulatedJob() { KivoTestAccess::setWire(window, KivoTestAccess::serialPort(window)); }

    serial::Transfer *transfer() { return KivoTestAccess::transfer(window); }
    qint64 received() const { return qint64(line.printer.buffer().received()); }
    // Moves time on until `done`, for at most `limitMs`.
    bool runUntil(const std::function<bool()> &done, qint64 limitMs = 600000)
    {
        for (const qint64 end = clock.nowMs() + limitMs; !done() && clock.nowMs() < end;)
            clock.advance(10);
        return done();
    }
    // Until the printer has decoded all that the window handed to the line.
    bool drain()
    {
        return runUntil([this] { return line.bytesToWrite() == 0 && line.printer.bufferEmpty(); });
    }
    bool print(const QString &picture)
    {
        if (!KivoTestAccess::loadFile(window, picture))
            return false;
        widget<QPushButton>(window, "pushButton_58PrintH")->click();
        return transfer()->isRunning();
    }
    // Clicks `button`; returns the bytes it handed to the line.
    qint64 click(const char *button)
    {
        const qint64 before = line.bytesToWrite();
        widget<QPushButton>(window, button)->click();
        return line.bytesToWrite() - before;
    }
    bool decodedCleanly() const
    {
        return line.printer.buffer().lost() == 0
            && !(line.printer.core().statusByte() & uint8_t(kvp::Status::DecodeError));
    }

    timing::ManualClock clock;
    SimulatedLine line;
    MainWindow window;
    ModalBoxCloser closer;
};

// One look at a transfer under way.
struct Sample
{
    qint64 atMs, sent, msLeft, received;
    int shown; // the progress bar, per mille
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
    void deviceVanishesInTheMiddleOfAPicture();
    void fileIsReadAsTheLineTakesIt();
    void stopSaysWhatTheControllerStillExpects();

private:
    QTemporaryDir dir;
    QString picture;
};

void TestLongJobs::initTestCase()
{
    picture = bitmaptest::save(dir, "tall.png", bitmaptest::patternImage(384, pictureRows));
    QVERIFY(!picture.isEmpty());
}

void TestLongJobs::tallPicturePrintsWholeWithProgress()
{
    // The print engine is slower than the line: the time left follows the
    // pace the printer allows, not the line's.
    SimulatedJob job(8000);
    QVERIFY(job.print(picture));
    serial::Transfer *transfer = job.transfer();
    auto *bar = widget<QProgressBar>(job.window, "transferProgress");
    QVERIFY(bar->isVisible());
    qint64 endMs = -1;
    connect(transfer, &serial::Transfer::finished, this, [&] { endMs = job.clock.nowMs(); });

    // What the window shows, against what the printer has received.
    QList<Sample> samples;
    while (transfer->isRunning() && job.clock.nowMs() < 400000) {
        samples.append({job.clock.nowMs(), transfer->sent(), transfer->msLeft(), job.received(), bar->value()});
        job.clock.advance(250);
    }
    QVERIFY(!transfer->isRunning() && !bar->isVisible());
    // The reset, then raster commands of 60 rows (a quarter second each).
    const qint64 total = transfer->total();
    QCOMPARE(total, 2 + (pictureRows + 59) / 60 * 8 + qint64(48) * pictureRows);
    QVERIFY2(driver::console(job.window).contains(QStringLiteral("\nBitmap sent: %1 bytes in ").arg(total)),
             qPrintable(driver::console(job.window)));
    const qint64 band = 60 * 48 + 8;
    for (qsizetype i = 1; i < samples.size(); ++i) {
        const Sample &s = samples[i];
        QVERIFY(s.sent >= samples[i - 1].sent && s.sent <= total);
        QCOMPARE(s.shown, int(s.sent * 1000 / total));
        QVERIFY2(qAbs(s.sent - s.received) <= band,
                 qPrintable(QStringLiteral("sent %1, the printer has %2").arg(s.sent).arg(s.received)));
        const qint64 actualLeft = endMs - s.atMs;
        if (s.sent > total / 10)
            QVERIFY2(qAbs(s.msLeft - actualLeft) <= actualLeft / 5,
                     qPrintable(QStringLiteral("%1 ms left shown, %2 ms left in fact").arg(s.msLeft).arg(actualLeft)));
    }
    QVERIFY(samples.size() > 900); // four minutes, a look every quarter second

    QVERIFY(job.drain());
    job.line.printer.finish();
    QVERIFY(job.decodedCleanly());
    QCOMPARE(job.line.pages.size(), size_t(1));
    QVERIFY(bitmaptest::pageRows(job.line.pages[0].image, 384)
            == bitmaptest::expectedRows(384, pictureRows, bitmaptest::patternDark));
    QVERIFY(job.closer.boxes.isEmpty());
}

void TestLongJobs::stopLeavesTheControllerReady()
{
    // The print engine is a little slower than the line: flow control holds
    // the window now and then.
    SimulatedJob job(11000);
    QVERIFY(job.print(picture));
    QVERIFY(job.runUntil([&] { return job.received() > 30000; }));

    // Meanwhile a request or a demonstration would end up inside the picture.
    widget<QPushButton>(job.window, "pushButtonStatus")->click();
    QCOMPARE(job.closer.titles(), QStringList{"Busy"});

    const qint64 atStop = job.received();
    widget<QPushButton>(job.window, "transferStop")->click();
    QVERIFY(job.runUntil([&] { return !job.transfer()->isRunning(); }, 10000));
    QVERIFY2(driver::console(job.window).contains("\nBitmap stopped after "), qPrintable(driver::console(job.window)));
    QVERIFY(job.drain());
    QVERIFY2(job.received() - atStop <= onItsWay(11520),
             qPrintable(QStringLiteral("%1 bytes after Stop").arg(job.received() - atStop)));

    // The receipt after the stop is the receipt a fresh controller prints.
    job.clock.advance(1200); // a second of silence ends the picture's page
    const qint64 receiptBytes = job.click("pushButtonReceipt");
    QVERIFY(job.drain());
    job.line.printer.finish();
    QVERIFY(job.decodedCleanly());
    SimulatedJob fresh(11000);
    QCOMPARE(fresh.click("pushButtonReceipt"), receiptBytes);
    QVERIFY(fresh.drain());
    fresh.line.printer.finish();
    QCOMPARE(job.line.pages.size(), size_t(2)); // the stopped picture, the receipt
    QCOMPARE(fresh.line.pages.size(), size_t(1));
    QCOMPARE(job.line.pages[1].image, fresh.line.pages[0].image);
    QCOMPARE(job.closer.titles() + fresh.closer.titles(), QStringList{"Busy"});
}

void TestLongJobs::disconnectStopsCleanlyFirst()
{
    SimulatedJob job(20000, 9600);
    QVERIFY(job.print(picture));
    QVERIFY(job.runUntil([&] { return job.received() >= 500; }));
    QApplication::setActiveWindow(&job.window);
    QVERIFY(QTest::qWaitForWindowActive(&job.window));

    // Esc starts the stop, Disconnect waits for it, then closes.
    QTest::keyClick(&job.window, Qt::Key_Escape);
    QVERIFY(job.transfer()->isStopping());
    const qint64 atStop = job.received();
    widget<QAction>(job.window, "actionDisconnect")->trigger();
    QVERIFY(job.transfer()->isRunning()); // the band on its way
    QCOMPARE(driver::actionStates(job.window), QStringLiteral("cdF"));
    QVERIFY(job.runUntil([&] { return !job.transfer()->isRunning(); }, 10000));
    QCOMPARE(driver::statusText(job.window), QStringLiteral("Disconnected"));
    QCOMPARE(driver::actionStates(job.window), QStringLiteral("CdF"));
    QVERIFY(job.drain());
    QVERIFY(job.received() - atStop <= onItsWay(960));

    // The controller is not inside a picture: it answers the next request.
    QVERIFY(!job.line.isOpen() && job.line.open(QIODevice::ReadWrite));
    job.line.write("\x10\x04");
    QVERIFY(job.runUntil([&] { return !job.line.replies.isEmpty(); }, 2000));
    QCOMPARE(job.line.replies, QByteArray("\x10"));
    QVERIFY(job.decodedCleanly() && job.closer.boxes.isEmpty());
}

void TestLongJobs::deviceVanishesInTheMiddleOfAPicture()
{
    // A real port whose device goes away while the picture is on its way.
    MainWindow window;
    ModalBoxCloser closer;
    auto pty = std::make_unique<PseudoTerminal>();
    QVERIFY(driver::connectTo(window, pty->slavePath()));
    QVERIFY(KivoTestAccess::loadFile(window, picture));
    widget<QPushButton>(window, "pushButton_58PrintH")->click();
    QVERIFY(pty->read(1000).size() >= 1000);
    pty.reset();

    QTRY_COMPARE_WITH_TIMEOUT(driver::statusText(window), QStringLiteral("Disconnected"), 20000);
    QCOMPARE(closer.titles(), QStringList{"Critical Error"});
    QVERIFY(!KivoTestAccess::serialPort(window)->isOpen());
    QVERIFY(!KivoTestAccess::transfer(window)->isRunning());
    QVERIFY(driver::console(window).contains("\nBitmap not finished: "));
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));

    // A new connection starts clean: its first bytes are its own.
    PseudoTerminal other;
    QVERIFY(driver::connectTo(window, other.slavePath()));
    QMetaObject::invokeMethod(&window, "printerSoftInit");
    QMetaObject::invokeMethod(&window, "printLF");
    QCOMPARE(other.read(3), QByteArray("\x1B\x40\x0A"));
    QCOMPARE(closer.titles(), QStringList{"Critical Error"});
}

void TestLongJobs::fileIsReadAsTheLineTakesIt()
{
    // Send File reads a piece when the line has room for it, never the whole
    // file at once: a change at the end, made while the start is on the
    // line, goes out as changed.
    QTemporaryDir tmp;
    QFile file(tmp.filePath("job.prn"));
    QVERIFY(file.open(QIODevice::ReadWrite) && file.write(QByteArray(100000, 'a')) == 100000 && file.flush());
    SimulatedJob job(20000);
    KivoTestAccess::sendFile(job.window, file.fileName());
    job.clock.advance(1000);
    QVERIFY(job.transfer()->isRunning() && job.line.written.size() < 20000);
    QVERIFY(file.seek(99999) && file.write("b") == 1 && file.flush());
    QVERIFY(job.drain());
    QCOMPARE(job.line.written, QByteArray(99999, 'a') + 'b');
    QVERIFY(driver::console(job.window).endsWith("job.prn sent: 100000 bytes in 8.7 s"));
}

void TestLongJobs::stopSaysWhatTheControllerStillExpects()
{
    // A picture stopped while the printer holds the line (paper out): the
    // rest of its band waits to go out, so it is not ready. Disconnect drops
    // that rest; the next Connect pays it with zero bytes (a box offers it),
    // and the printer reads commands again.
    SimulatedJob job(20000);
    QVERIFY(job.print(picture));
    QVERIFY(job.runUntil([&] { return job.received() > 30000; }));
    job.line.stalled = true;
    job.clock.advance(1000);
    widget<QPushButton>(job.window, "transferStop")->click();
    QVERIFY(job.runUntil([&] { return !job.transfer()->isRunning(); }, 10000));
    const qint64 band = 60 * 48 + 8, owed = band - (job.received() - 2) % band;
    QVERIFY2(driver::console(job.window)
                 .endsWith(QStringLiteral("the controller has held the line and still expects %1 bytes of the last "
                                          "command: they wait to go out, and it is ready once it has taken them")
                               .arg(owed)),
             qPrintable(driver::console(job.window)));
    widget<QAction>(job.window, "actionDisconnect")->trigger();
    QVERIFY(driver::console(job.window)
                .endsWith(QStringLiteral("still expected %1 bytes of a command; the next "
                                         "Connect offers to send them as zero bytes")
                              .arg(owed)));
    QVERIFY(job.line.open(QIODevice::ReadWrite));
    KivoTestAccess::startSession(job.window);
    QCOMPARE(job.closer.titles(), QStringList{"Command Cut Short"});
    job.line.stalled = false;
    QVERIFY(job.runUntil([&] { return !job.transfer()->isRunning(); }) && job.drain());
    QVERIFY(driver::console(job.window).endsWith(QStringLiteral("Zero bytes sent: %1 bytes in 0.1 s").arg(owed)));
    QVERIFY(job.line.printer.core().decoder().idle());

    // A file stopped inside its raster command: the box offers the rest.
    QTemporaryDir tmp;
    const QByteArray raster = QByteArray::fromHex("1D7630003000D007") + QByteArray(qsizetype(48) * 2000, '\x55');
    KivoTestAccess::sendFile(job.window, bitmaptest::saveBytes(tmp, "job.prn", raster));
    job.clock.advance(2000);
    widget<QPushButton>(job.window, "transferStop")->click();
    QVERIFY(job.runUntil([&] { return !job.transfer()->isRunning(); }, 20000));
    static const QRegularExpression cut(
        "job.prn stopped after (\\d+) of 96008 bytes \\(2.3 s\\); its last command was cut short: the controller "
        "still expects (\\d+) bytes of it\nZero bytes sent: \\2 bytes in ");
    const QRegularExpressionMatch said = cut.match(driver::console(job.window));
    QVERIFY2(said.hasMatch() && said.captured(1).toInt() + said.captured(2).toInt() == raster.size(),
             qPrintable(driver::console(job.window)));
    QCOMPARE(job.closer.titles(), QStringList({"Command Cut Short", "Command Cut Short"}));
    QVERIFY(job.runUntil([&] { return !job.transfer()->isRunning(); }) && job.drain());
    job.line.write("\x10\x04");
    QVERIFY(job.runUntil([&] { return job.line.replies.endsWith('\x10'); }, 2000));
    QVERIFY(job.decodedCleanly());
}

QTEST_MAIN(TestLongJobs)
#include "tst_long_jobs.moc"
