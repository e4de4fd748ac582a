// The program against hostile and lagging hosts and a hostile file system:
// the reply path (transmit buffer, sessions), the link, the output folder,
// standard output, and the start-ups it refuses (data/start.txt).

#include "replyqueue.h"
#include "vphost.h"
#include "vpstream.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/stat.h>

using vptest::Host;
using vptest::Stream;

namespace {
// What the folder's prepared entries are: kind, link target and contents.
QString stateOf(const QString &dir)
{
    QString state;
    for (const char *name : {"file", "folder", "foreign", "fifo", "log/commands.log", "live"}) {
        const QFileInfo info(dir + u'/' + QLatin1String(name));
        QFile file(info.filePath());
        state += QStringLiteral("%1 %2 %3 %4 %5;")
                     .arg(name)
                     .arg(info.isSymLink())
                     .arg(info.symLinkTarget())
                     .arg(info.isDir())
                     .arg(info.isFile() && file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : "");
    }
    return state;
}

QByteArray versionReply()
{
    vptest::Rig rig;
    rig.core.feed(Stream().version().bytes);
    return rig.replies;
}

// Reads until the program has been quiet for a second.
QByteArray readUntilQuiet(Host &host)
{
    QElapsedTimer quiet;
    quiet.start();
    return host.read(
        [&, size = qsizetype(0)](const QByteArray &got) mutable {
            if (got.size() != size)
                quiet.restart();
            size = got.size();
            return quiet.elapsed() > 1000;
        },
        30000);
}
} // namespace

class TestHost : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void replyQueue_data();
    void replyQueue();
    void repliesGoOnceToTheirOwnSession();
    void linkDiesWithTheProcess();
    void pagesAreNewFiles();
    void lostPagesAreReported();
    void standardOutputNeverBlocks();
    void refusesToStart_data();
    void refusesToStart();

private:
    QTemporaryDir dir;
    QProcess live;
};

void TestHost::initTestCase()
{
    const QDir d(dir.path());
    QFile file(d.filePath(QStringLiteral("file")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("someone else's") > 0 && d.mkdir(QStringLiteral("folder"))
            && d.mkdir(QStringLiteral("log")) && ::mkfifo(QFile::encodeName(d.filePath("fifo")).constData(), 0600) == 0
            && QFile::link(file.fileName(), d.filePath(QStringLiteral("foreign")))
            && QFile::link(file.fileName(), d.filePath(QStringLiteral("log/commands.log"))));
    live.start(QStringLiteral(KVP_EXECUTABLE),
               {QStringLiteral("--headless"), QStringLiteral("--link"), d.filePath(QStringLiteral("live")),
                QStringLiteral("--output"), d.filePath(QStringLiteral("live-out")), QStringLiteral("--flash"), ""});
    QByteArray said;
    QVERIFY(vptest::says(live, said, "ready\n"));
}

void TestHost::cleanupTestCase()
{
    live.terminate();
    live.waitForFinished(10000);
}

void TestHost::replyQueue_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("lost");
    static const QRegularExpression parts(QStringLiteral("^(.*) => (.*) \\| (\\d+)$"));
    for (const QString &row : vptest::dataLines(QStringLiteral("replyqueue.txt"))) {
        const auto m = parts.match(row);
        QTest::newRow(qPrintable(row.left(60)))
            << m.captured(1) << vptest::bytesOf(m.captured(2)) << m.captured(3).toInt();
    }
}

void TestHost::replyQueue()
{
    QFETCH(QString, steps);
    QFETCH(QByteArray, line);
    QFETCH(int, lost);
    kvp::ReplyQueue queue(8);
    QByteArray sent;
    for (const QString &step : steps.split(u';')) {
        const QString verb = step.trimmed().section(u' ', 0, 0);
        const QString arg = step.trimmed().section(u' ', 1);
        if (verb == QLatin1String("reply"))
            queue.push(vptest::bytesOf(arg));
        else if (verb == QLatin1String("control"))
            queue.pushControl(vptest::bytesOf(arg).at(0));
        else {
            const QByteArray taken = queue.front().left(arg.toInt());
            sent += taken;
            queue.consumed(taken.size());
        }
    }
    QCOMPARE(sent, line);
    QCOMPARE(queue.lost(), uint64_t(lost));
}

void TestHost::repliesGoOnceToTheirOwnSession()
{
    // A host asks 300 times for the version text before it reads: what fits
    // in the line and the transmit buffer arrives once, whole and in order,
    // even though the host sends nothing more; the rest is logged as lost.
    QTemporaryDir tmp;
    QProcess program;
    vptest::startProgram(program, tmp.path());
    QByteArray said;
    QVERIFY(vptest::says(program, said, "ready\n"));
    const QString link = tmp.filePath(QStringLiteral("link"));
    const QByteArray reply = versionReply();
    const QByteArray got = [&] {
        Host host(link);
        host.write(QByteArray("\x10\x05").repeated(300));
        return readUntilQuiet(host);
    }();
    // A host that leaves without reading its answers; the next one, a
    // moment later, reads only its own.
    Host(link).write(QByteArray("\x10\x05").repeated(5));
    QTest::qWait(300);
    Host next(link);
    next.write(Stream().status().bytes);
    QCOMPARE(readUntilQuiet(next), QByteArray("\x10"));
    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    QFile log(tmp.filePath(QStringLiteral("out/commands.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    static const QRegularExpression lostInAll(QStringLiteral("\\((\\d+) lost in all\\)\\n(?!.*lost in all)"),
                                              QRegularExpression::DotMatchesEverythingOption);
    const int lost = lostInAll.match(QString::fromLatin1(log.readAll())).captured(1).toInt();
    QVERIFY(lost % reply.size() == 0 && lost < 300 * reply.size());
    QCOMPARE(got, reply.repeated(300 - lost / reply.size()));
}

void TestHost::linkDiesWithTheProcess()
{
    // A second printer keeps off a live one's link; after kill -9 the link
    // leads nowhere, also when the next terminal gets the same device.
    QTemporaryDir tmp;
    QProcess first;
    QProcess second;
    vptest::startProgram(first, tmp.path());
    QByteArray said;
    QVERIFY(vptest::says(first, said, "ready\n"));
    vptest::startProgram(second, tmp.path(), {QStringLiteral("--output"), tmp.filePath(QStringLiteral("other"))});
    QVERIFY(second.waitForFinished(10000) && second.exitCode() == 1);
    QVERIFY(second.readAllStandardError().contains("belongs to the virtual printer running as process"));
    first.kill();
    QVERIFY(first.waitForFinished(10000));
    const int next = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(next >= 0 && grantpt(next) == 0 && unlockpt(next) == 0);
    QVERIFY(QFileInfo(tmp.filePath(QStringLiteral("link"))).isSymLink());
    QVERIFY(!QFileInfo::exists(tmp.filePath(QStringLiteral("link"))));
    ::close(next);
}

void TestHost::pagesAreNewFiles()
{
    // Taken names are skipped: a folder, the highest 32-bit number, and a
    // link planted after the start, whose target stays as it was.
    QTemporaryDir tmp;
    const QDir out(tmp.filePath(QStringLiteral("out")));
    QVERIFY(out.mkpath(QStringLiteral("page-0001.png"))
            && QFile(out.filePath(QStringLiteral("page-2147483647.png"))).open(QIODevice::WriteOnly));
    QProcess program;
    vptest::startProgram(program, tmp.path());
    QByteArray said;
    QVERIFY(vptest::says(program, said, "ready\n"));
    QVERIFY(
        QFile::link(tmp.filePath(QStringLiteral("flash.txt")), out.filePath(QStringLiteral("page-2147483649.png"))));
    Host(tmp.filePath(QStringLiteral("link"))).write(Stream().line("a").fullCut().line("b").fullCut().bytes);
    QVERIFY(vptest::says(program, said, "page-2147483650.png\n"));
    QVERIFY(said.contains("page: " + QFile::encodeName(out.filePath(QStringLiteral("page-2147483648.png")))));
    QVERIFY(!QFileInfo::exists(tmp.filePath(QStringLiteral("flash.txt"))));
    QVERIFY(QFileInfo(out.filePath(QStringLiteral("page-0001.png"))).isDir());
    program.terminate();
    QVERIFY(program.waitForFinished(10000));
}

void TestHost::lostPagesAreReported()
{
    // A page that cannot be written (here: larger than the file size limit)
    // is reported on standard error; the printer goes on.
    QTemporaryDir tmp;
    QProcess program;
    program.setChildProcessModifier([] {
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
    });
    vptest::startProgram(program, tmp.path());
    QByteArray said;
    QVERIFY(vptest::says(program, said, "ready\n"));
    QByteArray noise(qsizetype(48) * 200, 0);
    for (char &c : noise)
        c = static_cast<char>(QRandomGenerator::global()->bounded(256));
    Host(tmp.filePath(QStringLiteral("link"))).write(Stream().raster(0, 48, 200, noise).fullCut().bytes);
    QVERIFY(vptest::waitFor([&] { return program.readAllStandardError().contains("page 1 lost: "); }, 10000));
    program.terminate();
    QVERIFY(program.waitForFinished(10000));
}

void TestHost::standardOutputNeverBlocks()
{
    // Standard output is a pipe nobody reads: 300 pages are written all the
    // same, and the printer still answers.
    QTemporaryDir tmp;
    const QString fifo = tmp.filePath(QStringLiteral("stdout"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0 && fcntl(reader, F_SETPIPE_SZ, 4096) > 0);
    QProcess program;
    program.setStandardOutputFile(fifo);
    vptest::startProgram(program, tmp.path());
    QVERIFY(vptest::waitFor([&] { return QFileInfo::exists(tmp.filePath(QStringLiteral("link"))); }, 10000));
    Host host(tmp.filePath(QStringLiteral("link")));
    QVERIFY(host.write(Stream().line("page").fullCut().bytes.repeated(300) + Stream().status().bytes));
    QCOMPARE(host.read([](const QByteArray &got) { return !got.isEmpty(); }, 20000), QByteArray("\x10"));
    QCOMPARE(QDir(tmp.filePath(QStringLiteral("out"))).entryList({QStringLiteral("page-*.png")}).size(), 300);
    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    ::close(reader);
}

void TestHost::refusesToStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    for (const QString &row : vptest::dataLines(QStringLiteral("start.txt"))) {
        const QString line = QString(row).replace(QStringLiteral("$DIR"), dir.path());
        QTest::newRow(qPrintable(row.section(QStringLiteral(" => "), 0, 0)))
            << line.section(QStringLiteral(" => "), 0, 0).split(u' ') << line.section(QStringLiteral(" => "), 1);
    }
}

void TestHost::refusesToStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const QString before = stateOf(dir.path());
    QTemporaryDir tmp;
    QProcess program;
    vptest::startProgram(program, tmp.path(), arguments);
    QVERIFY(program.waitForFinished(10000));
    QVERIFY(program.exitCode() != 0);
    const QString error = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(stateOf(dir.path()), before);
}

QTEST_MAIN(TestHost)
#include "tst_vp_host.moc"
