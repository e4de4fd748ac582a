// The shipped virtual printer at work, started as a user starts it
// (kivo-virtual-printer --headless, its own link and output folder) and
// driven over its pseudo-terminal as a host program drives it:
//   1. idle: a status query (10 04) to a printer with nothing to do, 200
//      times: how long until the answer (goal 1 ms);
//   2. busy: a 48 x 4096 dot picture stored, then 1000 reprints of it and a
//      status query behind them: how long until the answer while the engine
//      works (goal 50 ms), and four more queries while it still does;
//   3. whole: a 10 MB mixed stream written as fast as flow control allows,
//      from the first byte until the program has printed it all and exited,
//      against the fastest line (37 500 bytes/s); the goal is 100 times that;
//   4. stop: the program busy with reprints: from SIGTERM to its exit.
// KVP_BASELINE=PATH measures another build of the program beside it (the
// figures before a change). Parts may be named to run them alone.

#include "mixedstream.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The program running headless in a folder of its own, and a host on its link.
class Printer
{
public:
    Printer(const QString &program, const QStringList &options)
    {
        process.start(
            program,
            QStringList{"--headless", "--link", dir.filePath("link"), "--output", dir.filePath("out"), "--flash", ""}
                + options);
        while (!said.contains("ready\n") && process.waitForReadyRead(10000))
            said += process.readAllStandardOutput();
        if (!said.contains("ready\n"))
            qFatal("%s did not start", qPrintable(program));
        host = ::open(QFile::encodeName(dir.filePath("link")).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        tcgetattr(host, &t);
        cfmakeraw(&t);
        t.c_iflag |= IXON;
        cfsetspeed(&t, B115200);
        tcsetattr(host, TCSANOW, &t);
    }
    ~Printer()
    {
        ::close(host);
        process.terminate();
        process.waitForFinished(60000);
    }
    // Writes all of `bytes`, waiting while the line is full.
    void write(const QByteArray &bytes) const
    {
        for (qsizetype done = 0; done < bytes.size();) {
            pollfd out{host, POLLOUT, 0};
            ::poll(&out, 1, 100);
            done += std::max<ssize_t>(0, ::write(host, bytes.constData() + done, bytes.size() - done));
        }
    }
    // Milliseconds from writing `query` until `count` bytes came back; -1
    // after `limitMs`.
    double answerMs(const QByteArray &query, int count, int limitMs = 60000) const
    {
        QElapsedTimer clock;
        clock.start();
        write(query);
        int got = 0;
        char buffer[4096];
        while (got < count && clock.elapsed() < limitMs) {
            pollfd in{host, POLLIN, 0};
            ::poll(&in, 1, 100);
            got += static_cast<int>(std::max<ssize_t>(0, ::read(host, buffer, sizeof buffer)));
        }
        return got >= count ? static_cast<double>(clock.nsecsElapsed()) / 1e6 : -1;
    }

    QTemporaryDir dir;
    QProcess process;
    QByteArray said;
    int host = -1;
};

const QByteArray status = vpbench::bytes({0x10, 0x04});

QByteArray storedPicture()
{
    return vpbench::bytes({0x1D, 0x71, 0, 0, 48, 0, 0, 0x10}) + QByteArray(qsizetype(48) * 4096, '\xA5');
}

QString idle(const QString &program)
{
    Printer printer(program, {});
    std::vector<double> times;
    times.reserve(200);
    for (int i = 0; i < 200; ++i)
        times.push_back(printer.answerMs(status, 1, 5000));
    std::sort(times.begin(), times.end());
    return QStringLiteral("median %1 ms, slowest %2 ms").arg(times[100], 0, 'f', 2).arg(times.back(), 0, 'f', 2);
}

QString busy(const QString &program)
{
    // The line fast enough that the reprints' own time on it (0.35 s at
    // 115 200 bit/s) does not count; the engine at its default speed.
    Printer printer(program, {"--line-rate", "100000000"});
    // The picture is in once its status query is answered.
    if (printer.answerMs(storedPicture() + status, 1) < 0)
        return QStringLiteral("no answer after the picture");
    const double first = printer.answerMs(QByteArray("\x1C\x70\x00\x03", 4).repeated(1000) + status, 1);
    double slowest = first;
    for (int i = 0; i < 4 && first >= 0; ++i) // still busy with the reprints
        slowest = std::max(slowest, printer.answerMs(status, 1));
    return QStringLiteral("first %1 ms, slowest of 5 %2 ms").arg(first, 0, 'f', 1).arg(slowest, 0, 'f', 1);
}

QString whole(const QString &program)
{
    const QByteArray receipts = vpbench::mixedStream();
    const QByteArray stream = receipts.repeated(10000000 / receipts.size() + 1);
    Printer printer(program, {"--line-rate", "100000000", "--print-speed", "1000000000"});
    QElapsedTimer clock;
    clock.start();
    printer.write(stream);
    // All written: the stop prints what is still queued and the last page.
    printer.process.terminate();
    printer.process.waitForFinished(600000);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const double rate = static_cast<double>(stream.size()) / seconds;
    const QByteArray out = printer.said + printer.process.readAllStandardOutput();
    return QStringLiteral("%1 bytes, %2 pages in %3 s: %4 bytes/s, %5 x the fastest line")
        .arg(stream.size())
        .arg(out.count("page: "))
        .arg(seconds, 0, 'f', 2)
        .arg(rate, 0, 'f', 0)
        .arg(rate / 37500.0, 0, 'f', 0);
}

QString stopWhileReprinting(const QString &program)
{
    Printer printer(program, {"--line-rate", "100000000", "--print-speed", "1000000000"});
    printer.write(storedPicture() + QByteArray("\x1C\x70\x00\x03", 4).repeated(2000));
    QThread::msleep(1000);
    QElapsedTimer clock;
    clock.start();
    printer.process.terminate();
    printer.process.waitForFinished(600000);
    return QStringLiteral("%1 s").arg(static_cast<double>(clock.nsecsElapsed()) / 1e9, 0, 'f', 2);
}

struct Part
{
    const char *name;
    const char *title;
    QString (*measure)(const QString &program);
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const Part parts[] = {
        {"idle", "status answer, idle printer (goal 1 ms)", idle},
        {"busy", "status answer behind 1000 reprints, engine busy (goal 50 ms)", busy},
        {"whole", "whole program over its pty, 10 MB mixed stream (goal 100 x)", whole},
        {"stop", "SIGTERM to exit while busy with 8 kB of reprints", stopWhileReprinting},
    };
    const QStringList named = app.arguments().mid(1);
    const QString baseline = qEnvironmentVariable("KVP_BASELINE");
    for (const Part &part : parts) {
        if (!named.isEmpty() && !named.contains(QLatin1String(part.name)))
            continue;
        std::printf("virtual printer, %s: %s\n", part.title, qPrintable(part.measure(QStringLiteral(KVP_EXECUTABLE))));
        if (!baseline.isEmpty())
            std::printf("virtual printer, %s, before (%s): %s\n", part.title, qPrintable(baseline),
                        qPrintable(part.measure(baseline)));
        std::fflush(stdout);
    }
    return 0;
}
