// Every controller command, reached by its slot name as the rest of the
// program reaches it: the bytes and how they are split into write calls.

#include "support/kivotestaccess.h"
#include "support/recordingdevice.h"

#include "printer/commands.h"

#include <QTest>

#include <functional>
#include <memory>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

struct Row
{
    const char *name;
    std::function<bool(MainWindow &)> call;
    QList<QByteArray> writes;
};

#define CALL(...) [](MainWindow &w) { return QMetaObject::invokeMethod(&w, __VA_ARGS__); }
#define U8(v) Q_ARG(uint8_t, uint8_t(v))
#define U16(v) Q_ARG(uint16_t, uint16_t(v))
#define BUF(p) Q_ARG(const uint8_t *, (const uint8_t *)(p))
#define TEXT(s) Q_ARG(const char *, s)

const uint8_t tabStops[] = {8, 24, 38};
const char abcde[] = "ABCDE";
const uint8_t sixBytes[] = {1, 2, 3, 4, 5, 6};

// One row per command, with the examples the controller's documentation
// gives; the expected bytes are written out by hand.
const QList<Row> &commandTable()
{
    static const QList<Row> rows = {
        {"printerSoftInit", CALL("printerSoftInit"), {hex("1B 40")}},
        {"printLF", CALL("printLF"), {hex("0A")}},
        {"printCR", CALL("printCR"), {hex("0D")}},
        {"printStr", CALL("printStr", TEXT("Tab1")), {"Tab1"}},
        {"printStr keeps line feeds", CALL("printStr", TEXT("a\nb")), {"a\nb"}},
        {"printStr empty", CALL("printStr", TEXT("")), {""}},
        {"print_with_font bold",
         CALL("print_with_font", TEXT("Bold 0123456 ABCD abcd"), U8(0x08)),
         {hex("1B 21 08"), "Bold 0123456 ABCD abcd", hex("0A")}},
        {"print_with_font empty", CALL("print_with_font", TEXT(""), U8(0x82)), {hex("1B 21 82"), "", hex("0A")}},
        {"fontTypeSet", CALL("fontTypeSet", U8(0x90)), {hex("1B 21 90")}},
        {"setFontMode", CALL("setFontMode", U8(1)), {hex("1B 4D 01")}},
        {"setFontGrayScale", CALL("setFontGrayScale", U8(8)), {hex("1B 6D 08")}},
        {"setDbMode", CALL("setDbMode"), {hex("1C 26")}},
        {"cancelDbMode", CALL("cancelDbMode"), {hex("1C 2E")}},
        {"horizontalAlign", CALL("horizontalAlign", U8(2)), {hex("1B 61 02")}},
        {"lineSpacingSet", CALL("lineSpacingSet", U8(66)), {hex("1B 33 42")}},
        {"lineSpacingDefaults", CALL("lineSpacingDefaults"), {hex("1B 32")}},
        {"printAndFeedNDotLine", CALL("printAndFeedNDotLine", U8(24)), {hex("1B 4A 18")}},
        {"printAndFeedNFontLine", CALL("printAndFeedNFontLine", U8(5)), {hex("1B 64 05")}},
        {"horizontalTabSet",
         CALL("horizontalTabSet", BUF(tabStops), U8(3)),
         {hex("1B 44"), hex("08 18 26"), hex("00")}},
        {"horizontalTabSet no stops", CALL("horizontalTabSet", BUF(tabStops), U8(0)), {hex("1B 44"), "", hex("00")}},
        {"horizontalTab", CALL("horizontalTab"), {hex("09")}},
        {"absolutePrintPos 50", CALL("absolutePrintPos", U8(50), U8(0)), {hex("1B 24 32 00")}},
        {"absolutePrintPos 300", CALL("absolutePrintPos", U8(0x2C), U8(0x01)), {hex("1B 24 2C 01")}},
        {"setLeftMargin", CALL("setLeftMargin", U8(4)), {hex("1B 6C 04")}},
        {"setRightMargin", CALL("setRightMargin", U8(38)), {hex("1B 51 26")}},
        {"printerState", CALL("printerState"), {hex("10 04")}},
        {"getFirmwareInfo", CALL("getFirmwareInfo"), {hex("10 05")}},
        {"clearPrintBuffer", CALL("clearPrintBuffer"), {hex("10 14")}},
        {"setPrinterCallBack", CALL("setPrinterCallBack", U8(0xFF)), {hex("1D 61 FF")}},
        {"enterSleepMode", CALL("enterSleepMode"), {hex("10 16")}},
        {"setComMode", CALL("setComMode", U8(4), U8(1)), {hex("1D 28 04 01")}},
        {"setPrinterHead", CALL("setPrinterHead", U8(10)), {hex("1B 5A 0A")}},
        {"picturePrintH",
         CALL("picturePrintH", U8(0), U16(2), U16(3), BUF(sixBytes)),
         {hex("1D 76 30 00 02 00 03 00"), hex("01 02 03 04 05 06")}},
        {"picturePrintH without buffer",
         CALL("picturePrintH", U8(0), U16(2), U16(3), BUF(nullptr)),
         {hex("1D 76 30 00 02 00 03 00"), hex("00"), hex("00"), hex("00"), hex("00"), hex("00"), hex("00")}},
        {"picturePrintH no rows",
         CALL("picturePrintH", U8(0), U16(48), U16(0), BUF(nullptr)),
         {hex("1D 76 30 00 30 00 00 00")}},
        {"downloadNVBitmap",
         CALL("downloadNVBitmap", U8(1), U8(2), U16(0x0102), U16(0), BUF(nullptr)),
         {hex("1D 71 01 02 02 01 00 00")}},
        {"downloadNVBitmap data",
         CALL("downloadNVBitmap", U8(0), U8(0), U16(1), U16(2), BUF(sixBytes)),
         {hex("1D 71 00 00 01 00 02 00"), hex("01 02")}},
        {"printNVBitmap", CALL("printNVBitmap", U8(3), U8(1)), {hex("1C 70 03 01")}},
        {"barcodeHeightSet", CALL("barcodeHeightSet", U8(64)), {hex("1D 68 40")}},
        {"barcodeWidthSet", CALL("barcodeWidthSet", U8(2)), {hex("1D 77 02")}},
        {"barcodeTextYesNo", CALL("barcodeTextYesNo", U8(0)), {hex("1D 48 00")}},
        {"barcodePrint UPC-A",
         CALL("barcodePrint", U8(0), BUF("01234567890"), U8(11)),
         {hex("1D 6B 41 0B"), "01234567890"}},
        {"barcodePrint Code 128",
         CALL("barcodePrint", U8(8), BUF("12345678"), U8(8)),
         {hex("1D 6B 49 08"), "12345678"}},
        {"barcodePrint symbology wraps", CALL("barcodePrint", U8(0xC0), BUF("1"), U8(1)), {hex("1D 6B 01 01"), "1"}},
        {"setQRSizeVersion", CALL("setQRSizeVersion", U8(6)), {hex("1D 28 6B 03 00 31 43 06")}},
        {"setQRcodeErrorCorrection", CALL("setQRcodeErrorCorrection", U8(0x31)), {hex("1D 28 6B 03 00 31 45 31")}},
        {"transferQRcodeData",
         CALL("transferQRcodeData", U16(5), BUF(abcde)),
         {hex("1D 28 6B 08 00 31 50 30"), "ABCDE"}},
        {"transferQRcodeData no data",
         CALL("transferQRcodeData", U16(0), BUF(nullptr)),
         {hex("1D 28 6B 03 00 31 50 30")}},
        {"transferQRcodeData without buffer",
         CALL("transferQRcodeData", U16(2), BUF(nullptr)),
         {hex("1D 28 6B 05 00 31 50 30"), hex("00"), hex("00")}},
        {"printQRcodeData", CALL("printQRcodeData"), {hex("1D 28 6B 03 00 31 51 30")}},
        {"fullCut", CALL("fullCut"), {hex("1B 69")}},
        {"partialCut", CALL("partialCut"), {hex("1B 6E")}},
        {"newLabelHome", CALL("newLabelHome"), {hex("1D 06")}},
    };
    return rows;
}

QString describe(const QList<QByteArray> &writes)
{
    QStringList parts;
    for (const QByteArray &w : writes)
        parts << QString::fromLatin1(w.toHex(' '));
    return "[" + parts.join(" | ") + "]";
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everyCommandSendsItsBytesInItsWrites();
    void picturesGoAsOneHeaderAndOneDataWrite();
    void qrDataUpToTheLimitKeepsItsLength();
    void oversizeQrDataSendsNothing();
    void writeSendsTheBufferInOneCall();
    void commandBytesMatchTheirWrites();

private:
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<RecordingDevice> device;
};

void TestCommands::init()
{
    window = std::make_unique<MainWindow>();
    device = std::make_unique<RecordingDevice>();
    device->open(QIODevice::ReadWrite);
    KivoTestAccess::setWire(*window, device.get());
}

void TestCommands::cleanup()
{
    window.reset();
    device.reset();
}

void TestCommands::everyCommandSendsItsBytesInItsWrites()
{
    for (const Row &row : commandTable()) {
        device->clearWrites();
        QVERIFY2(row.call(*window), row.name);
        QVERIFY2(device->writes == row.writes,
                 qPrintable(QStringLiteral("%1: sent %2, expected %3")
                                .arg(row.name, describe(device->writes), describe(row.writes))));
    }
}

void TestCommands::picturesGoAsOneHeaderAndOneDataWrite()
{
    QByteArray picture(qsizetype(29) * 232, '\0');
    for (int i = 0; i < picture.size(); ++i)
        picture[i] = char(i * 7);
    QVERIFY(
        QMetaObject::invokeMethod(window.get(), "picturePrintH", U8(0), U16(29), U16(232), BUF(picture.constData())));
    QCOMPARE(device->writeLengths(), (QList<int>{8, 6728}));
    QCOMPARE(device->writes[0], hex("1D 76 30 00 1D 00 E8 00"));
    QCOMPARE(device->writes[1], picture);

    device->clearWrites();
    const QByteArray wide(qsizetype(48) * 300, '\x55');
    QVERIFY(QMetaObject::invokeMethod(window.get(), "picturePrintH", U8(0), U16(48), U16(300), BUF(wide.constData())));
    QCOMPARE(device->writes[0], hex("1D 76 30 00 30 00 2C 01"));
    QCOMPARE(device->writeLengths(), (QList<int>{8, 14400}));
}

void TestCommands::qrDataUpToTheLimitKeepsItsLength()
{
    const QByteArray data(printer::maxQrDataSize, 'Q');
    QVERIFY(QMetaObject::invokeMethod(window.get(), "transferQRcodeData", U16(65532), BUF(data.constData())));
    QCOMPARE(device->writeLengths(), (QList<int>{8, 65532}));
    QCOMPARE(device->writes[0], hex("1D 28 6B FF FF 31 50 30"));
}

void TestCommands::oversizeQrDataSendsNothing()
{
    // 65534 + 3 would wrap to the length 01 00, and the controller would take
    // the rest of the block for commands and text.
    const QByteArray data(65535, 'Q');
    for (int size : {65533, 65534, 65535}) {
        QVERIFY(QMetaObject::invokeMethod(window.get(), "transferQRcodeData", U16(size), BUF(data.constData())));
        QVERIFY(QMetaObject::invokeMethod(window.get(), "transferQRcodeData", U16(size), BUF(nullptr)));
    }
    QCOMPARE(device->writes, QList<QByteArray>());
}

void TestCommands::writeSendsTheBufferInOneCall()
{
    const uint8_t bytes[] = {0x1B, 0x40, 0x00, 0xFF};
    QVERIFY(QMetaObject::invokeMethod(window.get(), "Write", BUF(bytes), Q_ARG(size_t, 4)));
    QVERIFY(QMetaObject::invokeMethod(window.get(), "Write", BUF(bytes), Q_ARG(size_t, 0)));
    QCOMPARE(device->stream(), hex("1B 40 00 FF"));
    QVERIFY(device->writes.size() <= 2);
    QCOMPARE(device->writes[0], hex("1B 40 00 FF"));
}

void TestCommands::commandBytesMatchTheirWrites()
{
    // The builders' own summary of a command agrees with its write calls,
    // including the no-buffer zero fill.
    const printer::Command picture = printer::picturePrintH(0, 2, 3, nullptr);
    QCOMPARE(picture.bytes(), hex("1D 76 30 00 02 00 03 00 00 00 00 00 00 00"));
    QCOMPARE(picture.zeroFillWrites, quint64(6));
    QCOMPARE(printer::print_with_font("x", 0x10).bytes(), hex("1B 21 10 78 0A"));
    QVERIFY(printer::transferQRcodeData(65534, nullptr).bytes().isEmpty());
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
