// The decoder reads every command of the controller's set with the right
// name and arguments, reads text in all three forms, and copes with the
// awkward corners of the command set.

#include "vpstream.h"

#include <QtTest>

using vptest::Rig;
using vptest::Stream;

class TestDecoder : public QObject
{
    Q_OBJECT
private slots:
    void eachCommand_data();
    void eachCommand();
    void textForms();
    void uartAndQrShareTheirPrefix();
    void unknownBytesAreSkippedAndLogged();
    void tabListIsCapped();
    void qrLengthBelowThreeIsMalformed();
    void dataBlocksAreStreamedNotBuffered();
    void sleepAndWake();
    void truncatedCommandIsReported();
    void logLineShowsOffsetHexNameAndArguments();
};

void TestDecoder::eachCommand_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("args");

    auto row = [](const char *tag, const Stream &s, const char *name, const char *args) {
        QTest::newRow(tag) << s.bytes << QString::fromLatin1(name) << QString::fromUtf8(args);
    };
    row("initialize", Stream().init(), "initialize", "");
    row("LF", Stream().lf(), "LF", "");
    row("CR", Stream().cr(), "CR", "");
    row("HT", Stream().ht(), "HT", "");
    row("print mode", Stream().mode(0x82), "print-mode", "0x82 italic underlined");
    row("print mode all", Stream().mode(0xFA), "print-mode",
        "0xfa italic bold double-height double-width reverse underlined");
    row("small font", Stream().font(1), "font", "1 small");
    row("standard font", Stream().font(2), "font", "2 standard");
    row("darkness", Stream().darkness(4), "darkness", "4");
    row("double-byte on", Stream().dbOn(), "double-byte-on", "");
    row("double-byte off", Stream().dbOff(), "double-byte-off", "");
    row("justify centre", Stream().justify(1), "justify", "1 centre");
    row("line spacing", Stream().spacing(66), "line-spacing", "66 dots");
    row("default spacing", Stream().spacingDefault(), "line-spacing-default", "");
    row("feed dots", Stream().feedDots(20), "feed-dots", "20 dots");
    row("feed lines", Stream().feedLines(5), "feed-lines", "5 lines");
    row("tab stops", Stream().tabs({8, 24, 38}), "tab-stops", "8 24 38");
    row("no tab stops", Stream().tabs({}), "tab-stops", "(none)");
    row("absolute position 50", Stream().absPos(50), "absolute-position", "50 dots");
    row("absolute position 300", Stream().raw({0x1B, 0x24, 0x2C, 0x01}), "absolute-position", "300 dots");
    row("left margin", Stream().leftMargin(8), "left-margin", "8 dots");
    row("right margin", Stream().rightMargin(38), "right-margin", "38 dots");
    row("status", Stream().status(), "status-query", "");
    row("version", Stream().version(), "version-query", "");
    row("clear buffer", Stream().clear(), "clear-buffer", "");
    row("call-back", Stream().callBack(1), "call-back", "1");
    row("sleep", Stream().sleep(), "sleep", "");
    row("uart 115200 xon", Stream().uart(4, 1), "uart-mode", "115200 bit/s, XON/XOFF");
    row("uart 375000 hw", Stream().uart(6, 2), "uart-mode", "375000 bit/s, hardware flow control");
    row("uart 9600 none", Stream().uart(0, 0), "uart-mode", "9600 bit/s, no flow control");
    row("head type", Stream().head(5), "head-type", "5 (PT72EP 80mm 576 dots with cutter, 576 dots)");
    row("raster", Stream().raster(0, 2, 3, QByteArray(6, '\xFF')), "raster", "mode 0, 2 bytes x 3 rows (16 x 3 dots)");
    row("raster 29x232", Stream().raster(0, 29, 232, QByteArray(6728, 0)), "raster",
        "mode 0, 29 bytes x 232 rows (232 x 232 dots)");
    row("store picture", Stream().store(1, 0, 2, 3, QByteArray(6, 0)), "store-picture",
        "location 1, align 0, 2 bytes x 3 rows");
    row("print picture", Stream().printPicture(1, 0), "print-picture", "location 1, mode 0");
    row("barcode height", Stream().barcodeHeight(64), "barcode-height", "64 dots");
    row("barcode width", Stream().barcodeWidth(3), "barcode-width", "3 dots");
    row("barcode text on", Stream().barcodeText(1), "barcode-text", "1 on");
    row("barcode text off", Stream().barcodeText(0), "barcode-text", "0 off");
    row("UPC-A", Stream().barcode(0, "01234567890"), "barcode", "UPC-A \"01234567890\"");
    row("Code 128", Stream().barcode(8, "12345678"), "barcode", "Code 128 \"12345678\"");
    row("Codabar", Stream().barcode(6, "a123456a"), "barcode", "Codabar \"a123456a\"");
    row("QR module size", Stream().qrModule(6), "qr-module-size", "module size 6");
    row("QR error correction", Stream().qrLevel(0x31), "qr-error-correction", "error correction 49 (M)");
    row("QR store", Stream().qrStore("ABCDE"), "qr-store", "store 5 bytes \"ABCDE\"");
    row("QR print", Stream().qrPrint(), "qr-print", "print");
    row("full cut", Stream().fullCut(), "full-cut", "");
    row("partial cut", Stream().partialCut(), "partial-cut", "");
    row("next label", Stream().nextLabel(), "next-label", "");
}

void TestDecoder::eachCommand()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(QString, args);
    Rig rig;
    rig.run(bytes);
    const auto &entries = rig.log.entries();
    QVERIFY(!entries.empty());
    QCOMPARE(entries.front().name, name);
    QCOMPARE(entries.front().args, args);
    QCOMPARE(entries.front().offset, 0);
    QCOMPARE(rig.core.decoder().offset(), static_cast<uint64_t>(bytes.size()));
    // The whole command was one entry: nothing skipped, nothing truncated.
    QCOMPARE(rig.names(), QStringList{name});
}

void TestDecoder::textForms()
{
    // Latin-1 with the euro sign, UTF-16BE pairs after their high byte, and
    // GB 2312 and JIS X 0208 inside double-byte mode.
    Stream s;
    s.raw({'A', 0x80, 0xA3, 0xDF}).lf();
    s.utf16({0x012B, 0x011B, 0x03A9, 0x0628, 0x1EA1}).lf();
    s.dbOn().raw(QByteArray::fromHex("B7C9C1F7")).raw(QByteArray::fromHex("2422244E")).dbOff().lf();
    Rig rig;
    rig.run(s.bytes);
    QStringList texts;
    for (const kvp::LogEntry &e : rig.log.entries())
        if (e.name == QLatin1String("text"))
            texts << e.args;
    QCOMPARE(texts,
             (QStringList{QStringLiteral("\"A€£ß\""), QStringLiteral("\"īěΩبạ\""), QStringLiteral("\"飞流あの\"")}));
    // 01 1B is U+011B, not an ESC command: the low byte is taken whatever it is.
    QVERIFY(!rig.names().contains(QStringLiteral("unknown")));
}

void TestDecoder::uartAndQrShareTheirPrefix()
{
    Rig rig;
    rig.run(Stream().uart(4, 1).qrPrint().uart(6, 0).bytes);
    QCOMPARE(rig.names(), (QStringList{"uart-mode", "qr-print", "uart-mode"}));

    // 1D 28 followed by a byte that is neither 6B nor a speed index is unknown;
    // the byte after the prefix is skipped with it, unless it starts a command.
    Rig bad;
    bad.run(Stream().raw({0x1D, 0x28, 0x07, 0x05}).raw({0x1D, 0x28, 0x0A}).text("x").bytes);
    QCOMPARE(bad.names(), (QStringList{"unknown", "skip", "unknown", "LF", "text"}));
}

void TestDecoder::unknownBytesAreSkippedAndLogged()
{
    Rig rig;
    rig.run(
        Stream().text("ab").raw({0x00, 0x05, 0x7F, 0x81}).text("cd").raw({0x1B, 0x7A}).raw({0x1B, 0x1B, 0x40}).bytes);
    QCOMPARE(rig.names(), (QStringList{"text", "skip", "text", "unknown", "unknown", "initialize"}));
    QCOMPARE(rig.first("skip")->args, QStringLiteral("4 unknown bytes skipped"));
    QCOMPARE(rig.first("skip")->offset, 2);
    // The bad input is flagged in the status byte until it is read.
    QVERIFY(rig.core.statusByte() & kvp::Status::DecodeError);
}

void TestDecoder::tabListIsCapped()
{
    // 40 non-zero stops without a terminator: the list ends after 32 and the
    // rest is read as ordinary text.
    QByteArray stops;
    for (int i = 1; i <= 40; ++i)
        stops += static_cast<char>(0x40 + i % 26);
    Rig rig;
    rig.run(Stream().raw({0x1B, 0x44}).raw(stops).bytes);
    QCOMPARE(rig.names(), (QStringList{"tab-stops", "text"}));
    QVERIFY(rig.first("tab-stops")->args.startsWith(QStringLiteral("(list full after 32 stops")));
    QCOMPARE(rig.first("text")->offset, 2 + 32);
}

void TestDecoder::qrLengthBelowThreeIsMalformed()
{
    // A store of 65534 bytes announces 65537 mod 65536 = 1: the controller
    // reads one byte as the whole command, and what follows as data.
    Rig rig;
    rig.run(Stream().raw({0x1D, 0x28, 0x6B, 0x01, 0x00, 0x31, 0x50, 0x30}).text("AB").bytes);
    QCOMPARE(rig.names(), (QStringList{"qr", "text"}));
    QVERIFY(rig.first("qr")->args.contains(QStringLiteral("malformed")));
    QCOMPARE(rig.first("text")->args, QStringLiteral("\"P0AB\""));
}

void TestDecoder::dataBlocksAreStreamedNotBuffered()
{
    // A raster header announcing 65535 x 65535 bytes followed by little data:
    // the decoder stays inside the block and reports it cut short at the end.
    Rig rig(QString(), 2000);
    QByteArray data(100000, '\x55');
    rig.run(Stream().raster(0, 0xFFFF, 0xFFFF, data).bytes);
    const kvp::LogEntry *e = rig.first("raster");
    QVERIFY(e);
    QVERIFY(e->args.contains(QStringLiteral("[truncated: 100000 of 4294836225 data bytes]")));
    QCOMPARE(e->moreBytes, 100000u - 8u);
    // Rows of 65535 bytes: only the part on the paper is kept, one row arrived.
    QCOMPARE(rig.pages.size(), 1u);
    QCOMPARE(rig.pages[0].image.height(), 2);
}

void TestDecoder::sleepAndWake()
{
    Rig rig;
    rig.run(Stream().sleep().text("A").lf().bytes);
    QCOMPARE(rig.names(), (QStringList{"sleep", "wake-up", "text", "LF"}));
    QCOMPARE(rig.first("wake-up")->offset, 2);
    QCOMPARE(rig.pages.size(), 1u); // the waking byte is printed
}

void TestDecoder::truncatedCommandIsReported()
{
    Rig rig;
    rig.run(QByteArray("\x1B\x21", 2));
    QCOMPARE(rig.names(), QStringList{"print-mode"});
    QVERIFY(rig.first("print-mode")->args.contains(QStringLiteral("truncated")));

    Rig lead;
    lead.run(QByteArray("\x01", 1)); // a Unicode high byte with nothing after it
    QCOMPARE(lead.names(), QStringList{"skip"});
}

void TestDecoder::logLineShowsOffsetHexNameAndArguments()
{
    Rig rig;
    rig.run(Stream().text("x").raster(0, 48, 94, QByteArray(4512, '\x01')).bytes);
    const QStringList lines = rig.decoded();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[1].startsWith(
                 QStringLiteral("00000001  1D 76 30 00 30 00 5E 00 01 01 01 01 01 01 01 01 ... (+4504 bytes)  raster")),
             qPrintable(lines[1]));
    QVERIFY(lines[1].endsWith(QStringLiteral("mode 0, 48 bytes x 94 rows (384 x 94 dots)")));
}

QTEST_MAIN(TestDecoder)
#include "tst_vp_decoder.moc"
