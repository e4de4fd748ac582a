// A peer that floods the line: 5 MB of random bytes (text, broken UTF-8,
// NULs, XON/XOFF values) come in while a demonstration's bytes go out.
// Every byte must reach the console as text, piece after piece, the
// demonstration must arrive intact, and the window must keep answering.

#include "support/recordingdevice.h"
#include "support/windowdriver.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSerialPort>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

// The window's port, seen through a device that passes every read and write
// on unchanged and keeps the pieces the window reads: a piece ends where a
// read finds nothing more, which is where readAll() returns.
class TappedPort : public QIODevice
{
public:
    explicit TappedPort(QSerialPort *port)
        : port(port)
    { }

    QList<QByteArray> pieces() const
    {
        QList<QByteArray> all = done;
        if (!current.isEmpty())
            all.append(current);
        return all;
    }
    qint64 readCount() const { return total; }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return port->bytesAvailable() + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = port->read(data, maxSize);
        if (n > 0) {
            current.append(data, n);
            total += n;
        } else if (!current.isEmpty()) {
            done.append(std::exchange(current, QByteArray()));
        }
        return n;
    }
    qint64 writeData(const char *data, qint64 size) override { return port->write(data, size); }

private:
    QSerialPort *port;
    QList<QByteArray> done;
    QByteArray current;
    qint64 total = 0;
};

// The far end of the line on threads of its own, as a real peer is: one
// writes the flood as fast as the line takes it, one reads what the program
// sends at a printer's pace, so that the demonstration is still going out
// while the flood comes in.
class FloodingPeer
{
public:
    FloodingPeer()
    {
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            return;
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        path = QString::fromLocal8Bit(ptsname(master));
    }
    ~FloodingPeer()
    {
        stop = true;
        if (writer.joinable())
            writer.join();
        if (reader.joinable())
            reader.join();
        ::close(master);
        ::close(slave);
    }

    QString slavePath() const { return path; }

    // A few bytes at once, from the caller's thread.
    bool send(const QByteArray &bytes)
    {
        return ::write(master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    void start(const QByteArray &flood, int readBytesPerSecond)
    {
        writer = std::thread([this, flood] {
            qsizetype sent = 0;
            while (!stop && sent < flood.size()) {
                pollfd pfd{master, POLLOUT, 0};
                if (::poll(&pfd, 1, 50) <= 0)
                    continue;
                const ssize_t n = ::write(master, flood.constData() + sent, size_t(flood.size() - sent));
                if (n > 0)
                    sent += n;
                else if (n < 0 && errno != EAGAIN && errno != EINTR)
                    break;
            }
            written = sent;
        });
        reader = std::thread([this, readBytesPerSecond] {
            QElapsedTimer clock;
            clock.start();
            char buffer[4096];
            while (!stop) {
                const qint64 allowed = clock.elapsed() * readBytesPerSecond / 1000 - qint64(receivedCount);
                if (allowed <= 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    continue;
                }
                pollfd pfd{master, POLLIN, 0};
                if (::poll(&pfd, 1, 20) <= 0)
                    continue;
                const ssize_t n = ::read(master, buffer, size_t(qMin<qint64>(allowed, sizeof buffer)));
                if (n > 0) {
                    std::lock_guard<std::mutex> lock(mutex);
                    receivedBytes.append(buffer, n);
                    receivedCount += n;
                }
            }
        });
    }

    qint64 floodWritten() const { return written; }
    QByteArray received()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return receivedBytes;
    }

private:
    int master = -1;
    int slave = -1;
    QString path;
    std::thread writer;
    std::thread reader;
    std::atomic<bool> stop{false};
    std::atomic<qint64> written{-1};
    std::atomic<qint64> receivedCount{0};
    std::mutex mutex;
    QByteArray receivedBytes;
};

// What a text document keeps of inserted text: CR, LF, a CR LF pair within
// one insertion and the paragraph and frame marks all end a paragraph.
bool endsParagraph(QChar c)
{
    return c == u'\r' || c == u'\n' || c == QChar::ParagraphSeparator || c.unicode() == 0xFDD0 || c.unicode() == 0xFDD1;
}

// Compares the document's text with the decoded pieces. Everything but
// paragraph ends must match exactly; a run of paragraph ends may be shorter
// by one for each CR LF pair in it, since a pair that arrives within one
// insertion is one paragraph end and a pair split between two is two.
QString mismatch(const QString &expected, const QString &actual)
{
    qsizetype e = 0, a = 0;
    while (e < expected.size() && a < actual.size()) {
        if (!endsParagraph(expected[e])) {
            if (expected[e] != actual[a])
                return QStringLiteral("character %1: expected U+%2, shown U+%3")
                    .arg(a)
                    .arg(expected[e].unicode(), 4, 16, QLatin1Char('0'))
                    .arg(actual[a].unicode(), 4, 16, QLatin1Char('0'));
            ++e, ++a;
            continue;
        }
        qsizetype most = 0, pairs = 0;
        for (; e < expected.size() && endsParagraph(expected[e]); ++e, ++most)
            if (expected[e] == u'\r' && e + 1 < expected.size() && expected[e + 1] == u'\n')
                ++pairs;
        qsizetype shown = 0;
        for (; a < actual.size() && actual[a] == QChar::ParagraphSeparator; ++a)
            ++shown;
        if (shown > most || shown < most - pairs)
            return QStringLiteral("character %1: %2 paragraph ends shown, expected %3 to %4")
                .arg(a)
                .arg(shown)
                .arg(most - pairs)
                .arg(most);
    }
    if (e != expected.size() || a != actual.size())
        return QStringLiteral("lengths differ: %1 of %2 expected characters matched %3 of %4 shown")
            .arg(e)
            .arg(expected.size())
            .arg(a)
            .arg(actual.size());
    return QString();
}

// The offscreen platform has no shaping tables for some of the scripts that
// random text touches; its notes about that are not the test's business.
QtMessageHandler previousHandler = nullptr;

void quietFontNotes(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("OpenType support missing")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

class TestFlood : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void floodWhileADemonstrationIsSent();
    void aByteAfterAQuietSpellShowsAtOnce();
};

void TestFlood::initTestCase() { previousHandler = qInstallMessageHandler(quietFontNotes); }

void TestFlood::floodWhileADemonstrationIsSent()
{
    // What the Receipt demonstration sends, taken from a recording device.
    QByteArray receipt;
    {
        MainWindow recorded;
        RecordingDevice device;
        KivoTestAccess::setWire(recorded, &device);
        device.open(QIODevice::ReadWrite);
        driver::press(recorded, "on_pushButtonReceipt_released");
        receipt = device.stream();
        KivoTestAccess::setWire(recorded, KivoTestAccess::serialPort(recorded));
    }
    QVERIFY(receipt.size() > 10000);

    // Random bytes: every value, so valid and broken UTF-8 sequences, NULs,
    // CR, LF and the XON/XOFF values, which are data with flow control off.
    QByteArray flood(qsizetype(5) * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(20240607);
    random.fillRange(reinterpret_cast<quint32 *>(flood.data()), flood.size() / 4);
    QVERIFY(flood.contains('\0') && flood.contains('\x11') && flood.contains('\x13') && flood.contains("\r\n"));

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    FloodingPeer peer;
    QVERIFY(!peer.slavePath().isEmpty());
    QVERIFY(driver::connectTo(window, peer.slavePath(), "None"));
    QSerialPort *port = KivoTestAccess::serialPort(window);
    TappedPort tap(port);
    QVERIFY(tap.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    KivoTestAccess::setWire(window, &tap);
    auto restoreWire = qScopeGuard([&] { KivoTestAccess::setWire(window, port); });

    auto *console = widget<QPlainTextEdit>(window, "editKivo");
    driver::press(window, "on_pushButtonReceipt_released");
    const QString before = console->document()->toRawText();
    const int cursorAt = console->textCursor().position();
    QVERIFY(before.startsWith(QStringLiteral("Sample of typical POS receipt")));

    // The window's liveness: a zero-time timer runs once per event-loop
    // turn; the longest pause between two runs is the longest time the
    // window could not have answered the user.
    QElapsedTimer sinceTurn;
    qint64 longestGapMs = 0;
    QTimer turn;
    turn.setInterval(0);
    connect(&turn, &QTimer::timeout, this, [&] {
        longestGapMs = qMax(longestGapMs, sinceTurn.elapsed());
        sinceTurn.restart();
    });

    // The printer reads 12 KB/s, so the receipt takes about a second to go
    // out and overlaps the start of the flood.
    peer.start(flood, 12000);
    sinceTurn.start();
    turn.start();
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < 120000 && (tap.readCount() < flood.size() || peer.received().size() < receipt.size()))
        QTest::qWait(10);
    QTest::qWait(100); // the console takes the last pieces within a frame
    turn.stop();

    QCOMPARE(peer.floodWritten(), qint64(flood.size()));
    QCOMPARE(tap.readCount(), qint64(flood.size()));
    QVERIFY2(peer.received() == receipt, "the demonstration arrived damaged");
    QVERIFY(port->isOpen());
    QCOMPARE(driver::statusText(window).left(12), QStringLiteral("Connected to"));
    QVERIFY2(longestGapMs < 2000, qPrintable(QStringLiteral("the window did not answer for %1 ms").arg(longestGapMs)));
    qInfo("flood of %lld bytes in %lld pieces, %lld ms; longest event-loop gap %lld ms", qint64(flood.size()),
          qint64(tap.pieces().size()), elapsed.elapsed(), longestGapMs);

    // Each piece is decoded on its own and goes in at the cursor, in order.
    QString decoded;
    QByteArray joined;
    for (const QByteArray &piece : tap.pieces()) {
        decoded += QString::fromUtf8(piece);
        joined += piece;
    }
    QVERIFY(joined == flood);
    const QString expected = before.left(cursorAt) + decoded + before.mid(cursorAt);
    const QString problem = mismatch(expected, console->document()->toRawText());
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestFlood::aByteAfterAQuietSpellShowsAtOnce()
{
    // Pieces that follow each other closely share a console update; a
    // status byte after a quiet spell must not wait for one.
    MainWindow window;
    window.show();
    FloodingPeer peer;
    QVERIFY(driver::connectTo(window, peer.slavePath(), "None"));
    QSerialPort *port = KivoTestAccess::serialPort(window);
    auto *console = widget<QPlainTextEdit>(window, "editKivo");

    // Runs after the window's own handler of the same signal.
    QStringList shownWhenRead;
    connect(port, &QSerialPort::readyRead, this, [&] { shownWhenRead << console->toPlainText(); });

    QVERIFY(peer.send("\x10"));
    QTRY_COMPARE(shownWhenRead.size(), 1);
    QCOMPARE(shownWhenRead[0], QStringLiteral("\x10"));
    QTest::qWait(100);
    QVERIFY(peer.send("\x12"));
    QTRY_COMPARE(shownWhenRead.size(), 2);
    QCOMPARE(shownWhenRead[1], QStringLiteral("\x10\x12"));
}

QTEST_MAIN(TestFlood)
#include "tst_flood.moc"
