// The virtual printer over a real pseudo-terminal, with the host side opened
// through the link as Printer Kivo would open it: replies, reopening, flow
// control against a slow printer, and the program run as a subprocess.

#include "service.h"
#include "vpstream.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

using vptest::Stream;

namespace {

// The host end: the slave opened through the link, raw, 115200 bit/s.
class Host
{
public:
    Host(const QString &path, bool ixon)
    {
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return;
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        if (ixon)
            t.c_iflag |= IXON;
        tcsetattr(fd, TCSANOW, &t);
    }
    ~Host()
    {
        if (fd >= 0)
            ::close(fd);
    }
    // Writes everything, waiting while the line is stopped.
    bool write(const QByteArray &bytes, int timeoutMs = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
            if (n > 0)
                done += n;
            else if ((n < 0 && errno != EAGAIN) || timer.elapsed() > timeoutMs)
                return false;
            else
                QTest::qWait(2);
        }
        return true;
    }
    QByteArray readUntil(const std::function<bool(const QByteArray &)> &done, int timeoutMs = 5000)
    {
        QByteArray got;
        QElapsedTimer timer;
        timer.start();
        while (!done(got) && timer.elapsed() < timeoutMs) {
            char buf[512];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                got.append(buf, n);
            else
                QTest::qWait(5);
        }
        return got;
    }
    int fd = -1;
};

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
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

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

QByteArray textLines(int bytes)
{
    QByteArray out;
    for (int i = 0; out.size() < bytes; ++i)
        out += QStringLiteral("line %1 abcdefghijklmnop\n").arg(i, 4, 10, QLatin1Char('0')).toLatin1();
    return out.left(bytes);
}

} // namespace

class TestPty : public QObject
{
    Q_OBJECT
private slots:
    void repliesAndReopening();
    void xonXoffDeliversEverythingToASlowPrinter();
    void withoutFlowControlTheLossIsReported();
    void programAsSubprocess();

private:
    kvp::ServiceSettings settings(const QTemporaryDir &dir, kvp::FlowMode flow, size_t buffer, double speed)
    {
        kvp::ServiceSettings s;
        s.linkPath = dir.filePath(QStringLiteral("printer"));
        s.outputDir = dir.filePath(QStringLiteral("out"));
        s.flashPath = dir.filePath(QStringLiteral("flash.txt"));
        s.printer.flow = flow;
        s.printer.bufferSize = buffer;
        s.printer.printBytesPerSecond = speed;
        return s;
    }
};

void TestPty::repliesAndReopening()
{
    QTemporaryDir dir;
    kvp::Service service(settings(dir, kvp::FlowMode::XonXoff, 16384, 20000));
    QString error;
    QVERIFY2(service.start(&error), qPrintable(error));
    QCOMPARE(QFileInfo(service.linkPath()).symLinkTarget(), service.devicePath());

    for (int round = 0; round < 2; ++round) { // the host closes and reopens the port
        Host host(service.linkPath(), true);
        QVERIFY(host.fd >= 0);
        QVERIFY(host.write(Stream().version().status().bytes));
        const QByteArray reply =
            host.readUntil([](const QByteArray &b) { return b.contains("\r\n") && !b.endsWith('\n'); });
        QVERIFY2(reply.startsWith("VX02x virtual controller, firmware 1.22"), reply.constData());
        QCOMPARE(reply.right(1), QByteArray(1, '\x10'));
    }
    // With no host on the line the device sleeps instead of polling.
    const double before = cpuSeconds();
    QTest::qWait(1000);
    QVERIFY2(cpuSeconds() - before < 0.2, "busy while idle");

    service.stop();
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("printer"))));
}

void TestPty::xonXoffDeliversEverythingToASlowPrinter()
{
    QTemporaryDir dir;
    kvp::Service service(settings(dir, kvp::FlowMode::XonXoff, 128, 4000));
    QString error;
    QVERIFY2(service.start(&error), qPrintable(error));
    Host host(service.linkPath(), true);
    const QByteArray data = textLines(5000) + Stream().fullCut().bytes;
    QVERIFY(host.write(data));
    const bool all =
        waitFor([&] { return service.printer().decodedBytes() == static_cast<uint64_t>(data.size()); }, 20000);
    QCOMPARE(service.printer().buffer().lost(), 0u);
    QVERIFY(all);
    QVERIFY(waitFor([&] { return service.pagesWritten().size() == 1; }, 2000));
    // The host's line discipline took the XON/XOFF bytes: none reached it as data.
    QCOMPARE(host.readUntil([](const QByteArray &) { return false; }, 100), QByteArray());
    service.stop();
    QFile log(service.settings().outputDir + QStringLiteral("/commands.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    QVERIFY(text.contains("XOFF sent"));
    QVERIFY(text.contains("XON sent"));
    QVERIFY(!text.contains("lost while"));
}

void TestPty::withoutFlowControlTheLossIsReported()
{
    QTemporaryDir dir;
    kvp::Service service(settings(dir, kvp::FlowMode::None, 128, 2000));
    QString error;
    QVERIFY2(service.start(&error), qPrintable(error));
    Host host(service.linkPath(), false);
    const QByteArray data = textLines(4000);
    QVERIFY(host.write(data));
    auto &printer = service.printer();
    // At 11520 bytes/s on the line and 2000 bytes/s into the printer, most is lost.
    QVERIFY(waitFor(
        [&] { return printer.buffer().received() + printer.buffer().lost() == static_cast<uint64_t>(data.size()); },
        10000));
    QVERIFY(waitFor([&] { return printer.bufferEmpty(); }, 5000));
    const uint64_t lost = printer.buffer().lost();
    QVERIFY(lost > 1000);
    QCOMPARE(printer.decodedBytes() + lost, static_cast<uint64_t>(data.size()));
    service.stop();
    QFile log(service.settings().outputDir + QStringLiteral("/commands.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    QVERIFY(text.contains("incoming bytes are being lost"));
    QVERIFY2(text.contains(QStringLiteral("(%1 lost in all)").arg(lost).toLatin1()), text.right(600).constData());
}

void TestPty::programAsSubprocess()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("vp"));
    const QString out = dir.filePath(QStringLiteral("pages"));
    QProcess program;
    program.start(QStringLiteral(KVP_EXECUTABLE),
                  {QStringLiteral("--headless"), QStringLiteral("--link"), link, QStringLiteral("--output"), out,
                   QStringLiteral("--flash"), dir.filePath(QStringLiteral("flash.txt"))});
    QVERIFY(program.waitForStarted());
    QByteArray said;
    QVERIFY(waitFor(
        [&] {
            said += program.readAllStandardOutput();
            return said.contains("ready\n");
        },
        10000));
    const QByteArray device = said.mid(said.indexOf("device: ") + 8).split('\n').first();
    QVERIFY(device.startsWith("/dev/pts/"));
    QCOMPARE(QFileInfo(link).symLinkTarget(), QString::fromLatin1(device));
    {
        Host host(link, true);
        QVERIFY(host.write(Stream().head(1).version().line("hello").fullCut().bytes));
        const QByteArray reply = host.readUntil([](const QByteArray &b) { return b.endsWith("\r\n"); });
        QVERIFY2(reply.contains("head type 1: 80mm FTP638MCL101, 576 dots"), reply.constData());
    }
    QVERIFY(waitFor(
        [&] {
            said += program.readAllStandardOutput();
            return said.contains("page: ");
        },
        10000));
    program.terminate(); // SIGTERM: the link goes away, the program ends cleanly
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    const QImage page(QDir(out).filePath(QStringLiteral("page-0001.png")));
    QCOMPARE(page.width(), 576);
    QVERIFY(QFile::exists(QDir(out).filePath(QStringLiteral("commands.log"))));
}

QTEST_MAIN(TestPty)
#include "tst_vp_pty.moc"
