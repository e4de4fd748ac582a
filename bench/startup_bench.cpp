// Start-up figures on the off-screen platform:
//  start  process start (just before fork) to the first frame of
//         printer-kivo itself on the screen, taken from Qt's own painting
//         log (qt.widgets.painting: "Flushing QRegion(...) of MainWindow",
//         stamped with the monotonic clock); against a QMainWindow holding
//         one label at the same size (startup_probe --bare), started and
//         timed the same way (what Qt costs any window of that size with
//         text), runs alternating, ratio taken pair by pair; and, for
//         comparison with earlier figures, the label window at its own small
//         size. The log costs both a little, the program more (it has more
//         widgets to log);
//  memory resident memory of printer-kivo itself after a second of idling,
//         against the window with the label after the same second.

#include "benchutil.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

QByteArray lineStarting(const QByteArray &output, const QByteArray &key)
{
    for (const QByteArray &line : output.split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed();
    return {};
}

// Milliseconds from process start to the first frame of a top-level window
// flushed to the screen (or -1), and the size of that frame.
double startMs(const QString &executable, const QStringList &arguments, QStringList *size = nullptr)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.widgets.painting=true"));
    environment.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{time boot} %{message}"));
    process.setProcessEnvironment(environment);
    process.setReadChannel(QProcess::StandardError);
    static const QRegularExpression flushed(QStringLiteral("^ *([0-9.]+) Flushing QRegion\\(0,0 (\\d+)x(\\d+)\\)"));
    const long long start = monotonicNs();
    process.start(executable, arguments);
    double shown = -1;
    while (shown < 0 && process.waitForReadyRead(20000)) {
        while (shown < 0 && process.canReadLine()) {
            const QRegularExpressionMatch m = flushed.match(QString::fromLocal8Bit(process.readLine()));
            if (!m.hasMatch())
                continue;
            shown = m.captured(1).toDouble() * 1000.0 - double(start) / 1e6;
            if (size)
                *size = QStringList{m.captured(2), m.captured(3)};
        }
    }
    process.terminate();
    process.waitForFinished(5000);
    return shown;
}

double probeRssMb(const QStringList &arguments)
{
    QProcess probe;
    probe.start(QStringLiteral(KIVO_STARTUP_PROBE),
                arguments + QStringList{QStringLiteral("--idle"), QStringLiteral("1000")});
    if (!probe.waitForFinished(20000))
        return -1;
    return lineStarting(probe.readAllStandardOutput(), "rss ").toDouble() / 1024.0;
}

// Resident memory of the real program after it has idled for a second.
double programRssMb()
{
    QProcess program;
    program.start(QStringLiteral(KIVO_PROGRAM), QStringList());
    if (!program.waitForStarted(5000))
        return -1;
    QThread::msleep(1000);
    QFile status(QStringLiteral("/proc/%1/status").arg(program.processId()));
    double mb = -1;
    if (status.open(QIODevice::ReadOnly))
        mb = lineStarting(status.readAll(), "VmRSS:").split(' ').first().toDouble() / 1024.0;
    ::kill(pid_t(program.processId()), SIGTERM);
    program.waitForFinished(5000);
    return mb;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(bench::quietMessages);
    QCoreApplication app(argc, argv);

    const QString program = QStringLiteral(KIVO_PROGRAM);
    const QString probe = QStringLiteral(KIVO_STARTUP_PROBE);
    const QStringList smallLabelWindow{QStringLiteral("--bare")};
    QStringList size;
    startMs(program, {}, &size); // warm the file cache
    const QStringList labelWindow = smallLabelWindow + QStringList{QStringLiteral("--size")} + size;
    startMs(probe, labelWindow);
    const int pairs = 21;
    std::vector<double> ours, reference, ratio;
    for (int i = 0; i < pairs; ++i) {
        double a = 0, b = 0;
        if (i % 2 == 0) {
            a = startMs(program, {});
            b = startMs(probe, labelWindow);
        } else {
            b = startMs(probe, labelWindow);
            a = startMs(program, {});
        }
        if (a <= 0 || b <= 0) {
            std::printf("start: no first frame in the painting log\n");
            return 1;
        }
        ours.push_back(a);
        reference.push_back(b);
        ratio.push_back(a / b);
    }
    std::vector<double> small;
    small.reserve(7);
    for (int i = 0; i < 7; ++i)
        small.push_back(startMs(probe, smallLabelWindow));
    const auto o = bench::spread(ours), r = bench::spread(ratio);
    std::printf(
        "start: process start to printer-kivo's first frame %.0f ms (quartiles %.0f-%.0f); QMainWindow with a label "
        "at the same size (%s) %.0f ms; ratio %.2f (quartiles %.2f-%.2f, %d alternating pairs); the label window "
        "at its own size %.0f ms (ratio of medians %.2f)\n",
        o.median, o.low, o.high, qPrintable(size.join(u'x')), bench::median(reference), r.median, r.low, r.high, pairs,
        bench::median(small), o.median / bench::median(small));

    std::vector<double> rss, bareRss;
    for (int i = 0; i < 3; ++i) {
        rss.push_back(programRssMb());
        bareRss.push_back(probeRssMb(smallLabelWindow));
    }
    std::printf("memory: printer-kivo resident when idle %.1f MB; QMainWindow with a label %.1f MB (median of 3)\n",
                bench::median(rss), bench::median(bareRss));
    return 0;
}
