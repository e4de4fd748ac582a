// CPU time and peak memory of the virtual printer with its window against
// headless, on one page of about 200 000 dots (text with a picture every 20
// lines) sent at 250 000 bytes/s. Each mode runs in a child process of its
// own, so that its peak memory is its own; the window runs on the off-screen
// platform, which paints all the same. The window should stay within 1.5 x
// the headless CPU time.

#include "paperwindow.h"
#include "service.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr int pageDots = 200000;
constexpr int bytesPerTick = 2500; // every 10 ms: 250 000 bytes/s
constexpr double targetRatio = 1.5;

QByteArray longPage()
{
    QRandomGenerator random(99);
    QByteArray picture("\x1D\x76\x30\x00\x30\x00\x40\x00", 8); // 384 x 64 dots
    for (int i = 0; i < 48 * 64; ++i)
        picture += static_cast<char>(random.bounded(256));
    QByteArray s("\x1B\x40", 2);
    for (int dots = 0, line = 0; dots < pageDots; ++line) {
        s += "Item " + QByteArray::number(line) + " 1L 3.5% Milk     $16.75\n";
        dots += 33;
        if (line % 20 == 19) {
            s += picture;
            dots += 64;
        }
    }
    return s + QByteArray("\x1B\x69", 2);
}

// One run: the service on a pseudo-terminal, fed through its device at a
// steady pace until everything is decoded.
int runMode(int argc, char *argv[], bool window)
{
    std::unique_ptr<QGuiApplication> app(window ? new QApplication(argc, argv) : new QGuiApplication(argc, argv));
    QTemporaryDir dir;
    kvp::ServiceSettings settings;
    settings.linkPath.clear();
    settings.outputDir = dir.path();
    settings.lineRate = 10000000;
    settings.printer.bufferSize = 1 << 20;
    settings.printer.printBytesPerSecond = 1e6;
    settings.printer.flow = kvp::FlowMode::None;
    settings.printer.core.maxPageDots = pageDots + 50000;
    kvp::Service service(settings);
    QString error;
    if (!service.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const int fd = ::open(QFile::encodeName(service.devicePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    std::unique_ptr<PaperWindow> paperWindow;
    if (window) {
        paperWindow = std::make_unique<PaperWindow>(service);
        paperWindow->show();
    }
    const QByteArray stream = longPage();
    qsizetype sent = 0;
    QTimer pace;
    QObject::connect(&pace, &QTimer::timeout, [&] {
        if (sent < stream.size()) {
            const ssize_t n =
                ::write(fd, stream.constData() + sent, std::min<qsizetype>(bytesPerTick, stream.size() - sent));
            sent += n > 0 ? n : 0;
        } else if (service.printer().decodedBytes() >= static_cast<uint64_t>(stream.size())) {
            service.stop();
            QCoreApplication::quit();
        }
    });
    pace.start(10);
    const int rc = app->exec();
    ::close(fd);
    return rc;
}

struct Usage
{
    double cpu = 0;
    double peakMiB = 0;
    bool ok = false;
};

Usage runChild(const char *self, const char *mode)
{
    const pid_t pid = fork();
    if (pid == 0) {
        execl(self, self, "--run", mode, static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return {};
    return {double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6,
            double(usage.ru_maxrss) / 1024.0, WIFEXITED(status) && WEXITSTATUS(status) == 0};
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::strcmp(argv[1], "--run") == 0)
        return runMode(1, argv, std::strcmp(argv[2], "window") == 0);
    const Usage headless = runChild(argv[0], "headless");
    const Usage window = runChild(argv[0], "window");
    if (!headless.ok || !window.ok) {
        std::printf("vp window: a run failed\n");
        return 1;
    }
    const double ratio = window.cpu / headless.cpu;
    std::printf("vp window: a %d-dot page at 250000 bytes/s: window %.2f s CPU, %.0f MiB peak; headless %.2f s CPU, "
                "%.0f MiB peak\n",
                pageDots, window.cpu, window.peakMiB, headless.cpu, headless.peakMiB);
    std::printf("vp window: %.2f x headless CPU (target at most %.1f), %.2f x headless peak memory\n", ratio,
                targetRatio, window.peakMiB / headless.peakMiB);
    return ratio <= targetRatio ? 0 : 1;
}
