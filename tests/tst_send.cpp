// kivo-send as a script runs it: a separate process against a network
// printer played by the test (a TCP listener) or a serial port and a device
// file played by a pseudo-terminal. Its bytes for each action are checked
// against the data files of the window's own tests; then its exit status
// and JSON result when the printer cannot be reached, goes away in the
// middle, or the user presses Ctrl+C.

#include "support/pseudoterminal.h"
#include "support/streamfile.h"

#include "demos/catalogue.h"
#include "serial/controllermodel.h"

#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// A network printer: takes one connection, keeps what arrives, answers the
// status and version requests. `holdAt`: stops reading once that much came.
struct Printer
{
    Printer()
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            peer = server.nextPendingConnection();
            QObject::connect(peer, &QTcpSocket::readyRead, [this] { take(); });
        });
    }
    void take()
    {
        if (!peer || (holdAt > 0 && received.size() >= holdAt))
            return;
        received += peer->readAll();
        if (received.endsWith(QByteArray::fromHex("1004")))
            peer->write(QByteArray::fromHex("12"));
        if (received.endsWith(QByteArray::fromHex("1005")))
            peer->write("VX test 1.0\r\n");
    }
    void resume()
    {
        holdAt = 0;
        take();
    }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(server.serverPort()); }

    QTcpServer server;
    QTcpSocket *peer = nullptr;
    QByteArray received;
    qint64 holdAt = 0;
};

// What a printer takes before it holds the line: far less than a big
// picture, more than a band.
constexpr qint64 holdBytes = qint64(64) * 1024;

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

void startSend(QProcess &process, const QStringList &arguments)
{
    process.start(QStringLiteral(KIVO_SEND), arguments);
    QVERIFY(process.waitForStarted());
}

Run finish(QProcess &process)
{
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 120000))
        process.kill();
    process.waitForFinished();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

// What a pseudo-terminal's program sent until it ended.
QByteArray readUntilDone(PseudoTerminal &pty, QProcess &process)
{
    QByteArray received;
    for (bool more = true; more || process.state() != QProcess::NotRunning;) {
        const QByteArray piece = pty.read(1 << 30, 100);
        received += piece;
        more = !piece.isEmpty();
    }
    return received;
}

QByteArray streamBytes(const QStringList &lines, const streamnotation::FileBytes &files, QString *error)
{
    QByteArray bytes;
    for (const QString &line : lines)
        if (!line.startsWith(u'>')
            && !QStringList{"click", "set", "unset", "also", "before"}.contains(line.section(u' ', 0, 0)))
            bytes += streamnotation::writes(line, files, error).join();
    return bytes;
}

const demos::NamedDemo *demoOfButton(const QString &button)
{
    for (const demos::NamedDemo &demo : demos::catalogue())
        if (demo.button == button)
            return &demo;
    return nullptr;
}

QJsonObject json(const QByteArray &out) { return QJsonDocument::fromJson(out).object(); }

} // namespace

class TestSend : public QObject
{
    Q_OBJECT

private slots:
    void demonstrationsSendTheWindowsBytes_data();
    void demonstrationsSendTheWindowsBytes();
    void actionsSendTheWindowsBytes_data();
    void actionsSendTheWindowsBytes();
    void typedLinesGoOrAreRefused();
    void failuresEndWithTheirStatus_data();
    void failuresEndWithTheirStatus();
    void interruptionStopsBetweenTwoCommands();

private:
    QString picture(int width, int height);
    QString bigPicture();
    QTemporaryDir dir;
};

void TestSend::demonstrationsSendTheWindowsBytes_data()
{
    // The button a file clicks, in the variant the window runs untouched or,
    // where the file sets the window up, the one the file is named after;
    // the buttons clicked before it go first.
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("path");
    const QDir data(QStringLiteral(KIVO_TEST_DATA "/demos"));
    for (const QString &file : data.entryList({QStringLiteral("*.txt")})) {
        QStringList names;
        bool setUp = false;
        for (const QString &line : streamnotation::lines(data.filePath(file))) {
            const QString word = line.section(u' ', 0, 0);
            setUp = setUp || QStringList{"set", "unset", "also"}.contains(word);
            if (word == "before" || word == "click")
                names << demoOfButton(line.section(u' ', 1, 1))->name;
        }
        const demos::NamedDemo *variant = demos::findDemo(QFileInfo(file).baseName());
        if (setUp)
            names.last() = variant ? variant->name : QString();
        if (!names.last().isEmpty())
            QTest::newRow(qPrintable(file)) << names << data.filePath(file);
    }
}

void TestSend::demonstrationsSendTheWindowsBytes()
{
    QFETCH(QStringList, names);
    QFETCH(QString, path);
    QString error;
    QByteArray expected;
    for (const QString &before : names.mid(0, names.size() - 1))
        expected += streamBytes(streamnotation::lines(QFileInfo(path).dir().filePath(before + ".txt")),
                                streamfile::picturePayload, &error);
    expected += streamBytes(streamnotation::lines(path), streamfile::picturePayload, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    Printer printer;
    QStringList arguments{"--tcp", printer.address()};
    for (const QString &name : names)
        arguments << "--demo" << name;
    QProcess process;
    startSend(process, arguments);
    const Run run = finish(process);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QTRY_COMPARE_WITH_TIMEOUT(printer.received.size(), expected.size(), 10000);
    QCOMPARE(printer.received.toHex(' '), expected.toHex(' '));
    // The requests' answers, as the console shows them.
    const QByteArray answers[] = {"<12>\n", "VX test 1.0\n"};
    QCOMPARE(run.out, names.last() == "status" ? answers[0] : names.last() == "version" ? answers[1] : "");
}

void TestSend::actionsSendTheWindowsBytes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("row");
    for (const QString &row : streamnotation::lines(QStringLiteral(KIVO_TEST_DATA "/send-actions.txt")))
        for (const QString kind : {"--port", "--device"})
            // A device file has no line rate: pictures go in bands of its own.
            if (kind == "--port" || !row.contains("--picture"))
                QTest::newRow(qPrintable(kind + u' ' + row.section(" => ", 0, 0).simplified())) << kind << row;
}

void TestSend::actionsSendTheWindowsBytes()
{
    // A picture's <name> is its raster rows, a file's the file itself.
    QFETCH(QString, kind);
    QFETCH(QString, row);
    QStringList arguments = QProcess::splitCommand(row.section(" => ", 0, 0));
    const bool picture = arguments.contains("--picture");
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (arguments[i - 1] == "--picture" || arguments[i - 1] == "--file")
            arguments[i] = QStringLiteral(KIVO_PICTURES_DIR "/") + arguments[i];
    QString error;
    const QByteArray expected =
        streamnotation::writes(
            row.section(" => ", 1),
            picture ? streamfile::picturePayload : streamnotation::filesIn(QStringLiteral(KIVO_PICTURES_DIR)), &error)
            .join();
    QVERIFY2(error.isEmpty(), qPrintable(error));

    // The serial kind and the device-file kind on a pseudo-terminal.
    PseudoTerminal pty;
    QProcess process;
    startSend(process, QStringList{kind, pty.slavePath()} + arguments);
    const QByteArray received = readUntilDone(pty, process);
    const Run run = finish(process);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(received.toHex(' '), expected.toHex(' '));
}

void TestSend::typedLinesGoOrAreRefused()
{
    // The Command tab's lines (UTF-8 text, as its test reads them): those
    // it sends go in one run, each it refuses stops a run before any byte.
    static const QRegularExpression parts(QStringLiteral("^(hex|text) \"(.*)\" => (refused at (\\d+)|.*)$"));
    QStringList arguments{"--encoding", "utf8"};
    QByteArray expected;
    QString error;
    for (const QString &row : streamnotation::lines(QStringLiteral(KIVO_TEST_DATA "/typed-lines.txt"))) {
        const QRegularExpressionMatch m = parts.match(row);
        const QStringList action{"--" + m.captured(1), m.captured(2)};
        if (m.captured(4).isEmpty()) {
            arguments << action;
            expected += streamnotation::writes(m.captured(3), {}, &error).join();
            continue;
        }
        QProcess refused;
        startSend(refused, QStringList{"--tcp", "127.0.0.1:1", "--encoding", "utf8"} + action);
        const Run run = finish(refused);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("column %1:").arg(m.captured(4).toInt() + 1).toUtf8()),
                 run.err.constData());
    }
    Printer printer;
    QProcess process;
    startSend(process, QStringList{"--tcp", printer.address()} + arguments);
    QCOMPARE(finish(process).exitCode, 0);
    QTRY_COMPARE_WITH_TIMEOUT(printer.received.toHex(' '), expected.toHex(' '), 10000);
}

QString TestSend::picture(int width, int height)
{
    QString path = dir.filePath(QStringLiteral("%1x%2.png").arg(width).arg(height));
    if (!QFile::exists(path)) {
        QImage image(width, height, QImage::Format_Mono);
        for (int y = 0; y < image.height(); ++y)
            std::fill_n(image.scanLine(y), image.bytesPerLine(), uchar(y));
        image.save(path);
    }
    return path;
}

// 384 x 40 000 dots: far more than the system's buffers hold.
QString TestSend::bigPicture() { return picture(384, 40000); }

void TestSend::failuresEndWithTheirStatus_data()
{
    QTest::addColumn<QString>("printer"); // "listening", "closed": a port nothing listens on
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("nothing listening") << "closed" << QStringList{"--demo", "receipt"} << 3 << "unreachable";
    QTest::newRow("no such port") << "" << QStringList{"--port", "/nonexistent/tty", "--status"} << 3 << "unreachable";
    QTest::newRow("no such device") << "" << QStringList{"--device", "/nonexistent/lp0", "--status"} << 3
                                    << "unreachable";
    QTest::newRow("printer closes mid-job") << "listening" << QStringList{"--picture", bigPicture()} << 4 << "lost";
    QTest::newRow("two printers") << "" << QStringList{"--port", "a", "--tcp", "b", "--status"} << 2 << "bad arguments";
    QTest::newRow("fit before a picture")
        << "" << QStringList{"--tcp", "b", "--fit", "--status"} << 2 << "bad arguments";
    QTest::newRow("unknown demonstration") << "" << QStringList{"--tcp", "b", "--demo", "nosuch"} << 1 << "failed";
    QTest::newRow("picture too wide") << "" << QStringList{"--tcp", "b", "--picture", picture(577, 2)} << 1 << "failed";
    QTest::newRow("picture unreadable") << "" << QStringList{"--tcp", "b", "--picture", dir.filePath("none.png")} << 1
                                        << "failed";
}

void TestSend::failuresEndWithTheirStatus()
{
    QFETCH(QString, printer);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, outcome);
    Printer listener;
    // A printer that takes part of the job, then goes away.
    listener.holdAt = holdBytes;
    QObject::connect(&listener.server, &QTcpServer::newConnection, [&listener] {
        QObject::connect(listener.peer, &QTcpSocket::readyRead, [&listener] {
            if (listener.received.size() >= listener.holdAt)
                listener.peer->abort();
        });
    });
    const QString address = listener.address();
    if (printer == "closed")
        listener.server.close();
    QProcess process;
    startSend(process,
              (printer.isEmpty() ? QStringList() : QStringList{"--tcp", address}) + arguments + QStringList{"--json"});
    const Run run = finish(process);
    QCOMPARE(run.exitCode, status);
    const QJsonObject result = json(run.out);
    QCOMPARE(result["exitStatus"].toInt(), status);
    QCOMPARE(result["outcome"].toString(), outcome);
    QVERIFY(!result["error"].toString().isEmpty());
    if (outcome == "lost")
        QCOMPARE(result["actions"][0]["outcome"].toString(), QStringLiteral("lost"));
}

void TestSend::interruptionStopsBetweenTwoCommands()
{
    // Ctrl+C while the printer holds the job: once kivo-send says it is
    // stopping, the printer reads on, and what it got ends between two
    // commands.
    Printer printer;
    printer.holdAt = holdBytes;
    QProcess process;
    startSend(process, {"--tcp", printer.address(), "--picture", bigPicture(), "--json"});
    QTRY_VERIFY_WITH_TIMEOUT(printer.received.size() >= printer.holdAt, 30000);
    // A process that has already ended has no id: kill(0, ...) would
    // interrupt this test's whole process group.
    const qint64 pid = process.processId();
    QVERIFY2(pid > 0, "kivo-send ended before it was interrupted");
    ::kill(pid_t(pid), SIGINT);
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += process.readAllStandardError()).contains("stopping"), 30000);
    printer.resume();
    const Run run = finish(process);
    QCOMPARE(run.exitCode, 130);
    const QJsonObject result = json(run.out);
    QCOMPARE(result["outcome"].toString(), QStringLiteral("interrupted"));
    QCOMPARE(result["actions"][0]["outcome"].toString(), QStringLiteral("stopped"));
    QTRY_COMPARE(qint64(printer.received.size()), qint64(result["actions"][0]["sent"].toInteger()));
    QVERIFY(printer.received.size() < result["actions"][0]["bytes"].toInteger());
    serial::ControllerModel controller([] { return qint64(0); });
    controller.written(printer.received.constData(), printer.received.size());
    QCOMPARE(controller.bytesOwed(), qint64(0));
}

QTEST_MAIN(TestSend)
#include "tst_send.moc"
