#pragma once
// The host side of the program's line for the tests: waiting for a
// condition, the host's end of the pseudo-terminal, and the program itself
// started on temporary paths.

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

// The program on `dir`'s link, output folder and flash, plus `extra`
// arguments (later ones win); started, not yet waited for.
inline void startProgram(QProcess &program, const QString &dir, const QStringList &extra = {})
{
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
