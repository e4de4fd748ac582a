// Printing from any application through the real spooler: a cupsd of the
// test's own (its configuration, socket, spool and logs in a temporary
// folder; the system's CUPS is never touched) with two queues on the
// printer's PPD, one through CUPS's socket backend to a virtual printer's
// TCP port, one through its serial backend to the printer's pseudo-terminal.
// `lp` prints a PDF of text, a QR code and a bar code on each
// (tests/data/cups/receipt.pdf, made by tools/make-receipt-pdf); the page
// that comes out must be 384 dots wide, scan back, and leave no byte the
// printer could not read. Skipped where cupsd cannot run.

#include "service.h"
#include "support/cupstesting.h"
#include "support/scanner.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString qrText = QStringLiteral("https://printer-kivo.example/cups");
const QString barText = QStringLiteral("KIVO-CUPS-58");

quint16 freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

} // namespace

class TestCupsSpooler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void lpPrintsThePdf_data();
    void lpPrintsThePdf();

private:
    QString run(const QString &program, const QStringList &args, int *exitCode = nullptr);

    QTemporaryDir dir;
    QProcess cupsd;
    std::unique_ptr<kvp::Service> printer;
    QStringList pages;
    QStringList log;
};

QString TestCupsSpooler::run(const QString &program, const QStringList &args, int *exitCode)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CUPS_SERVER"), dir.filePath(QStringLiteral("cupsd.sock")));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    const bool finished = process.waitForFinished(60000);
    if (exitCode)
        *exitCode = finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAll()).trimmed();
}

void TestCupsSpooler::initTestCase()
{
    const QString daemonPath = QStandardPaths::findExecutable(QStringLiteral("cupsd"), {QStringLiteral("/usr/sbin")});
    if (daemonPath.isEmpty())
        QSKIP("cupsd is not installed (tools/setup-debian.sh installs cups)");
    QVERIFY2(cupstest::makeServerFolder(dir.path()), "the private CUPS folder could not be made");

    cupsd.setProcessChannelMode(QProcess::MergedChannels);
    cupsd.start(daemonPath,
                {QStringLiteral("-f"), QStringLiteral("-c"), dir.filePath(QStringLiteral("cupsd.conf")),
                 QStringLiteral("-s"), dir.filePath(QStringLiteral("cups-files.conf"))});
    int status = -1;
    // Ready once lpstat reaches it on its socket. The wait returns at once
    // when cupsd exits (it cannot run here); one that is merely slow to start
    // fails the test after a generous bound instead of skipping it.
    QDeadlineTimer bound(120000);
    while (status != 0 && !cupsd.waitForFinished(100) && !bound.hasExpired()) {
        if (QFile::exists(dir.filePath(QStringLiteral("cupsd.sock"))))
            run(QStringLiteral("lpstat"), {QStringLiteral("-r")}, &status);
    }
    QVERIFY2(status == 0 || cupsd.state() == QProcess::NotRunning, "cupsd runs but did not answer within 120 s");
    if (status != 0) {
        QFile errors(dir.filePath(QStringLiteral("log/error_log")));
        errors.open(QIODevice::ReadOnly);
        const QString reason = QString::fromUtf8(cupsd.readAll() + errors.readAll()).right(600);
        QSKIP(qPrintable(QStringLiteral("cupsd cannot run here: ") + reason));
    }

    kvp::ServiceSettings settings;
    settings.linkPath = dir.filePath(QStringLiteral("printer"));
    settings.announcementFolder = dir.filePath(QStringLiteral("announce"));
    settings.outputDir = dir.filePath(QStringLiteral("pages"));
    settings.tcpPort = freePort();
    settings.printer.silenceMs = int64_t(3600) * 1000; // pages end at the cut, however slow the machine
    printer = std::make_unique<kvp::Service>(settings);
    connect(printer.get(), &kvp::Service::pageWritten, this, [this](const QString &path) { pages << path; });
    connect(printer.get(), &kvp::Service::logLine, this, [this](const QString &line) { log << line; });
    QString why;
    QVERIFY2(printer->start(&why), qPrintable(why));
}

void TestCupsSpooler::cleanupTestCase()
{
    if (printer)
        printer->stop();
    cupsd.terminate();
    cupsd.waitForFinished(30000); // one that does not stop dies with the QProcess
}

void TestCupsSpooler::lpPrintsThePdf_data()
{
    QTest::addColumn<QString>("uri");
    QTest::newRow("socket") << QStringLiteral("socket://%1").arg(printer ? printer->tcpEndpoint() : QString());
    QTest::newRow("serial")
        << QStringLiteral("serial:%1?baud=115200+flow=soft").arg(printer ? printer->linkPath() : QString());
}

void TestCupsSpooler::lpPrintsThePdf()
{
    QFETCH(QString, uri);
    if (uri.startsWith(QStringLiteral("serial:")) && ::geteuid() != 0)
        QSKIP("CUPS's serial backend runs as root only (mode 0744): it needs a cupsd started by root");
    const QString queue = QStringLiteral("kivo-") + QString::fromUtf8(QTest::currentDataTag());
    int status = -1;
    const QString added = run(QStringLiteral("lpadmin"),
                              QStringLiteral("-p %1 -E -v %2 -P").arg(queue, uri).split(u' ')
                                  << QStringLiteral(KIVO_PPD_DIR "/kivo-58.ppd"),
                              &status);
    QVERIFY2(status == 0, qPrintable(added));

    // Two copies: CUPS makes them (the PPD asks for copies made before the
    // filter), and each comes out as a page of its own, cut.
    const qsizetype before = pages.size();
    log.clear();
    const QString sent = run(QStringLiteral("lp"),
                             QStringLiteral("-d %1 -n 2 -o PageSize=Roll58x100").arg(queue).split(u' ')
                                 << QStringLiteral(KIVO_TEST_DATA "/cups/receipt.pdf"),
                             &status);
    QVERIFY2(status == 0, qPrintable(sent));
    QTRY_VERIFY_WITH_TIMEOUT(pages.size() >= before + 2, 120000);
    for (const QString &path : pages.mid(before, 2)) {
        const QImage page(path);
        QCOMPARE(page.width(), 384);
        QVERIFY2(page.height() > 300, qPrintable(QString::number(page.height())));
        QCOMPARE(scannedCodes(path),
                 QStringList({QStringLiteral("CODE-128:") + barText, QStringLiteral("QR-Code:") + qrText}));
    }
    static const QRegularExpression unread(QStringLiteral(R"(\b(skip|unknown|overflow)\b)"));
    for (const QString &line : log)
        QVERIFY2(!unread.match(line).hasMatch(), qPrintable(line));
    for (const char *command : {" raster ", " feed-dots ", " full-cut"})
        QVERIFY2(log.join(u'\n').contains(QLatin1String(command)), command);
}

QTEST_MAIN(TestCupsSpooler)
#include "tst_cups_spooler.moc"
