// The controller on its line: the answers (data/replies.txt), the real-time
// requests answered while the engine is held (data/realtime.txt), the flash,
// the receive buffer's flow control and the silence that ends a page, driven
// by a test clock. (The program on its pseudo-terminal: tst_vp_host.)

#include "virtualprinter.h"
#include "vpstream.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using vptest::Rig;
using vptest::Stream;

namespace {
size_t send(kvp::VirtualPrinter &p, const QByteArray &bytes, int64_t now)
{
    return p.receive(reinterpret_cast<const uint8_t *>(bytes.constData()), static_cast<size_t>(bytes.size()), now);
}
} // namespace

class TestLine : public QObject
{
    Q_OBJECT
private slots:
    void replies_data() { vptest::addRows(QStringLiteral("replies.txt")); }
    void replies();
    void realTimeWhileBusy_data() { vptest::addRows(QStringLiteral("realtime.txt")); }
    void realTimeWhileBusy();
    void flashKeepsTheHeadType();
    void flowControl_data();
    void flowControl();
    void silenceEndsThePage();
};

void TestLine::replies()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    Rig rig;
    rig.core.feed(bytes);
    QCOMPARE(rig.replies, vptest::bytesOf(expected));
}

void TestLine::realTimeWhileBusy()
{
    // The engine is held, as while pages wait to be written, from the first
    // byte on: what is answered was answered ahead of everything queued.
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    kvp::VirtualPrinter::Settings settings;
    settings.bufferSize = 1 << 20;
    settings.printBytesPerSecond = 1e9;
    kvp::MemoryLog log;
    kvp::VirtualPrinter printer(settings, &log);
    bool held = true;
    printer.outputBusy = [&] { return held; };
    QByteArray sent;
    printer.transmit = [&](const QByteArray &b) { sent += b; };
    QCOMPARE(send(printer, bytes, 0), static_cast<size_t>(bytes.size()));
    printer.service(1000); // the line paused: a query at the end has no argument
    QCOMPARE(sent, vptest::bytesOf(expected));
    QCOMPARE(printer.decodedBytes(), 0u);

    // Released, the engine prints it all and answers nothing twice; the log
    // keeps the stream order and marks each answer given ahead of the queue.
    held = false;
    for (int64_t t = 2000; !printer.bufferEmpty() && t < 1000000; t += 1000)
        printer.service(t);
    QCOMPARE(printer.decodedBytes(), static_cast<uint64_t>(bytes.size()));
    QCOMPARE(sent, vptest::bytesOf(expected));
    int64_t offset = 0;
    int answers = 0;
    bool marked = true;
    for (const kvp::LogEntry &e : log.entries()) {
        QVERIFY(e.offset == kvp::LogEntry::noOffset || e.offset >= offset);
        offset = std::max(offset, e.offset);
        if (e.name == QStringLiteral("note") && e.args.endsWith(QStringLiteral(" sent"))) {
            QVERIFY(marked);
            ++answers;
            marked = false;
        }
        marked = marked || e.args.startsWith(QStringLiteral("answered on arrival, ahead of "));
    }
    QVERIFY(marked);
    QCOMPARE(answers > 0, !sent.isEmpty());
}

void TestLine::flashKeepsTheHeadType()
{
    // 1B 5A n writes the flash at once and sets the paper: 576 dots for the
    // 80 mm types 1, 5 and 8, 384 for the others. The next start reads it back.
    QTemporaryDir dir;
    const QString flash = dir.filePath(QStringLiteral("sub/flash.txt"));
    for (int type = 10; type >= 0; --type) {
        const int dots = type == 1 || type == 5 || type == 8 ? 576 : 384;
        Rig rig(flash);
        rig.run(Stream().head(type).line("x").bytes);
        QCOMPARE(rig.pages.at(0).image.width(), dots);
        const Rig restarted(flash);
        QCOMPARE(restarted.core.headType(), type);
        QCOMPARE(restarted.core.paper().width(), dots);
    }
    // An unknown type leaves the flash as it is; a file without a known type means 0.
    Rig(flash).run(Stream().head(5).head(11).bytes);
    QCOMPARE(Rig(flash).core.headType(), 5);
    QFile file(flash);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write("garbage\nhead-type=99\n") > 0);
    file.close();
    QCOMPARE(Rig(flash).core.headType(), 0);
    QCOMPARE(Rig(dir.filePath(QStringLiteral("missing"))).core.headType(), 0);
}

void TestLine::flowControl_data()
{
    QTest::addColumn<int>("flow"); // f of the UART command 1D 28 04 f
    QTest::addColumn<QByteArray>("hold");
    QTest::addColumn<QByteArray>("release");
    QTest::newRow("none") << 0 << QByteArray() << QByteArray();
    QTest::newRow("XON/XOFF") << 1 << QByteArray("\x13") << QByteArray("\x11");
    QTest::newRow("hardware") << 2 << QByteArray() << QByteArray();
}

void TestLine::flowControl()
{
    // A buffer of 64 bytes (holds at 48, releases at 16) emptied at one byte
    // a millisecond, switched by the UART command from its XON/XOFF start-up.
    QFETCH(int, flow);
    QFETCH(QByteArray, hold);
    QFETCH(QByteArray, release);
    kvp::VirtualPrinter::Settings settings;
    settings.bufferSize = 64;
    settings.printBytesPerSecond = 1000;
    kvp::MemoryLog log;
    kvp::VirtualPrinter printer(settings, &log);
    QByteArray sent;
    printer.transmit = [&](const QByteArray &b) { sent += b; };
    send(printer, Stream().uart(4, flow).bytes, 0);
    printer.service(4);
    QCOMPARE(static_cast<int>(printer.buffer().flowMode()), flow);
    QVERIFY(log.lines().join(u'\n').contains(QStringLiteral("the host must disconnect and reconnect")));
    // A host that honours the flow control in force, and one that honours only
    // the other form (or both, when there is none).
    const kvp::HostLine host{kvp::defaultBaud, flow == 1, flow == 2};
    const kvp::HostLine other{kvp::defaultBaud, flow != 1, flow != 2};

    QCOMPARE(send(printer, QByteArray(47, 'a'), 4), 47u);
    QVERIFY(sent.isEmpty() && !printer.senderHeld(host));
    send(printer, "a", 4);
    QCOMPARE(sent, hold);
    QCOMPARE(printer.senderHeld(host), flow != 0);
    QVERIFY(!printer.senderHeld(other));
    QCOMPARE(bool(printer.core().statusByte() & kvp::Status::ReceiveBusy), flow != 0);
    QCOMPARE(log.lines().join(u'\n').contains(QStringLiteral("ready line dropped")), flow == 2);
    printer.service(35); // 17 left
    QCOMPARE(sent, hold);
    printer.service(36); // 16 left
    QCOMPARE(sent, hold + release);
    QVERIFY(!printer.senderHeld(host));

    // What does not fit is lost, counted and logged.
    QCOMPARE(send(printer, QByteArray(100, 'b'), 36), 48u);
    printer.finish();
    QCOMPARE(printer.buffer().lost(), 52u);
    QCOMPARE(printer.decodedBytes(), 4u + 48u + 48u);
    const QString text = log.lines().join(u'\n');
    QVERIFY(text.contains(QStringLiteral("64 bytes): incoming bytes are being lost")));
    QVERIFY(text.contains(QStringLiteral("52 bytes lost while the receive buffer was full (52 lost in all)")));
}

void TestLine::silenceEndsThePage()
{
    // A second without bytes ends the page; the line still waiting for its line feed stays.
    kvp::VirtualPrinter printer(kvp::VirtualPrinter::Settings(), nullptr);
    std::vector<kvp::Page> pages;
    printer.core().paper().onPage = [&](const kvp::Page &p) { pages.push_back(p); };
    send(printer, QByteArray("one\ntwo"), 0);
    printer.service(10);
    QCOMPARE(printer.silenceDeadline(), 1010);
    printer.service(1009);
    QVERIFY(pages.empty());
    printer.service(1010);
    QCOMPARE(pages.size(), 1u);
    QCOMPARE(pages[0].reason, QStringLiteral("silence"));
    QCOMPARE(pages[0].image.height(), 33);
    QCOMPARE(printer.silenceDeadline(), -1);
    printer.finish();
    QCOMPARE(pages.size(), 2u);
}

QTEST_MAIN(TestLine)
#include "tst_vp_line.moc"
