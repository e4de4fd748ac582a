#pragma once
// The host side of the program's line for the tests: waiting for a
// condition, the host's end of the pseudo-terminal, the printer in-process,
// and the program itself started on temporary paths.

#include "service.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <fcntl.h>
#include <functional>
#include <termios.h>
#include <unistd.h>

namespace vptest {

inline bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

// The host end of the pseudo-terminal: raw, 115200 bit/s, honouring XON/XOFF.
class Host
{
public:
    explicit Host(const QString &path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        cfsetspeed(&t, B115200);
        t.c_iflag |= IXON;
        tcsetattr(fd, TCSANOW, &t);
    }
    ~Host() { ::close(fd); }
    // Writes everything, waiting while the line is stopped.
    bool write(QByteArray bytes)
    {
        return waitFor(
            [&] {
                bytes.remove(0, std::max<qsizetype>(0, ::write(fd, bytes.constData(), bytes.size())));
                return bytes.isEmpty();
            },
            20000);
    }
    QByteArray read(const std::function<bool(const QByteArray &)> &done, int timeoutMs = 5000)
    {
        QByteArray got;
        waitFor(
            [&] {
                char buf[512];
                got.append(buf, std::max<qsizetype>(0, ::read(fd, buf, sizeof buf)));
                return done(got);
            },
            timeoutMs);
        return got;
    }
    int fd;
};

// A service on `dir` with a fast line and engine, its log lines collected.
// No page ends on silence, so nothing but the line wakes its pump.
struct Device
{
    explicit Device(const QString &dir, qint64 maxPages = 1000)
        : lines()
        , service([&] {
            kvp::ServiceSettings s;
            s.linkPath = dir + QStringLiteral("/link");
            s.announcementFolder = dir + QStringLiteral("/announced");
            s.outputDir = dir + QStringLiteral("/out");
            s.flashPath.clear();
            s.lineRate = 100000000;
            s.printer.printBytesPerSecond = 1e9;
            s.printer.bufferSize = 1 << 20;
            s.printer.silenceMs = 3600000;
            s.maxPages = maxPages;
            return s;
        }())
    {
        QObject::connect(&service, &kvp::Service::logLine, [this](const QString &line) { lines << line; });
    }
    // Reads one reply byte (0 when none comes), letting the event loop run
    // one round at a time.
    char reply(Host &host)
    {
        char byte = 0;
        const QDeadlineTimer deadline(30000);
        while (::read(host.fd, &byte, 1) != 1 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return byte;
    }
    QStringList lines; // outlives the service, which logs as it stops
    kvp::Service service;
};

// The program on `dir`'s link, output folder, flash and announcements, plus `extra`
// arguments (later ones win); started, not yet waited for.
inline void startProgram(QProcess &program, const QString &dir, const QStringList &extra = {})
{
    // It announces its link in `dir` too.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(KVP_EXECUTABLE),
                  QStringList{QStringLiteral("--headless"), QStringLiteral("--link"), dir + QStringLiteral("/link"),
                              QStringLiteral("--output"), dir + QStringLiteral("/out"), QStringLiteral("--flash"),
                              dir + QStringLiteral("/flash.txt")}
                      + extra);
}

// Reads the program's standard output until it says `what`.
inline bool says(QProcess &program, QByteArray &said, const char *what)
{
    return waitFor([&] { return (said += program.readAllStandardOutput()).contains(what); }, 10000);
}

} // namespace vptest
