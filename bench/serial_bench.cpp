// Serial write path figures:
//  (a) how long the Quick Test and Receipt handlers take to queue their
//      scripts (many small writes plus large picture writes, 13 833 and
//      12 749 bytes);
//  (b) throughput of the program's write path through a pseudo-terminal
//      into a reader, against a plain write() loop into the same kind of
//      pseudo-terminal, as a ratio measured side by side.
// Every figure is the median of several runs.

#include "support/kivotestaccess.h"
#include "support/pseudoterminal.h"
#include "support/windowdriver.h"


#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

#define U8(v) Q_ARG(uint8_t, uint8_t(v))
#define U16(v) Q_ARG(uint16_t, uint16_t(v))
#define PIC(p) Q_ARG(const uint8_t *, reinterpret_cast<const uint8_t *>(p))

// Reads `expected` bytes from a pty master on its own thread.
class Drain
{
public:
    Drain(int fd, qint64 expected) : fd(fd), expected(expected), thread([this] { run(); }) {}
    ~Drain() { thread.join(); }
    bool done() const { return finished.load(); }
    qint64 received() const { return count.load(); }

private:
    void run()
    {
        std::vector<char> buffer(1 << 16);
        QElapsedTimer idle;
        idle.start();
        while (count.load() < expected && idle.elapsed() < 5000) {
            pollfd pfd {fd, POLLIN, 0};
            if (::poll(&pfd, 1, 20) > 0) {
                const ssize_t n = ::read(fd, buffer.data(), buffer.size());
                if (n > 0) {
                    count += n;
                    idle.restart();
                }
            }
        }
        finished = true;
    }
    int fd;
    qint64 expected;
    std::atomic<qint64> count {0};
    std::atomic<bool> finished {false};
    std::thread thread;
};

struct RawPty {
    int master = -1, slave = -1;
    RawPty()
    {
        openpty(&master, &slave, nullptr, nullptr, nullptr);
        termios raw {};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
    }
    ~RawPty()
    {
        ::close(master);
        ::close(slave);
    }
    QString slavePath() const { return QString::fromLocal8Bit(ptsname(master)); }
};

// Bytes per second of a plain write() loop of `chunk`-sized writes.
double plainWriteThroughput(qint64 total, qint64 chunk)
{
    RawPty pty;
    const QByteArray block(chunk, '\x55');
    QElapsedTimer timer;
    timer.start();
    Drain drain(pty.master, total);
    qint64 sent = 0;
    while (sent < total) {
        const ssize_t n = ::write(pty.slave, block.constData(), size_t(std::min<qint64>(chunk, total - sent)));
        if (n > 0)
            sent += n;
    }
    while (!drain.done())
        std::this_thread::yield();
    return drain.received() / (timer.nsecsElapsed() / 1e9);
}

// Bytes per second through the program: the window's picture command queues
// the block, the event loop drains the port into the pseudo-terminal.
double programThroughput(qint64 total)
{
    RawPty pty;
    MainWindow window;
    if (!driver::connectTo(window, pty.slavePath(), "None"))
        return 0;
    const quint16 width = 48;
    const quint16 rows = quint16(total / width);
    const QByteArray picture(qsizetype(width) * rows, '\x55');
    QElapsedTimer timer;
    timer.start();
    Drain drain(pty.master, 8 + picture.size());
    QMetaObject::invokeMethod(&window, "picturePrintH", U8(0), U16(width), U16(rows), PIC(picture.constData()));
    while (!drain.done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return drain.received() / (timer.nsecsElapsed() / 1e9);
}

// The off-screen platform's notes about window hints are noise here.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type >= QtCriticalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    QApplication app(argc, argv);
    const int runs = 7;

    // (a) queueing: how long the Quick Test and Receipt handlers take to
    // hand their whole script to the port.
    {
        PseudoTerminal pty;
        MainWindow window;
        driver::connectTo(window, pty.slavePath(), "None");
        struct Handler { const char *slot; qint64 bytes; } handlers[] = {
            {"on_pushButtonFont_released", 13833}, {"on_pushButtonReceipt_released", 12749}};
        for (const Handler &h : handlers) {
            std::vector<double> micros;
            for (int i = 0; i < runs * 3; ++i) {
                QElapsedTimer timer;
                timer.start();
                driver::press(window, h.slot);
                micros.push_back(timer.nsecsElapsed() / 1e3);
                const QByteArray sent = pty.read(h.bytes, 2000);   // let the line drain between runs
                if (sent.size() != h.bytes)
                    std::printf("warning: %lld bytes arrived, expected %lld\n", (long long)sent.size(), (long long)h.bytes);
            }
            std::printf("queue %s (%lld bytes): median %.0f us over %d runs\n", h.slot, (long long)h.bytes,
                        median(micros), int(micros.size()));
        }
    }

    // (b) wire throughput, side by side
    const qint64 total = 48 * 60000;   // 2.88 MB
    std::vector<double> program, plain, ratio;
    for (int i = 0; i < runs; ++i) {
        const double p = programThroughput(total);
        const double r = plainWriteThroughput(total, 65536);
        program.push_back(p);
        plain.push_back(r);
        ratio.push_back(p / r);
    }
    std::printf("wire: program %.1f MB/s, plain write() %.1f MB/s, ratio %.2f (median of %d, %.2f MB each)\n",
                median(program) / 1e6, median(plain) / 1e6, median(ratio), runs, total / 1e6);
    return 0;
}
