// The program against hostile and lagging hosts and a hostile file system:
// the reply path (the transmit buffer's rows in data/replyqueue.txt, and
// sessions), the network port, the link and its announcement, the output
// folder and standard output, and the start-ups it refuses (data/start.txt).

#include "replyqueue.h"
#include "service.h"
#include "timing/clock.h"
#include "vphost.h"
#include "vpstream.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <csignal>
#include <linux/sockios.h>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>

using vptest::Host;
using vptest::Stream;

namespace {
// The kind, link target and contents of the entries in `dir`.
QString stateOf(const QDir &dir)
{
    QString state;
    for (const QFileInfo &info : dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        QFile file(info.filePath());
        state += info.fileName() + info.symLinkTarget() + QString::number(info.isDir())
            + (info.isFile() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray()) + u';';
    }
    return state;
}

// The link announcements of printers started on `dir`, one line each.
QString announcements(const QString &dir)
{
    const QDir folder(dir + QStringLiteral("/kivo-virtual-printers"));
    QStringList all;
    for (const QString &name : folder.entryList(QDir::Files)) {
        QFile file(folder.filePath(name));
        all << name + u':' + QString::fromUtf8(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    return all.join(u'\n').simplified().replace(dir, QStringLiteral("$DIR"));
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// Reads from a connection until `done` says so.
QByteArray readUntil(QTcpSocket &socket, const std::function<bool(const QByteArray &)> &done)
{
    QByteArray got;
    vptest::waitFor([&] { return done(got += socket.readAll()); }, 10000);
    return got;
}
} // namespace

class TestHost : public QObject
{
    Q_OBJECT
private slots:
    void replyQueue_data();
    void replyQueue();
    void repliesAndLink();
    void aKilledPrinterLeavesNoLiveLink();
    void networkJobs();
    void networkConnections();
    void networkStop();
    void pagesAreNewFilesAndOutputNeverBlocks();
    void refusesToStart_data();
    void refusesToStart();
};

void TestHost::replyQueue_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("expected"); // the bytes on the line, the count lost
    for (const QString &row : vptest::dataLines(QStringLiteral("replyqueue.txt")))
        QTest::newRow(qPrintable(row.left(60))) << row.section(QStringLiteral(" => "), 0, 0).split(u';')
                                                << row.section(QStringLiteral(" => "), 1).split(QStringLiteral(" | "));
}

void TestHost::replyQueue()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);
    kvp::ReplyQueue queue(8);
    QByteArray line;
    for (const QString &step : steps) {
        const QString verb = step.trimmed().section(u' ', 0, 0);
        const QString arg = step.trimmed().section(u' ', 1);
        if (verb == QLatin1String("reply"))
            queue.push(vptest::bytesOf(arg));
        else if (verb == QLatin1String("control"))
            queue.pushControl(vptest::bytesOf(arg).at(0));
        else {
            const QByteArray taken = queue.front().left(arg.toInt());
            line += taken;
            queue.consumed(taken.size());
        }
    }
    QCOMPARE(line, vptest::bytesOf(expected[0]));
    QCOMPARE(queue.lost(), expected[1].toULongLong());
}

void TestHost::repliesAndLink()
{
    // A host asks 300 times for the version text before it reads: what fits
    // in the line and the transmit buffer arrives once, whole and in order,
    // though the host sends nothing more (and no page ends on silence to
    // wake the printer); the rest is counted, and logged once a reply fits again.
    QTemporaryDir tmp;
    vptest::Device device(tmp.path());
    QString error;
    QVERIFY2(device.service.start(&error), qPrintable(error));
    kvp::Service &service = device.service;
    vptest::Rig rig;
    rig.core.feed(Stream().version().bytes);
    auto decoded = [&](uint64_t bytes) {
        return vptest::waitFor([&] { return service.printer().decodedBytes() == bytes; }, 10000);
    };
    std::optional<Host> host(std::in_place, service.linkPath());
    QVERIFY(host->write(Stream().version().bytes.repeated(300)) && decoded(600));
    const uint64_t lost = service.pump()->replies().lost();
    QVERIFY(lost > 0 && lost % rig.replies.size() == 0);
    const QByteArray expected = rig.replies.repeated(300 - qsizetype(lost) / rig.replies.size());
    QCOMPARE(host->read([&](const QByteArray &got) { return got.size() >= expected.size(); }), expected);
    // Closed with its answers unread on the line; the next host, opened at
    // once, reads only its own. Then the pump sleeps on the descriptor.
    pollfd unread{host->fd, POLLIN, 0};
    QVERIFY(
        host->write(Stream().version().bytes.repeated(5)) && decoded(610)
        && vptest::waitFor([&] { return service.pump()->replies().isEmpty() && ::poll(&unread, 1, 0) == 1; }, 10000));
    host.emplace(service.linkPath());
    QVERIFY(host->write(Stream().status().bytes) && decoded(612));
    QCOMPARE(host->read([](const QByteArray &got) { return !got.isEmpty(); }), QByteArray("\x10"));
    QCOMPARE(device.lines.filter(QStringLiteral("(%1 lost in all)").arg(lost)).size(), 1);
    QVERIFY(vptest::waitFor([&] { return service.pump()->isIdle(); }, 10000));
}

void TestHost::aKilledPrinterLeavesNoLiveLink()
{
    // kill -9: the link leads nowhere, also when the next terminal gets the
    // same device. Its announcement stays until the next printer starts,
    // whose own goes at its stop.
    QTemporaryDir tmp;
    QProcess program;
    vptest::startProgram(program, tmp.path(), {"--link", tmp.filePath("killed"), "--output", tmp.filePath("k")});
    QByteArray said;
    QVERIFY(vptest::says(program, said, "ready\n"));
    const QString killed = announcements(tmp.path());
    QCOMPARE(killed, QStringLiteral("%1-1:pid %1 link $DIR/killed").arg(program.processId()));
    program.kill();
    QVERIFY(program.waitForFinished(10000));
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    QVERIFY(QFileInfo(tmp.filePath("killed")).isSymLink() && !QFileInfo::exists(tmp.filePath("killed")));
    ::close(terminal);
    QCOMPARE(announcements(tmp.path()), killed);
    vptest::startProgram(program, tmp.path(), {"--link", tmp.filePath("next"), "--output", tmp.filePath("k")});
    QVERIFY(vptest::says(program, said = {}, "ready\n"));
    QCOMPARE(announcements(tmp.path()), QStringLiteral("%1-1:pid %1 link $DIR/next").arg(program.processId()));
    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(announcements(tmp.path()), QString());

    // The help names the program, though the options are read before Qt
    // knows its name.
    program.start(QStringLiteral(KVP_EXECUTABLE), {QStringLiteral("--help")});
    QVERIFY(program.waitForFinished(10000));
    QVERIFY(program.readAllStandardOutput().startsWith("Usage: kivo-virtual-printer [options]\n"));
}

void TestHost::networkJobs()
{
    // A job 16 times the receive buffer renders the same page over TCP as
    // over the pseudo-terminal: TCP's own flow control loses nothing. Each
    // answer goes back where its query came from; a connection opened while
    // another is served waits its turn and is served once that one closes.
    // A client that sends its job and closes at once still has it printed whole.
    QTemporaryDir tmp;
    const quint16 port = freePort();
    QProcess program;
    vptest::startProgram(program, tmp.path(), {"--tcp", QString::number(port), "--buffer", "256"});
    QByteArray said;
    QVERIFY(vptest::says(program, said, "ready\n"));
    QVERIFY(said.contains(QStringLiteral("tcp: 127.0.0.1:%1\n").arg(port).toLatin1()));
    QByteArray job;
    for (int i = 0; job.size() < 4000; ++i)
        job += QStringLiteral("line %1 abcdefghijklmnop\n").arg(i).toLatin1();
    job += Stream().fullCut().status().bytes;
    Host host(tmp.filePath(QStringLiteral("link")));
    QVERIFY(host.write(job));
    // Answered on arrival: the line of text may still wait for the engine (0x04).
    const QByteArray status = host.read([](const QByteArray &got) { return !got.isEmpty(); });
    QCOMPARE(status.size(), 1);
    QCOMPARE(status[0] & ~0x04, 0x10);

    QTcpSocket first;
    QTcpSocket second;
    for (QTcpSocket *socket : {&first, &second}) {
        socket->connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(socket->waitForConnected(5000));
    }
    second.write(Stream().version().bytes);
    first.write(job);
    QCOMPARE(readUntil(first, [](const QByteArray &got) { return !got.isEmpty(); }).at(0) & ~0x04, 0x10);
    QCOMPARE(second.readAll(), QByteArray());
    first.disconnectFromHost();
    QVERIFY(readUntil(second, [](const QByteArray &got) { return got.endsWith("\r\n"); }).startsWith("VX02x"));
    // A version text sent down the line would come before this answer.
    QVERIFY(host.write(Stream().status().bytes));
    QCOMPARE(host.read([](const QByteArray &got) { return !got.isEmpty(); }).at(0) & ~0x04, 0x10);
    second.disconnectFromHost();
    QTcpSocket third;
    third.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(third.waitForConnected(5000));
    third.write(job);
    third.disconnectFromHost();
    QVERIFY(vptest::waitFor([&] { return (said += program.readAllStandardOutput()).count("page: ") == 3; }, 10000));
    program.terminate(); // SIGTERM: the program removes the link and ends cleanly
    QVERIFY(program.waitForFinished(10000) && program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0);
    QVERIFY(!QFileInfo(tmp.filePath(QStringLiteral("link"))).isSymLink());
    const QDir out(tmp.filePath(QStringLiteral("out")));
    const QImage overPty(out.filePath(QStringLiteral("page-0001.png")));
    QVERIFY(overPty.height() > 3000);
    for (const char *overTcp : {"page-0002.png", "page-0003.png"})
        QCOMPARE(QImage(out.filePath(QLatin1String(overTcp))), overPty);
}

namespace {
// The printer in-process with its network port (1 s idle time on `clock`)
// and a 256-byte buffer. While `held` its print engine waits, as it does for
// pages to be written, so that the bytes of both hosts are in the buffer, in
// an order the test chose, before it reads them.
struct NetworkRig
{
    explicit NetworkRig(timing::Clock *clock = nullptr)
    {
        kvp::ServiceSettings settings;
        settings.tcpPort = freePort();
        settings.linkPath = tmp.filePath(QStringLiteral("link"));
        settings.outputDir = tmp.filePath(QStringLiteral("out"));
        settings.printer.bufferSize = 256;
        settings.tcpIdleMs = 1000;
        settings.clock = clock;
        service = std::make_unique<kvp::Service>(settings);
        QObject::connect(service.get(), &kvp::Service::logLine, [this](const QString &line) { log += line + u'\n'; });
        started = service->start(nullptr);
        service->printer().outputBusy = [this] { return held; };
    }
    bool receives(uint64_t count)
    {
        return vptest::waitFor([&] { return service->printer().buffer().received() >= count; }, 10000);
    }
    std::unique_ptr<QTcpSocket> connect(const QByteArray &bytes = QByteArray())
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, service->settings().tcpPort);
        socket->waitForConnected(5000);
        socket->write(bytes);
        socket->waitForBytesWritten(5000);
        return socket;
    }

    QTemporaryDir tmp;
    QString log;
    bool held = false;
    bool started = false;
    std::unique_ptr<kvp::Service> service; // last: it logs and asks `held` until it has stopped
};

// Waits until the printer's system has acknowledged all the client sent;
// `shutDown` first ends the client's sending side (as nc -N does).
bool delivered(QTcpSocket &socket, bool shutDown = false)
{
    const int fd = static_cast<int>(socket.socketDescriptor());
    int unacknowledged = -1;
    return (!shutDown || ::shutdown(fd, SHUT_WR) == 0)
        && vptest::waitFor([&] { return ::ioctl(fd, SIOCOUTQ, &unacknowledged) == 0 && unacknowledged == 0; }, 10000);
}

bool closedByPrinter(QTcpSocket &socket)
{
    return vptest::waitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 10000);
}

bool readsVersion(QTcpSocket &socket, const QByteArray &before = QByteArray())
{
    const QByteArray got = readUntil(socket, [](const QByteArray &bytes) { return bytes.endsWith("\r\n"); });
    return got.startsWith(before + "VX02x");
}
} // namespace

void TestHost::networkConnections()
{
    // Each answer goes to the host whose bytes asked, also when the byte read
    // after 10 04 (to tell it from 10 04 n) is the other host's: the network
    // asks, the pseudo-terminal sends "A" and asks, the network asks for the
    // version. All are answered on arrival, the engine held.
    timing::ManualClock clock;
    NetworkRig rig(&clock);
    QVERIFY(rig.started);
    Host host(rig.tmp.filePath(QStringLiteral("link")));
    rig.held = true;
    const auto first = rig.connect(Stream().status().bytes);
    QVERIFY(rig.receives(2) && host.write("A" + Stream().status().bytes) && rig.receives(5));
    first->write(Stream().version().bytes);
    QVERIFY(rig.receives(7));
    rig.held = false;
    QCOMPARE(host.read([](const QByteArray &got) { return !got.isEmpty(); }), QByteArray("\x10"));
    QVERIFY(readsVersion(*first, "\x10"));
    first->disconnectFromHost();

    // A client that shuts down its sending side still reads its answers;
    // then the printer ends the connection.
    const auto halfClosed = rig.connect(Stream().version().bytes);
    QVERIFY(delivered(*halfClosed, true) && readsVersion(*halfClosed) && closedByPrinter(*halfClosed));

    // A client that sends nothing is dropped after the idle time and the
    // next one is served; one whose bytes wait because the buffer holds is
    // not idle.
    const auto silent = rig.connect();
    const auto next = rig.connect(Stream().version().bytes);
    QVERIFY(vptest::waitFor([&] { return rig.log.contains(QStringLiteral("connection 3 from")); }, 10000));
    clock.advance(1000);
    QVERIFY(closedByPrinter(*silent) && readsVersion(*next));
    QVERIFY(rig.log.contains(QStringLiteral("connection 3 closed after 0 bytes, idle for 1 s")));
    next->disconnectFromHost();
    rig.held = true;
    const auto held = rig.connect(QByteArray(2000, 'x'));
    QVERIFY(delivered(*held) && rig.receives(7 + 2 + 2 + 192));
    clock.advance(5000);
    rig.held = false;
    held->write(Stream().version().bytes);
    QVERIFY(readsVersion(*held));
}

void TestHost::networkStop()
{
    // A stop while a job is being read from a client that has gone, and
    // another client waits its turn: the job is printed, the waiting one is
    // counted as lost, and the stop line accounts for every byte.
    NetworkRig rig;
    QVERIFY(rig.started);
    rig.held = true;
    QByteArray job;
    for (int i = 0; job.size() < 20000; ++i)
        job += QStringLiteral("line %1 abcdefghijklmnop\n").arg(i).toLatin1();
    const auto served = rig.connect(job);
    QVERIFY(delivered(*served, true) && rig.receives(1));
    served->abort();
    const auto waiting = rig.connect(QByteArray(300, 'w'));
    QVERIFY(delivered(*waiting, true));
    rig.service->stop();
    QVERIFY(rig.log.contains(QStringLiteral("connection 2 from 127.0.0.1 port %1 not served: the printer stopped; "
                                            "300 bytes dropped")
                                 .arg(waiting->localPort())));
    // Lost: the waiting client's bytes and what the stop's deadline left.
    static const QRegularExpression stopLine(QStringLiteral("(\\d+) bytes received, (\\d+) decoded, (\\d+) lost"));
    static const QRegularExpression undecoded(QStringLiteral("(\\d+) bytes not decoded"));
    const QRegularExpressionMatch figures = stopLine.match(rig.log);
    const qint64 left = undecoded.match(rig.log).captured(1).toLongLong();
    QCOMPARE(figures.captured(1).toLongLong(), job.size() + 300);
    QCOMPARE(figures.captured(2).toLongLong(), job.size() - left);
    QCOMPARE(figures.captured(3).toLongLong(), 300 + left);
}

void TestHost::pagesAreNewFilesAndOutputNeverBlocks()
{
    // Numbering goes on past the highest 32-bit number; a link and a folder
    // planted after the start are skipped, the link's target left alone. A page
    // larger than the file size limit is reported lost on standard error.
    // Standard output is a pipe nobody reads: 300 pages are written all the
    // same, and the printer still answers.
    QTemporaryDir tmp;
    const QDir out(tmp.filePath(QStringLiteral("out")));
    QVERIFY(QDir().mkpath(out.path())
            && QFile(out.filePath(QStringLiteral("page-2147483647.png"))).open(QIODevice::WriteOnly));
    const QByteArray fifo = QFile::encodeName(tmp.filePath(QStringLiteral("stdout")));
    QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
    const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0 && fcntl(reader, F_SETPIPE_SZ, 4096) > 0);
    QProcess program;
    program.setStandardOutputFile(QFile::decodeName(fifo));
    program.setChildProcessModifier([] {
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
    });
    vptest::startProgram(program, tmp.path());
    QVERIFY(vptest::waitFor([&] { return QFileInfo::exists(tmp.filePath(QStringLiteral("link"))); }, 10000));
    QVERIFY(QFile::link(tmp.filePath(QStringLiteral("victim")), out.filePath(QStringLiteral("page-2147483649.png")))
            && out.mkdir(QStringLiteral("page-2147483650.png")));
    QByteArray noise(qsizetype(48) * 200, 0);
    QRandomGenerator(1).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    Host host(tmp.filePath(QStringLiteral("link")));
    QVERIFY(host.write(Stream().line("page").fullCut().bytes.repeated(300)
                       + Stream().raster(0, 48, 200, noise).fullCut().status().bytes));
    QCOMPARE(host.read([](const QByteArray &got) { return !got.isEmpty(); }, 20000), QByteArray("\x10"));
    QVERIFY(vptest::waitFor([&] { return program.readAllStandardError().contains("page 301 lost: "); }, 10000));
    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    ::close(reader);
    const QStringList pages = out.entryList({QStringLiteral("page-*.png")}, QDir::Files | QDir::NoSymLinks);
    QCOMPARE(pages.size(), 301);
    QCOMPARE(pages.mid(1, 2), QStringList({"page-2147483648.png", "page-2147483651.png"}));
    QVERIFY(!QFileInfo::exists(tmp.filePath(QStringLiteral("victim"))));
}

void TestHost::refusesToStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    for (const QString &row : vptest::dataLines(QStringLiteral("start.txt")))
        QTest::newRow(qPrintable(row)) << row.section(QStringLiteral(" => "), 0, 0).split(u' ')
                                       << row.section(QStringLiteral(" => "), 1);
}

void TestHost::refusesToStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    QFile file(dir.filePath(QStringLiteral("file")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("someone else's") && dir.mkpath(QStringLiteral("folder"))
            && dir.mkpath(QStringLiteral("log"))
            && ::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600) == 0
            && QFile::link(file.fileName(), dir.filePath(QStringLiteral("foreign")))
            && QFile::link(file.fileName(), dir.filePath(QStringLiteral("log/commands.log"))));
    QProcess live;
    vptest::startProgram(live, tmp.path(), {"--link", dir.filePath("live"), "--output", dir.filePath("live-out")});
    QByteArray said;
    QVERIFY(vptest::says(live, said, "ready\n"));
    const QString before = stateOf(dir);
    QTemporaryDir rowDir;
    QProcess program;
    vptest::startProgram(program, rowDir.path(), arguments.replaceInStrings(QStringLiteral("$DIR"), tmp.path()));
    QVERIFY(program.waitForFinished(10000) && program.exitCode() != 0);
    const QString error = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(error.contains(QString(message).replace(QStringLiteral("$DIR"), tmp.path())), qPrintable(error));
    QCOMPARE(stateOf(dir), before);
    live.terminate();
    QVERIFY(live.waitForFinished(10000));
}

QTEST_MAIN(TestHost)
#include "tst_vp_host.moc"
