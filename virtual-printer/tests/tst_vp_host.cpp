// The program against hostile and lagging hosts and a hostile file system:
// the reply path (the transmit buffer's rows in data/replyqueue.txt, and
// sessions), the network port, the link, the output folder and standard output, and the
// start-ups it refuses (data/start.txt).

#include "replyqueue.h"
#include "vphost.h"
#include "vpstream.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <csignal>
#include <optional>
#include <poll.h>
#include <sys/resource.h>
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
    void networkJobs();
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

    // kill -9: the link leads nowhere, also when the next terminal gets the same device.
    QProcess program;
    vptest::startProgram(program, tmp.path(), {"--link", tmp.filePath("killed"), "--output", tmp.filePath("k")});
    QByteArray said;
    QVERIFY(vptest::says(program, said, "ready\n"));
    program.kill();
    QVERIFY(program.waitForFinished(10000));
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    QVERIFY(QFileInfo(tmp.filePath("killed")).isSymLink() && !QFileInfo::exists(tmp.filePath("killed")));
    ::close(terminal);
}

void TestHost::networkJobs()
{
    // A job 16 times the receive buffer renders the same page over TCP as
    // over the pseudo-terminal: TCP's own flow control loses nothing. Each
    // answer goes back where its query came from; a connection opened while
    // another is served waits its turn and is served once that one closes.
    // A client that sends its job and closes at once still has it printed whole.
    QTemporaryDir tmp;
    QTcpServer probe; // a free port
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
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
    QCOMPARE(host.read([](const QByteArray &got) { return !got.isEmpty(); }), QByteArray("\x10"));

    QTcpSocket first;
    QTcpSocket second;
    for (QTcpSocket *socket : {&first, &second}) {
        socket->connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(socket->waitForConnected(5000));
    }
    second.write(Stream().version().bytes);
    first.write(job);
    QCOMPARE(readUntil(first, [](const QByteArray &got) { return !got.isEmpty(); }), QByteArray("\x10"));
    QCOMPARE(second.readAll(), QByteArray());
    first.disconnectFromHost();
    QVERIFY(readUntil(second, [](const QByteArray &got) { return got.endsWith("\r\n"); }).startsWith("VX02x"));
    // A version text sent down the line would come before this answer.
    QVERIFY(host.write(Stream().status().bytes));
    QCOMPARE(host.read([](const QByteArray &got) { return !got.isEmpty(); }), QByteArray("\x10"));
    second.disconnectFromHost();
    QTcpSocket third;
    third.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(third.waitForConnected(5000));
    third.write(job);
    third.disconnectFromHost();
    QVERIFY(vptest::waitFor([&] { return (said += program.readAllStandardOutput()).count("page: ") == 3; }, 10000));
    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    const QDir out(tmp.filePath(QStringLiteral("out")));
    const QImage overPty(out.filePath(QStringLiteral("page-0001.png")));
    QVERIFY(overPty.height() > 3000);
    for (const char *overTcp : {"page-0002.png", "page-0003.png"})
        QCOMPARE(QImage(out.filePath(QLatin1String(overTcp))), overPty);
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
