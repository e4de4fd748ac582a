// Serial figures of the program:
//  queue   how long the Quick Test and Receipt handlers take to hand their
//          scripts (13 833 and 12 749 bytes) to the port;
//  wire    throughput of the program's write path (the picture command, the
//          port, the event loop) through a pseudo-terminal into a reader,
//          against a plain write() loop doing the same system calls on the
//          same kind of pseudo-terminal: the port opened by path,
//          non-blocking, waiting for room with poll(), handing the kernel
//          everything that is left each time. Runs alternate (ABBA), and the
//          ratio is taken pair by pair, so that load from elsewhere falls on
//          both sides alike;
//  respond how long the print handler takes for a 1.92 MB picture
//          (384 x 40 000), and the longest pause between two turns of the
//          event loop while the whole picture drains through the virtual
//          printer at 375 000 bit/s with XON/XOFF and the progress shown,
//          against the same window connected and idle.
// Each figure is a median, with the quartiles as the spread.

#include "benchutil.h"

#include "support/kivotestaccess.h"
#include "support/pseudoterminal.h"
#include "support/windowdriver.h"

#include "serial/settingsdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using bench::spread;

// Reads `expected` bytes from a pty master on its own thread, then calls
// `done` (from that thread).
class Drain
{
public:
    Drain(int fd, qint64 expected, std::function<void()> done = {})
        : fd(fd)
        , expected(expected)
        , done(std::move(done))
        , thread([this] { run(); })
    { }
    ~Drain() { wait(); }
    void wait()
    {
        if (thread.joinable())
            thread.join();
    }
    qint64 received() const { return count.load(); }

private:
    void run()
    {
        std::vector<char> buffer(1 << 16);
        QElapsedTimer idle;
        idle.start();
        while (count.load() < expected && idle.elapsed() < 5000) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, 20) > 0) {
                const ssize_t n = ::read(fd, buffer.data(), buffer.size());
                if (n > 0) {
                    count += n;
                    idle.restart();
                }
            }
        }
        if (done)
            done();
    }
    int fd;
    qint64 expected;
    std::function<void()> done;
    std::atomic<qint64> count{0};
    std::thread thread;
};

struct RawPty
{
    int master = -1, slave = -1;
    RawPty()
    {
        openpty(&master, &slave, nullptr, nullptr, nullptr);
        termios raw{};
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

// Bytes per second of a plain write() loop, the way the port writes: the
// device opened by path, raw and non-blocking, poll() for room, then one
// write() of everything that is left.
double plainThroughput(const QByteArray &data)
{
    RawPty pty;
    const int fd = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return 0;
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);

    QElapsedTimer timer;
    timer.start();
    Drain drain(pty.master, data.size());
    qint64 sent = 0;
    while (sent < data.size()) {
        pollfd pfd{fd, POLLOUT, 0};
        if (::poll(&pfd, 1, 1000) <= 0)
            break;
        const ssize_t n = ::write(fd, data.constData() + sent, size_t(data.size() - sent));
        if (n > 0)
            sent += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
    drain.wait();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    ::close(fd);
    return double(drain.received()) / seconds;
}

// Bytes per second through the program: the window's picture command queues
// the block, and the event loop (sleeping between notifications, as it does
// in the program) drains the port into the pseudo-terminal.
double programThroughput(const QByteArray &picture, quint16 widthBytes)
{
    RawPty pty;
    MainWindow window;
    if (!driver::connectTo(window, pty.slavePath(), "None"))
        return 0;
    QCoreApplication::processEvents();

    const quint16 rows = quint16(picture.size() / widthBytes);
    QEventLoop loop;
    QElapsedTimer timer;
    timer.start();
    Drain drain(pty.master, 8 + picture.size(),
                [&loop] { QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection); });
    QMetaObject::invokeMethod(&window, "picturePrintH", Q_ARG(uint8_t, 0), Q_ARG(uint16_t, widthBytes),
                              Q_ARG(uint16_t, rows),
                              Q_ARG(const uint8_t *, reinterpret_cast<const uint8_t *>(picture.constData())));
    loop.exec();
    drain.wait();
    return double(drain.received()) / (double(timer.nsecsElapsed()) / 1e9);
}

void queueing()
{
    PseudoTerminal pty;
    MainWindow window;
    driver::connectTo(window, pty.slavePath(), "None");
    struct Handler
    {
        const char *slot;
        const char *name;
        qint64 bytes;
    } handlers[] = {{"on_pushButtonFont_released", "Quick Test", 13833},
                    {"on_pushButtonReceipt_released", "Receipt", 12749}};
    for (const Handler &h : handlers) {
        std::vector<double> micros;
        for (int i = 0; i < 21; ++i) {
            QElapsedTimer timer;
            timer.start();
            driver::press(window, h.slot);
            micros.push_back(double(timer.nsecsElapsed()) / 1e3);
            const QByteArray sent = pty.read(h.bytes, 2000); // let the line drain between runs
            if (sent.size() != h.bytes)
                std::printf("warning: %lld bytes arrived, expected %lld\n", (long long)sent.size(), (long long)h.bytes);
        }
        const auto s = spread(micros);
        std::printf("queue: %s handler (%lld bytes) returns in %.0f us (quartiles %.0f-%.0f, 21 runs)\n", h.name,
                    (long long)h.bytes, s.median, s.low, s.high);
    }
}

void wire()
{
    const quint16 widthBytes = 48;
    QByteArray picture(qsizetype(widthBytes) * 60000, Qt::Uninitialized); // 2.88 MB
    for (qsizetype i = 0; i < picture.size(); ++i)
        picture[i] = char((i * 131) >> 3);
    const QByteArray plainData = QByteArray(8, '\x1D') + picture;

    const int pairs = 15;
    std::vector<double> program, plain, ratio;
    programThroughput(picture, widthBytes); // warm-up, not counted
    plainThroughput(plainData);
    for (int i = 0; i < pairs; ++i) {
        double p = 0, r = 0;
        if (i % 2 == 0) {
            p = programThroughput(picture, widthBytes);
            r = plainThroughput(plainData);
        } else {
            r = plainThroughput(plainData);
            p = programThroughput(picture, widthBytes);
        }
        program.push_back(p / 1e6);
        plain.push_back(r / 1e6);
        ratio.push_back(p / r);
    }
    const auto rs = spread(ratio);
    using bench::median;
    std::printf("wire: program %.1f MB/s, plain write() loop %.1f MB/s; ratio %.2f (quartiles %.2f-%.2f, %d "
                "alternating pairs of %.2f MB)\n",
                median(program), median(plain), rs.median, rs.low, rs.high, pairs, double(picture.size()) / 1e6);
}

// The virtual printer as a process of its own, on a link in a temporary
// folder.
class VirtualPrinter
{
public:
    explicit VirtualPrinter(const QStringList &options)
    {
        link = dir.filePath(QStringLiteral("printer"));
        process.start(QStringLiteral(KVP_EXECUTABLE),
                      QStringList{QStringLiteral("--headless"), QStringLiteral("--link"), link,
                                  QStringLiteral("--output"), dir.filePath(QStringLiteral("out")),
                                  QStringLiteral("--flash"), dir.filePath(QStringLiteral("flash.txt"))}
                          + options);
        QByteArray said;
        QElapsedTimer timer;
        timer.start();
        while (!said.contains("ready\n") && timer.elapsed() < 10000 && process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(100);
            said += process.readAllStandardOutput();
        }
        ready = said.contains("ready\n");
    }
    ~VirtualPrinter()
    {
        ::kill(pid_t(process.processId()), SIGKILL);
        process.waitForFinished(5000);
    }
    QTemporaryDir dir;
    QProcess process;
    QString link;
    bool ready = false;
};

// The longest pause between two turns of the event loop over `ms`: a
// zero-time timer runs once per turn.
double longestGapMs(int ms)
{
    QElapsedTimer sinceTurn;
    qint64 longest = 0;
    QTimer turn;
    turn.setInterval(0);
    QObject::connect(&turn, &QTimer::timeout, [&] {
        longest = qMax(longest, sinceTurn.nsecsElapsed());
        sinceTurn.restart();
    });
    QEventLoop loop;
    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    end.start(ms);
    sinceTurn.start();
    turn.start();
    loop.exec();
    return double(qMax(longest, sinceTurn.nsecsElapsed())) / 1e6;
}

// The longest pause between two turns of the event loop until `done`.
double longestGapUntil(const std::function<bool()> &done)
{
    double longest = 0;
    while (!done())
        longest = qMax(longest, longestGapMs(1000));
    return longest;
}

void responsiveness()
{
    QTemporaryDir dir;
    QImage image(384, 40000, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < 48; ++x)
            image.scanLine(y)[x] = uchar((x * 7 + y * 13) & 0xFF);
    const QString path = dir.filePath(QStringLiteral("tall.png"));
    image.save(path);

    const int runs = 3;
    std::vector<double> handler, busy, idle;
    for (int run = 0; run < runs; ++run) {
        VirtualPrinter printer({QStringLiteral("--line-rate"), QStringLiteral("375000")});
        MainWindow window;
        window.show();
        widget<QAction>(window, "actionConfigure")->trigger();
        auto *baud = widget<QComboBox>(*KivoTestAccess::settingsDialog(window), "baudRateBox");
        baud->setCurrentIndex(baud->findText(QStringLiteral("375000")));
        if (!printer.ready || !driver::connectTo(window, printer.link) || !KivoTestAccess::loadFile(window, path)) {
            std::printf("respond: cannot print to the virtual printer\n");
            return;
        }
        QCoreApplication::processEvents();
        idle.push_back(longestGapMs(1500));

        QElapsedTimer timer;
        timer.start();
        driver::press(window, "on_pushButton_58PrintH_released");
        handler.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!widget<QWidget>(window, "transferProgress")->isVisible())
            std::printf("warning: no progress shown\n");
        serial::Transfer *transfer = KivoTestAccess::transfer(window);
        busy.push_back(longestGapUntil([transfer] { return !transfer->isRunning(); }));
        widget<QAction>(window, "actionDisconnect")->trigger();
    }
    const auto h = spread(handler), b = spread(busy), i = spread(idle);
    std::printf("respond: print handler for a 1.92 MB picture returns in %.1f ms (quartiles %.1f-%.1f)\n", h.median,
                h.low, h.high);
    std::printf("respond: longest event-loop gap while all of it drains at 375000 bit/s, XON/XOFF, progress shown: "
                "%.1f ms (quartiles %.1f-%.1f); connected and idle: %.1f ms (quartiles %.1f-%.1f); %d runs\n",
                b.median, b.low, b.high, i.median, i.low, i.high, runs);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(bench::quietMessages);
    QApplication app(argc, argv);
    const QStringList only = app.arguments().mid(1); // e.g. "wire"; none: all
    auto wanted = [&](const char *name) { return only.isEmpty() || only.contains(QLatin1String(name)); };
    if (wanted("queue"))
        queueing();
    if (wanted("wire"))
        wire();
    if (wanted("respond"))
        responsiveness();
    return 0;
}
