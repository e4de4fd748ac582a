// The program over every kind of link: a serial port (a pseudo-terminal), a
// network printer (TCP on 127.0.0.1) and a printer device file (a
// pseudo-terminal opened as a plain file, a FIFO). Every demonstration goes
// out byte for byte as its data file says on each kind; the virtual printer
// answers requests over TCP, takes a long picture that stops cleanly, and
// dies mid-job; a network printer that does not answer leaves the window
// free; a device that takes bytes slowly gets them all, and one that goes
// away is reported once.

#include "support/pseudoterminal.h"
#include "support/recordedwindow.h"

#include "serial/transfer.h"
#include "service.h"

#include <QAction>
#include <QDir>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <optional>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Kind { Serial, Network, Device };

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A port on 127.0.0.1 whose queue of connections is full, so that the
// system answers no new one: it waits as for a printer that is off.
class SilentPort
{
public:
    SilentPort()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        auto *any = reinterpret_cast<sockaddr *>(&address);
        if (::bind(listener, any, size) == 0 && ::listen(listener, 0) == 0 && ::getsockname(listener, any, &size) == 0
            && ::connect(filler, any, size) == 0)
            port = ntohs(address.sin_port);
    }
    ~SilentPort()
    {
        ::close(filler);
        ::close(listener);
    }
    SilentPort(const SilentPort &) = delete;
    SilentPort &operator=(const SilentPort &) = delete;

    quint16 port = 0;

private:
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    int filler = ::socket(AF_INET, SOCK_STREAM, 0); // never accepted
};

// The controller's end of a link, keeping what arrives.
class FarEnd
{
public:
    explicit FarEnd(Kind linkKind)
        : kind(linkKind)
    { }

    bool connect(MainWindow &window)
    {
        if (kind == Kind::Serial)
            return driver::connectTo(window, pty.slavePath());
        if (kind == Kind::Device)
            return driver::connectToDevice(window, pty.slavePath());
        server.listen(QHostAddress::LocalHost, 0);
        // Connect returns before the printer answers; the window's event
        // loop may have let the server take the connection meanwhile.
        if (!driver::connectToNetwork(window, QStringLiteral("127.0.0.1"), server.serverPort())
            || !(server.hasPendingConnections() || server.waitForNewConnection(10000)))
            return false;
        peer = server.nextPendingConnection();
        return true;
    }
    // Adds what arrived since the last call to `into`.
    void collect(QByteArray &into)
    {
        if (peer)
            into += peer->readAll();
        char piece[65536];
        for (qint64 got = 0; kind != Kind::Network && (got = ::read(pty.masterFd(), piece, sizeof piece)) > 0;)
            into.append(piece, qsizetype(got));
    }

private:
    Kind kind;
    PseudoTerminal pty;
    QTcpServer server;
    QTcpSocket *peer = nullptr;
};

// The bytes the window has written since Connect, by its Traffic record.
qint64 writtenSoFar(MainWindow &window)
{
    const traffic::Record &record = KivoTestAccess::trafficRecord(window);
    for (quint64 index = record.endIndex(); index-- > record.endIndex() - record.size();)
        if (record.at(index).direction == traffic::Direction::Out)
            return qint64(record.at(index).streamOffset) + record.at(index).size;
    return 0;
}

QByteArray expectedWrites(const QStringList &lines, QString *error)
{
    QByteArray bytes;
    for (const QString &line : lines)
        if (!line.startsWith(u'>')
            && !QStringList{"click", "set", "unset", "also", "before"}.contains(line.section(u' ', 0, 0)))
            bytes += streamnotation::writes(line, streamfile::picturePayload, error).join();
    return bytes;
}

// A virtual printer in-process with a network port on 127.0.0.1.
struct NetworkPrinter
{
    explicit NetworkPrinter(const QString &root)
        : service(settingsFor(root))
    {
        QObject::connect(&service, &kvp::Service::logLine, &service, [this](const QString &line) { log << line; });
    }
    ~NetworkPrinter() { service.stop(); } // its last log lines come here
    static kvp::ServiceSettings settingsFor(const QString &root)
    {
        kvp::ServiceSettings s;
        s.linkPath = root + QStringLiteral("/printer");
        s.outputDir = root + QStringLiteral("/pages");
        s.tcpPort = freePort();
        s.printer.printBytesPerSecond = 50000;
        s.printer.silenceMs = int64_t(3600) * 1000;
        return s;
    }
    bool connect(MainWindow &window)
    {
        QString error;
        return service.start(&error) && driver::connectToNetwork(window, "127.0.0.1", service.settings().tcpPort);
    }
    kvp::Service service;
    QStringList log;
};

// A picture as tall as a long receipt roll, saved for Load Image.
QString tallPicture(const QString &root)
{
    QImage picture(384, 40000, QImage::Format_Mono);
    picture.fill(0);
    for (int y = 0; y < picture.height(); y += 2)
        std::fill_n(picture.scanLine(y), 8, uchar(0xF0));
    const QString path = root + QStringLiteral("/tall.png");
    return picture.save(path) ? path : QString();
}

} // namespace

class TestLinks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path())); }
    void demonstrationsGoOutAlikeOnEveryKind_data();
    void demonstrationsGoOutAlikeOnEveryKind();
    void refusalsSayWhatToDo_data();
    void refusalsSayWhatToDo();
    void requestsAreAnsweredOverTheNetwork();
    void longPictureStopsCleanlyOverTheNetwork();
    void printerKilledMidJobShowsOneBox();
    void silentPrinterLeavesTheWindowFree();
    void deviceTakesBytesAsItCanAndGoesAway();
    void hostAndPortAreRead_data();
    void hostAndPortAreRead();

private:
    QTemporaryDir dir;
};

void TestLinks::demonstrationsGoOutAlikeOnEveryKind_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Kind>("kind");
    const QDir demos(QStringLiteral(KIVO_TEST_DATA "/demos"));
    for (const QString &file : demos.entryList({QStringLiteral("*.txt")}))
        for (auto [kind, name] :
             {std::pair{Kind::Serial, "serial"}, {Kind::Network, "network"}, {Kind::Device, "device"}})
            QTest::addRow("%s %s", qPrintable(file), name) << demos.filePath(file) << kind;
}

void TestLinks::demonstrationsGoOutAlikeOnEveryKind()
{
    QFETCH(QString, path);
    QFETCH(Kind, kind);
    const QStringList lines = streamnotation::lines(path);
    QString error;
    const QByteArray expected = expectedWrites(lines, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    timing::ManualClock stoppedClock; // the far end never answers
    MainWindow window;
    KivoTestAccess::setAnswerClock(window, stoppedClock);
    FarEnd end(kind);
    QVERIFY(end.connect(window));
    // The settings a data file asks for may send bytes of their own first.
    QAbstractButton *button = prepareClick(window, lines);
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((end.collect(received), received.size() == writtenSoFar(window)), 20000);
    received.clear();
    button->click();
    QTRY_VERIFY_WITH_TIMEOUT((end.collect(received), received.size() >= expected.size()), 20000);
    QCOMPARE(received.toHex(' '), expected.toHex(' '));
}

void TestLinks::refusalsSayWhatToDo_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("refusal");
    mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600);
    QFile(dir.filePath("plain")).open(QIODevice::WriteOnly);
    const quint16 closed = freePort();
    QTest::newRow("nothing on the port")
        << Kind::Network << QString::number(closed)
        << QStringLiteral("127.0.0.1:%1: Connection refused\nNothing takes print jobs").arg(closed);
    QTest::newRow("no such device") << Kind::Device << dir.filePath("lp9")
                                    << dir.filePath("lp9") + ": No such file or directory\nCheck that the printer";
    QTest::newRow("FIFO without reader") << Kind::Device << dir.filePath("fifo")
                                         << dir.filePath("fifo") + ": No such device or address\nNothing reads";
    QTest::newRow("a plain file") << Kind::Device << dir.filePath("plain")
                                  << dir.filePath("plain") + ": not a device\nThis path is not a printer device";
    QTest::newRow("no device named") << Kind::Device << QString() << QStringLiteral("No device is chosen.");
}

void TestLinks::refusalsSayWhatToDo()
{
    QFETCH(Kind, kind);
    QFETCH(QString, name);
    QFETCH(QString, refusal);
    MainWindow window;
    ModalBoxCloser boxes;
    QVERIFY(kind == Kind::Network ? !driver::connectToNetwork(window, "127.0.0.1", name.toUShort())
                                  : !driver::connectToDevice(window, name));
    QCOMPARE(boxes.titles(), QStringList{"Error"});
    QVERIFY2(boxes.boxes[0].text.startsWith(refusal), qPrintable(boxes.boxes[0].text));
    QCOMPARE(driver::statusText(window), QStringLiteral("Open error"));
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));
}

void TestLinks::requestsAreAnsweredOverTheNetwork()
{
    NetworkPrinter printer(dir.filePath("answers"));
    MainWindow window;
    QVERIFY(printer.connect(window));
    QCOMPARE(driver::statusText(window),
             QStringLiteral("Connected to 127.0.0.1:%1 (network)").arg(printer.service.settings().tcpPort));
    widget<QAbstractButton>(window, "pushButtonVersion")->click();
    QTRY_VERIFY_WITH_TIMEOUT(driver::console(window).endsWith(u'\n'), 20000);
    QVERIFY2(driver::console(window).startsWith("VX02x virtual controller, firmware"),
             qPrintable(driver::console(window)));
    widget<QAbstractButton>(window, "pushButtonStatus")->click();
    QTRY_COMPARE_WITH_TIMEOUT(driver::console(window), QStringLiteral("<10>"), 20000);
}

void TestLinks::longPictureStopsCleanlyOverTheNetwork()
{
    NetworkPrinter printer(dir.filePath("stop"));
    MainWindow window;
    ModalBoxCloser boxes;
    timing::ManualClock clock;
    KivoTestAccess::setClock(window, clock);
    QVERIFY(KivoTestAccess::loadFile(window, tallPicture(dir.path())));
    QVERIFY(printer.connect(window));
    serial::Transfer *transfer = KivoTestAccess::transfer(window);
    widget<QAbstractButton>(window, "pushButton_58PrintH")->click();

    // The device sets the pace: progress shows once the job has run half a second.
    auto *stop = widget<QAbstractButton>(window, "transferStop");
    QTRY_VERIFY_WITH_TIMEOUT((clock.advance(10), stop->isVisibleTo(&window) || !transfer->isRunning()), 20000);
    QVERIFY(transfer->isRunning());
    const QString progress = widget<QProgressBar>(window, "transferProgress")->format();
    QVERIFY2(QRegularExpression("^\\d+ of 18\\d\\d kB, .*left$").match(progress).hasMatch(), qPrintable(progress));
    stop->click();
    QTRY_VERIFY_WITH_TIMEOUT((clock.advance(1), !transfer->isRunning()), 60000);
    QVERIFY2(driver::console(window).endsWith("; the controller is ready"), qPrintable(driver::console(window)));
    QVERIFY(transfer->sent() < transfer->total());

    // The receipt starts where the picture stopped, as a command of its own.
    QString error;
    const QByteArray receipt = expectedWrites(streamnotation::lines(KIVO_TEST_DATA "/demos/receipt.txt"), &error);
    const qint64 receiptAt = writtenSoFar(window);
    widget<QAbstractButton>(window, "pushButtonReceipt")->click();
    QTRY_COMPARE_WITH_TIMEOUT(printer.service.printer().decodedBytes(), quint64(receiptAt + receipt.size()), 60000);
    const QString start = QStringLiteral("^%1  ").arg(receiptAt, 8, 10, QLatin1Char('0'));
    QTRY_VERIFY(!printer.log.filter(QRegularExpression(start + receipt.left(3).toHex(' ').toUpper() + ' ')).isEmpty());
    QVERIFY(boxes.boxes.isEmpty());
    QVERIFY(!(printer.service.printer().core().statusByte() & uint8_t(kvp::Status::DecodeError)));
}

void TestLinks::printerKilledMidJobShowsOneBox()
{
    const quint16 port = freePort();
    QProcess printer;
    printer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    printer.start(KIVO_VP_BINARY,
                  {"--headless", "--tcp", QString::number(port), "--link", dir.filePath("killed"), "--output",
                   dir.filePath("killed-pages")});
    QByteArray started;
    QTRY_VERIFY_WITH_TIMEOUT((started += printer.readAllStandardOutput()).contains("\nready\n"), 20000);
    MainWindow window;
    ModalBoxCloser boxes;
    QVERIFY(KivoTestAccess::loadFile(window, tallPicture(dir.path())));
    QVERIFY(driver::connectToNetwork(window, "127.0.0.1", port));
    widget<QAbstractButton>(window, "pushButton_58PrintH")->click();
    QTRY_VERIFY_WITH_TIMEOUT(KivoTestAccess::transfer(window)->sent() > 0, 20000);
    printer.kill();
    printer.waitForFinished();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.titles(), QStringList{"Critical Error"}, 20000);
    QVERIFY2(boxes.boxes[0].text.startsWith(QStringLiteral("127.0.0.1:%1: ").arg(port)),
             qPrintable(boxes.boxes[0].text));
    QTRY_COMPARE(driver::statusText(window), QStringLiteral("Disconnected"));
    QVERIFY(driver::console(window).contains(" not finished: "));
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));
    QCOMPARE(boxes.boxes.size(), 1);
}

void TestLinks::silentPrinterLeavesTheWindowFree()
{
    SilentPort printer;
    QVERIFY(printer.port != 0);
    timing::ManualClock clock;
    MainWindow window;
    ModalBoxCloser boxes;
    KivoTestAccess::setClock(window, clock);
    const QString connecting = QStringLiteral("Connecting to 127.0.0.1:%1 (network)…").arg(printer.port);

    driver::startConnectingToNetwork(window, "127.0.0.1", printer.port);
    QCOMPARE(driver::statusText(window), connecting);
    QCOMPARE(driver::actionStates(window), QStringLiteral("cDF"));
    QTimer tick; // events go on being handled
    QSignalSpy ticked(&tick, &QTimer::timeout);
    tick.start(0);
    QVERIFY(ticked.wait());
    QCOMPARE(driver::statusText(window), connecting);
    // Disconnect gives up: the time-out then has nothing to refuse.
    widget<QAction>(window, "actionDisconnect")->trigger();
    QCOMPARE(driver::statusText(window), QStringLiteral("Disconnected"));
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));
    clock.advance(serial::networkConnectTimeoutMs);
    QVERIFY(boxes.boxes.isEmpty());

    // The time-out runs on the window's clock.
    driver::startConnectingToNetwork(window, "127.0.0.1", printer.port);
    clock.advance(serial::networkConnectTimeoutMs - 1);
    QCOMPARE(driver::statusText(window), connecting);
    clock.advance(1);
    QCOMPARE(boxes.titles(), QStringList{"Error"});
    const QString refusal = QStringLiteral("127.0.0.1:%1: no answer within 5 s\nCheck that the printer is on");
    QVERIFY2(boxes.boxes[0].text.startsWith(refusal.arg(printer.port)), qPrintable(boxes.boxes[0].text));
    QCOMPARE(driver::statusText(window), QStringLiteral("Open error"));
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));
}

void TestLinks::deviceTakesBytesAsItCanAndGoesAway()
{
    auto pty = std::make_unique<PseudoTerminal>();
    QByteArray job(qsizetype(256) * 1024, '\0');
    for (qsizetype i = 0; i < job.size(); ++i)
        job[i] = char(i * 7 % 251);
    QFile file(dir.filePath("job.prn"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(job) == job.size());
    file.close();

    MainWindow window;
    ModalBoxCloser boxes;
    QVERIFY(driver::connectToDevice(window, pty->slavePath()));
    QCOMPARE(driver::statusText(window), "Connected to " + pty->slavePath() + " (device file)");
    KivoTestAccess::sendFile(window, file.fileName());
    // The terminal holds far less than the job: the rest waits for it.
    QVERIFY(KivoTestAccess::transfer(window)->isRunning());
    QCOMPARE(pty->read(job.size(), 20000), job);
    QTRY_VERIFY(driver::console(window).contains("job.prn sent: 262144 bytes"));

    pty.reset(); // unplugged
    QTRY_COMPARE_WITH_TIMEOUT(boxes.titles(), QStringList{"Critical Error"}, 20000);
    QTRY_COMPARE(driver::statusText(window), QStringLiteral("Disconnected"));
    QCOMPARE(boxes.boxes.size(), 1);
}

void TestLinks::hostAndPortAreRead_data()
{
    // An empty host means the text is refused.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("raw port by default") << "printer.local"
                                         << "printer.local" << 9100;
    QTest::newRow("port given") << " 10.0.0.5:9101 "
                                << "10.0.0.5" << 9101;
    QTest::newRow("IPv6 with port") << "[::1]:515"
                                    << "::1" << 515;
    QTest::newRow("IPv6 alone") << "::1"
                                << "::1" << 9100;
    QTest::newRow("bracket left open") << "[::1:9100"
                                       << "" << 0;
    QTest::newRow("no host") << ":9100"
                             << "" << 0;
    QTest::newRow("port 0") << "printer:0"
                            << "" << 0;
    QTest::newRow("port too big") << "printer:65536"
                                  << "" << 0;
}

void TestLinks::hostAndPortAreRead()
{
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    QString readHost;
    QString error;
    quint16 readPort = 0;
    QCOMPARE(serial::parseHostPort(text, &readHost, &readPort, &error), !host.isEmpty());
    QCOMPARE(error.isEmpty(), !host.isEmpty());
    if (!host.isEmpty()) {
        QCOMPARE(readHost, host);
        QCOMPARE(int(readPort), port);
    }
}

QTEST_MAIN(TestLinks)
#include "tst_links.moc"
