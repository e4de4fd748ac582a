// The controller's own state: the flash file, the replies, the UART command
// and the receive buffer with its flow control, driven by a test clock.

#include "virtualprinter.h"
#include "vpstream.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using vptest::Rig;
using vptest::Stream;

namespace {
kvp::VirtualPrinter::Settings smallPrinter(kvp::FlowMode flow)
{
    kvp::VirtualPrinter::Settings s;
    s.bufferSize = 64;            // XOFF at 48, XON at 16
    s.printBytesPerSecond = 1000; // one byte per millisecond
    s.silenceMs = 1000;
    s.flow = flow;
    return s;
}

size_t send(kvp::VirtualPrinter &p, const QByteArray &bytes, int64_t now)
{
    return p.receive(reinterpret_cast<const uint8_t *>(bytes.constData()), static_cast<size_t>(bytes.size()), now);
}
} // namespace

class TestController : public QObject
{
    Q_OBJECT
private slots:
    void flashKeepsTheHeadType_data();
    void flashKeepsTheHeadType();
    void flashIgnoresBadInput();
    void statusByteBits();
    void firmwareText();
    void uartCommandChangesFlowControl();
    void xonXoffAtTheWaterMarks();
    void withoutFlowControlTheOverflowIsLostAndCounted();
    void hardwareFlowHoldsWithoutSendingBytes();
    void silenceEndsThePage();
};

void TestController::flashKeepsTheHeadType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("dots");
    const int dots[] = {384, 576, 384, 384, 384, 576, 384, 384, 576, 384, 384};
    for (int t = 0; t <= 10; ++t)
        QTest::newRow(qPrintable(QStringLiteral("type %1").arg(t))) << t << dots[t];
}

void TestController::flashKeepsTheHeadType()
{
    QFETCH(int, type);
    QFETCH(int, dots);
    QTemporaryDir dir;
    const QString flash = dir.filePath(QStringLiteral("sub/flash.txt"));
    {
        Rig rig(flash);
        rig.run(Stream().line("before").head(type).line("after").bytes);
        QCOMPARE(rig.core.headType(), type);
        QCOMPARE(rig.pages.back().image.width(), dots);
        QCOMPARE(rig.pages.front().image.width(), 384); // printed before the change
    }
    // A new controller on the same flash file starts with that head.
    Rig restarted(flash);
    QCOMPARE(restarted.core.headType(), type);
    QCOMPARE(restarted.core.paper().width(), dots);
    restarted.run(Stream().line("x").bytes);
    QCOMPARE(restarted.pages.at(0).image.width(), dots);
    QCOMPARE(bool(restarted.core.statusByte() & kvp::Status::WideHead), dots == 576);
}

void TestController::flashIgnoresBadInput()
{
    QTemporaryDir dir;
    const QString flash = dir.filePath(QStringLiteral("flash.txt"));
    Rig rig(flash);
    rig.run(Stream().head(5).head(11).bytes); // 11 is no head type
    QCOMPARE(rig.core.headType(), 5);
    QVERIFY(rig.log.lines().join('\n').contains(QStringLiteral("head type 11 unknown; flash unchanged")));
    QFile f(flash);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("garbage\nhead-type=99\n");
    f.close();
    QCOMPARE(Rig(flash).core.headType(), 0);
    QCOMPARE(Rig(dir.filePath(QStringLiteral("missing"))).core.headType(), 0);
}

void TestController::statusByteBits()
{
    Rig rig;
    rig.core.feed(Stream().status().bytes);
    QCOMPARE(rig.replies, QByteArray(1, '\x10'));
    rig.replies.clear();
    rig.core.feed(Stream().text("pending").dbOn().raw({0x05}).status().bytes);
    const auto s = static_cast<uint8_t>(rig.replies.at(0));
    QCOMPARE(s, kvp::Status::Fixed | kvp::Status::LinePending | kvp::Status::DoubleByteMode | kvp::Status::DecodeError);
    // Reading the status clears the error bit; the byte never looks like XON or XOFF.
    rig.replies.clear();
    rig.core.feed(Stream().dbOff().lf().status().bytes);
    QCOMPARE(rig.replies, QByteArray(1, '\x10'));
    QVERIFY(!(s & 0x01));
}

void TestController::firmwareText()
{
    Rig rig;
    rig.core.feed(Stream().version().head(8).version().bytes);
    const QList<QByteArray> answers = rig.replies.split('\n');
    QCOMPARE(answers.size(), 3);
    QVERIFY(answers[0].startsWith("VX02x virtual controller, firmware 1.22 (2020-06-15)"));
    QVERIFY(answers[0].contains("head type 0: 58mm FTP628MCL101, 384 dots; UART 115200 bit/s, XON/XOFF\r"));
    QVERIFY(answers[1].startsWith("VX025 virtual controller"));
    QVERIFY(answers[1].contains("head type 8: 80mm Seiko LTPV345, 576 dots"));
    QVERIFY(!rig.replies.contains('\x11') && !rig.replies.contains('\x13'));
}

void TestController::uartCommandChangesFlowControl()
{
    kvp::MemoryLog log;
    kvp::VirtualPrinter printer(smallPrinter(kvp::FlowMode::XonXoff), &log);
    send(printer, Stream().uart(6, 0).bytes, 0);
    printer.service(100);
    QCOMPARE(printer.buffer().flowMode(), kvp::FlowMode::None);
    QCOMPARE(printer.core().baud(), 375000);
    QVERIFY(log.lines().join('\n').contains(
        QStringLiteral("UART now 375000 bit/s with no flow control: the host must disconnect and reconnect")));
    send(printer, Stream().uart(2, 2).uart(3, 7).bytes, 200);
    printer.service(300);
    QCOMPARE(printer.buffer().flowMode(), kvp::FlowMode::Hardware);
    QCOMPARE(printer.core().baud(), 38400); // flow 7 is refused
}

void TestController::xonXoffAtTheWaterMarks()
{
    kvp::MemoryLog log;
    kvp::VirtualPrinter printer(smallPrinter(kvp::FlowMode::XonXoff), &log);
    QByteArray sent;
    printer.transmit = [&](const QByteArray &b) { sent += b; };
    kvp::HostLine honouring;
    honouring.honoursXonXoff = true;
    kvp::HostLine ignoring;

    QCOMPARE(send(printer, QByteArray(47, 'a'), 0), 47u);
    QVERIFY(sent.isEmpty());
    QCOMPARE(send(printer, QByteArray(1, 'a'), 0), 1u); // 48: three quarters full
    QCOMPARE(sent, QByteArray(1, '\x13'));
    QVERIFY(printer.senderHeld(honouring));
    QVERIFY(!printer.senderHeld(ignoring));
    QVERIFY(printer.core().statusByte() & kvp::Status::ReceiveBusy);
    printer.service(31); // 31 bytes printed: 17 left, still above the low mark
    QCOMPARE(sent, QByteArray(1, '\x13'));
    printer.service(32);
    QCOMPARE(printer.buffer().size(), 16u);
    QCOMPARE(sent, QByteArray("\x13\x11"));
    QVERIFY(!printer.senderHeld(honouring));
    QCOMPARE(printer.buffer().lost(), 0u);
}

void TestController::withoutFlowControlTheOverflowIsLostAndCounted()
{
    kvp::MemoryLog log;
    kvp::VirtualPrinter printer(smallPrinter(kvp::FlowMode::None), &log);
    QByteArray sent;
    printer.transmit = [&](const QByteArray &b) { sent += b; };
    QCOMPARE(send(printer, QByteArray(100, 'a'), 0), 64u);
    printer.service(10); // ten bytes printed
    QCOMPARE(send(printer, QByteArray(20, 'b'), 10), 10u);
    printer.finish();
    QVERIFY(sent.isEmpty()); // no XON/XOFF without flow control
    QCOMPARE(printer.buffer().lost(), 46u);
    QCOMPARE(printer.decodedBytes(), 74u);
    const QString all = log.lines().join('\n');
    QVERIFY(
        all.contains(QStringLiteral("receive buffer full (no flow control, 64 bytes): incoming bytes are being lost")));
    QVERIFY(all.contains(QStringLiteral("46 bytes lost while the receive buffer was full (46 lost in all)")));
}

void TestController::hardwareFlowHoldsWithoutSendingBytes()
{
    kvp::MemoryLog log;
    kvp::VirtualPrinter printer(smallPrinter(kvp::FlowMode::Hardware), &log);
    QByteArray sent;
    printer.transmit = [&](const QByteArray &b) { sent += b; };
    kvp::HostLine rtscts;
    rtscts.honoursHardware = true;
    send(printer, QByteArray(50, 'a'), 0);
    QVERIFY(printer.senderHeld(rtscts));
    QVERIFY(!printer.senderHeld(kvp::HostLine()));
    printer.service(40);
    QVERIFY(!printer.senderHeld(rtscts));
    QVERIFY(sent.isEmpty());
    QVERIFY(log.lines().join('\n').contains(QStringLiteral("ready line dropped")));
}

void TestController::silenceEndsThePage()
{
    kvp::VirtualPrinter printer(smallPrinter(kvp::FlowMode::XonXoff), nullptr);
    std::vector<kvp::Page> pages;
    printer.core().paper().onPage = [&](const kvp::Page &p) { pages.push_back(p); };
    send(printer, Stream().line("one").bytes, 0);
    printer.service(10);
    QCOMPARE(printer.silenceDeadline(), 1010);
    printer.service(1009);
    QVERIFY(pages.empty());
    printer.service(1010);
    QCOMPARE(pages.size(), 1u);
    QCOMPARE(pages[0].reason, QStringLiteral("silence"));
    QCOMPARE(printer.silenceDeadline(), -1);
}

QTEST_MAIN(TestController)
#include "tst_vp_controller.moc"
