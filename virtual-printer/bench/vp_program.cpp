// The whole virtual printer at work, headless: the line, the decoder, the
// renderer, the command log and the PNG pages.
//   1. a large mixed stream through the pseudo-terminal, from the first byte
//      until every page is written and the log is flushed, against the
//      fastest line (37 500 bytes/s); the goal is 100 times that;
//   2. a status query right after a 20 000-row page: how long until the
//      answer (goal: 50 ms);
//   3. the program busy with reprints of a stored picture: how long from
//      SIGTERM to its exit.

#include "mixedstream.h"
#include "service.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {
kvp::ServiceSettings fastDevice(const QTemporaryDir &dir)
{
    kvp::ServiceSettings s;
    s.linkPath = dir.filePath(QStringLiteral("link"));
    s.outputDir = dir.filePath(QStringLiteral("out"));
    s.flashPath.clear();
    s.lineRate = 100000000;
    s.printer.printBytesPerSecond = 1e9;
    s.printer.bufferSize = 1 << 20;
    return s;
}

// Starts the printer, or ends the bench with the reason it could not.
void startOrEnd(kvp::Service &service)
{
    QString error;
    if (!service.start(&error))
        qFatal("%s", qPrintable(error));
}

int openHost(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    t.c_iflag |= IXON;
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Writes all of `bytes`, letting the event loop run while the line is full.
void send(int fd, QByteArray bytes)
{
    while (!bytes.isEmpty()) {
        bytes.remove(0, std::max<qsizetype>(0, ::write(fd, bytes.constData(), bytes.size())));
        QCoreApplication::processEvents();
    }
}

void wholeProgram()
{
    QTemporaryDir dir;
    kvp::Service service(fastDevice(dir));
    startOrEnd(service);
    const int fd = openHost(service.linkPath());
    const QByteArray stream = vpbench::mixedStream().repeated(8);
    QElapsedTimer clock;
    clock.start();
    // The host writes from a thread of its own, as a separate program would.
    std::thread host([&] {
        for (qsizetype done = 0; done < stream.size();) {
            pollfd out{fd, POLLOUT, 0};
            ::poll(&out, 1, 100);
            done += std::max<ssize_t>(0, ::write(fd, stream.constData() + done, stream.size() - done));
        }
    });
    while (service.printer().decodedBytes() < static_cast<uint64_t>(stream.size()))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    host.join();
    service.stop();
    const double rate = static_cast<double>(stream.size()) / (static_cast<double>(clock.nsecsElapsed()) / 1e9);
    std::printf("virtual printer, whole program: %lld bytes, %lld pages in %.2f s: %.0f bytes/s, %.0f x the fastest "
                "line (goal 100)\n",
                static_cast<long long>(stream.size()), static_cast<long long>(service.pagesWritten().size()),
                static_cast<double>(clock.nsecsElapsed()) / 1e9, rate, rate / 37500.0);
    ::close(fd);
}

double answerTime(int fd)
{
    QElapsedTimer clock;
    clock.start();
    send(fd, vpbench::bytes({0x10, 0x04}));
    char reply = 0;
    while (::read(fd, &reply, 1) != 1)
        QCoreApplication::processEvents();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

void statusAfterLargePage()
{
    QTemporaryDir dir;
    kvp::Service service(fastDevice(dir));
    startOrEnd(service);
    const int fd = openHost(service.linkPath());
    QByteArray page = vpbench::bytes({0x1D, 0x76, 0x30, 0x00, 48, 0, 0x20, 0x4E});
    QByteArray noise(qsizetype(48) * 20000, 0);
    QRandomGenerator(5).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    page += noise + vpbench::bytes({0x1B, 0x69});
    send(fd, page);
    while (service.printer().decodedBytes() < static_cast<uint64_t>(page.size()) - 2)
        QCoreApplication::processEvents();
    const double afterPage = answerTime(fd);
    QThread::msleep(2000);
    std::printf("virtual printer, status query after a 20000-row page: answered in %.1f ms (goal 50; %.1f ms on an "
                "idle printer)\n",
                afterPage, answerTime(fd));
    ::close(fd);
    service.stop();
}

void stopWhileReprinting(const char *program)
{
    QTemporaryDir dir;
    QProcess printer;
    printer.start(QString::fromLocal8Bit(program),
                  {"--headless", "--link", dir.filePath("link"), "--output", dir.filePath("out"), "--flash", "",
                   "--line-rate", "100000000", "--print-speed", "1000000000"});
    QByteArray said;
    while (!said.contains("ready\n") && printer.waitForReadyRead(10000))
        said += printer.readAllStandardOutput();
    const int fd = openHost(dir.filePath("link"));
    QByteArray picture = vpbench::bytes({0x1D, 0x71, 0, 0, 48, 0, 0, 0x10}) + QByteArray(qsizetype(48) * 4096, '\xA5');
    send(fd, picture + QByteArray("\x1C\x70\x00\x03", 4).repeated(2000));
    QThread::msleep(1000);
    QElapsedTimer clock;
    clock.start();
    printer.terminate();
    printer.waitForFinished(600000);
    std::printf("virtual printer, SIGTERM to exit while busy with 8 kB of reprints: %.2f s\n",
                static_cast<double>(clock.nsecsElapsed()) / 1e9);
    ::close(fd);
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // Parts may be named to run them alone (whole, status, stop), as when
    // profiling one of them.
    const QStringList parts = app.arguments().mid(1);
    if (parts.isEmpty() || parts.contains(QStringLiteral("whole")))
        wholeProgram();
    if (parts.isEmpty() || parts.contains(QStringLiteral("status")))
        statusAfterLargePage();
    if ((parts.isEmpty() && qEnvironmentVariableIsEmpty("VP_PROGRAM_QUICK")) || parts.contains(QStringLiteral("stop")))
        stopWhileReprinting(KVP_EXECUTABLE);
    return 0;
}
