// The first demonstrations: Quick Test, Attributes, Density, the receipts
// and the bar codes. Their byte streams are checked against streams built
// here from the list of calls each sample is made of, their console texts
// line by line, and the connection guard for every button.

#include "support/expectedstream.h"
#include "support/modalboxcloser.h"
#include "support/pseudoterminal.h"
#include "support/recordingdevice.h"
#include "support/windowdriver.h"

#include "demos/pictures.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

QByteArray pictureData(const RasterPicture &p)
{
    return QByteArray(reinterpret_cast<const char *>(p.data), qsizetype(p.size()));
}

ExpectedStream &picture(ExpectedStream &s, const RasterPicture &p)
{
    return s.picturePrintH(p.bytesPerRow, p.rows, pictureData(p));
}

QByteArray quickTestStream()
{
    ExpectedStream s;
    s.printerSoftInit().horizontalAlign(0).setFontGrayScale(4);
    picture(s, featureLogoBitmap).printLF();
    s.print_with_font("======== S A M P L E ========", 0x00)
        .print_with_font("Normal 0123456 ABCD abcd", 0x00)
        .print_with_font("Bold 0123456 ABCD abcd", 0x08)
        .print_with_font("Double Width", 0x20)
        .print_with_font("Double Height", 0x10)
        .print_with_font("Reverse 0123456 ABCD abcd", 0x40)
        .print_with_font("Underlined 0123456 ABCD abcd", 0x80)
        .print_with_font("Italic 0123456 ABCD abcd", 0x02)
        .print_with_font("Italic 0123456 ABCD abcd", 0x82)
        .printLF();
    picture(s, arrowSymbolsBitmap).printLF();
    picture(s, circledDigitsBitmap).printLF();
    s.setLeftMargin(4).barcodeWidthSet(3).barcodeHeightSet(64).barcodePrint(0, "01234567890").setLeftMargin(0);
    picture(s, rasterSampleBitmap).printLF();
    return s.bytes;
}

QByteArray attributesStream()
{
    const QByteArray alphabets = "\nabcdefghijklmnopqrstuvwxyz\nABCDEFGHIJKLMNOPQRSTUVWXYZ\n0123456789";
    ExpectedStream s;
    s.horizontalAlign(0)
        .printerSoftInit()
        .print_with_font(separatorLine, 0)
        .print_with_font("Normal" + alphabets, 0x00)
        .print_with_font("Bold" + alphabets, 0x08)
        .print_with_font("Double Width" + alphabets, 0x20)
        .print_with_font("Double Height\nabcdefghijklmnop\nqrstuvwxyz\nABCDEFGHIJKLMNOP\nQRSTUVWXYZ\n0123456789", 0x10)
        .print_with_font("Reverse" + alphabets, 0x40)
        .print_with_font("Underlined" + alphabets, 0x80)
        .print_with_font("Italic" + alphabets, 0x02)
        .print_with_font(closingSeparatorLine, 0x00);
    return s.bytes;
}

QByteArray densityStream()
{
    ExpectedStream s;
    s.horizontalAlign(0).printerSoftInit().print_with_font(separatorLine, 0);
    for (int level = 0; level <= 8; ++level)
        s.setFontGrayScale(uint8_t(level))
            .print_with_font(QByteArray::number(level) + ": abcdefghijklmnopqrstuvwxyz", 0);
    s.print_with_font(closingSeparatorLine, 0).setFontGrayScale(4);
    return s.bytes;
}

QByteArray receiptStream(uint8_t paymentMode, const char *finalCut)
{
    ExpectedStream s;
    s.horizontalAlign(0).printerSoftInit().setFontGrayScale(4);
    picture(s, receiptHeaderBitmap).printLF();
    s.horizontalAlign(1)
        .print_with_font("Customer Receipt", 0)
        .printAndFeedNFontLine(2)
        .horizontalAlign(0)
        .print_with_font("Date: DD/MM/YYYY", 0)
        .print_with_font("PID: 034/344/00288394", 0)
        .printAndFeedNFontLine(2)
        .printStr("  Qty      Item      Price")
        .printAndFeedNDotLine(24)
        .print_with_font(separatorLine, 0)
        .print_with_font("2x  1L 1.5% Milk     $3.98", 0)
        .print_with_font("6x  1L 3.5% Milk     $16.75", 0)
        .print_with_font("10x 100g Yogurt Cup  $8.50", 0)
        .print_with_font(separatorLine, 0)
        .print_with_font("Total:              $29.23", 0x08)
        .printAndFeedNFontLine(1)
        .print_with_font("Incl. 19% VAT $5.55 (Net $23.68)", 0)
        .print_with_font(separatorLine, 0)
        .print_with_font("Credit Card         $29.23", paymentMode)
        .printAndFeedNFontLine(2)
        .horizontalAlign(1)
        .print_with_font("THANK YOU FOR YOUR VISIT", 0)
        .printAndFeedNFontLine(2);
    if (finalCut)
        s.hex(finalCut);
    return s.bytes;
}

struct BarcodeRow
{
    const char *button;
    const char *console;
    const char *caption;
    uint8_t system;
    const char *data;
    uint8_t width;
};

const BarcodeRow barcodeRows[] = {
    {"pushButtonBarcodeUPCA", "Printing UPC-A bar code: 01234567890", "UPCA height=64 width=3", 0, "01234567890", 3},
    {"pushButtonBarcodeUPCE", "Printing UPC-E bar code: 012345", "UPC-E height=64 width=3", 1, "012345", 3},
    {"pushButtonBarcodeEAN13", "Printing EAN-13 bar code: 012345678901", "EAN13 height=64 width=3", 2, "012345678901",
     3},
    {"pushButtonBarcodeEAN8", "Printing EAN-8 bar code: 0123456", "EAN-8 height=64 width=3", 3, "0123456", 3},
    {"pushButtonBarcodeCODE39", "Printing Code 39 bar code: 123456VX022", "Code 39 height=64 width=2", 4, "123456VX022",
     2},
    {"pushButtonBarcodeITF25", "Printing ITF 2 5 bar code: 12345678", "ITF 2 5 height=64 width=3", 5, "12345678", 3},
    {"pushButtonBarcodeCODABAR", "Printing CODA BAR bar code: a123456a", "CODA BAR height=64 width=3", 6, "a123456a",
     3},
    {"pushButtonBarcodeCODE93", "Printing CODE 93 bar code: 12345678", "CODE 93 height=64 width=3", 7, "12345678", 3},
    {"pushButtonBarcodeCODE128A", "Printing CODE 128A bar code: 12345678", "CODE 128A height=64 width=2", 8, "12345678",
     2},
};

QByteArray barcodeStream(const BarcodeRow &row, bool margin)
{
    ExpectedStream s;
    s.printerSoftInit().print_with_font(row.caption, 0).printAndFeedNFontLine(2);
    if (margin)
        s.setLeftMargin(4);
    s.barcodeWidthSet(row.width)
        .barcodeHeightSet(64)
        .barcodePrint(row.system, row.data)
        .printAndFeedNFontLine(2)
        .setLeftMargin(0);
    return s.bytes;
}

const char *const marginLine = "Adding 4 to left margin - Bar Code will be moved 4mm to the right";

// Where two streams first differ, for a readable failure.
QString firstDifference(const QByteArray &actual, const QByteArray &expected)
{
    const qsizetype n = qMin(actual.size(), expected.size());
    qsizetype i = 0;
    while (i < n && actual[i] == expected[i])
        ++i;
    return QStringLiteral("sizes %1 / %2, first difference at %3: sent %4, expected %5")
        .arg(actual.size())
        .arg(expected.size())
        .arg(i)
        .arg(QString::fromLatin1(actual.mid(i, 12).toHex(' ')), QString::fromLatin1(expected.mid(i, 12).toHex(' ')));
}

#define COMPARE_STREAM(actual, expected) \
    QVERIFY2((actual) == (expected), qPrintable(firstDifference((actual), (expected))))

} // namespace

class TestDemos : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void quickTestSendsTheFeatureSample();
    void attributesAndDensity();
    void receiptsShareOneBodyAndDifferInTheirEnding_data();
    void receiptsShareOneBodyAndDifferInTheirEnding();
    void barcodesWithAndWithoutMargin();
    void barcodeTextOnAndOff();
    void pressingTwiceShowsTheTextOnceAndSendsTwice();
    void everyButtonIsGuardedWhileDisconnected();
    void quickTestAndReceiptArriveOverAPseudoTerminal();

private:
    void click(const char *button) { widget<QPushButton>(*window, button)->click(); }
    QStringList consoleLines() { return driver::console(*window).split('\n'); }

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<RecordingDevice> device;
};

void TestDemos::init()
{
    window = std::make_unique<MainWindow>();
    device = std::make_unique<RecordingDevice>();
    device->open(QIODevice::ReadWrite);
    KivoTestAccess::setWire(*window, device.get());
}

void TestDemos::cleanup()
{
    window.reset();
    device.reset();
}

void TestDemos::quickTestSendsTheFeatureSample()
{
    click("pushButtonFont");
    const QByteArray sent = device->stream();
    QCOMPARE(sent.size(), 13833);
    QCOMPARE(sent.left(16), QByteArray::fromHex("1B40 1B6100 1B6D04 1D7630003000 5E00"));
    COMPARE_STREAM(sent, quickTestStream());
    // Pictures go as one header write and one data write each.
    QVERIFY(device->writeLengths().contains(4512));
    QVERIFY(device->writeLengths().contains(8192));
    QCOMPARE(consoleLines(),
             (QStringList{"Printing features:", "Normal", "Bold", "Double Width", "Double Height", "Reverse",
                          "Underlined", "Italic", "Combined font attribute Italic and Underlined",
                          "Printing tiny Windings Bitmaps", "Printing Bar Code", "Printing Raster Bitmap"}));
}

void TestDemos::attributesAndDensity()
{
    click("pushButtonAttributes");
    COMPARE_STREAM(device->stream(), attributesStream());
    QCOMPARE(consoleLines(),
             (QStringList{"Printing text attribute options:", "Normal", "Bold", "Double Width", "Double Height",
                          "Double Width and Height", "Reverse", "Underlined", "Italic"}));

    device->clearWrites();
    click("pushButtonDensity");
    const QByteArray sent = device->stream();
    COMPARE_STREAM(sent, densityStream());
    QVERIFY(sent.endsWith(QByteArray::fromHex("1B6D04")));
    QVERIFY(sent.contains(QByteArray::fromHex("1B6D00") + QByteArray::fromHex("1B2100") + "0: "));
    QVERIFY(sent.contains(QByteArray::fromHex("1B6D08") + QByteArray::fromHex("1B2100") + "8: "));
    QCOMPARE(consoleLines(),
             (QStringList{"Printing text darkness options:", "0 - Default", "1", "2", "3", "4", "5", "6", "7", "8"}));
}

void TestDemos::receiptsShareOneBodyAndDifferInTheirEnding_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("console");
    QTest::addColumn<int>("paymentMode");
    QTest::addColumn<QString>("finalCut");
    QTest::addColumn<int>("size");
    QTest::newRow("plain") << "pushButtonReceipt"
                           << "Sample of typical POS receipt" << 0x90 << "" << 12749;
    QTest::newRow("full cut") << "pushButtonReceiptFullCut"
                              << "Sample of typical POS receipt with full paper cut" << 0x10 << "1B 69" << 12751;
    QTest::newRow("partial cut") << "pushButtonReceiptPartialCut"
                                 << "Sample of typical POS receipt with partial paper cut" << 0x10 << "1B 6E" << 12751;
}

void TestDemos::receiptsShareOneBodyAndDifferInTheirEnding()
{
    QFETCH(QString, button);
    QFETCH(QString, console);
    QFETCH(int, paymentMode);
    QFETCH(QString, finalCut);
    QFETCH(int, size);

    click(button.toLatin1());
    const QByteArray sent = device->stream();
    QCOMPARE(sent.size(), size);
    QByteArray cut = finalCut.toLatin1();
    COMPARE_STREAM(sent, receiptStream(uint8_t(paymentMode), cut.isEmpty() ? nullptr : cut.constData()));
    QVERIFY(sent.startsWith(QByteArray::fromHex("1B6100 1B40 1B6D04 1D76300030000001")));
    QVERIFY(sent.contains("  Qty      Item      Price\x1B\x4A\x18"));
    QVERIFY(sent.endsWith("THANK YOU FOR YOUR VISIT\n\x1B\x64\x02"
                          + QByteArray::fromHex(QByteArray(cut).replace(' ', ""))));
    QCOMPARE(driver::console(*window), console);
}

void TestDemos::barcodesWithAndWithoutMargin()
{
    auto *margin = widget<QCheckBox>(*window, "checkBoxBarCodeMargin");
    for (bool withMargin : {false, true}) {
        margin->setChecked(withMargin);
        for (const BarcodeRow &row : barcodeRows) {
            device->clearWrites();
            click(row.button);
            const QByteArray sent = device->stream();
            QVERIFY2(sent == barcodeStream(row, withMargin),
                     qPrintable(QString(row.button) + ": " + firstDifference(sent, barcodeStream(row, withMargin))));
            QVERIFY(sent.endsWith(QByteArray::fromHex("1B6C00")));
            const QStringList expectedConsole =
                withMargin ? QStringList{row.console, marginLine} : QStringList{row.console};
            QCOMPARE(consoleLines(), expectedConsole);
        }
    }
}

void TestDemos::barcodeTextOnAndOff()
{
    click("pushButtonYesText");
    QCOMPARE(device->writes, QList<QByteArray>{QByteArray::fromHex("1D4801")});
    QCOMPARE(driver::console(*window), QStringLiteral("Enable Bar Code Text printing - Default"));
    device->clearWrites();
    click("pushButtonNoText");
    QCOMPARE(device->writes, QList<QByteArray>{QByteArray::fromHex("1D4800")});
    QCOMPARE(driver::console(*window), QStringLiteral("Disable Bar Code Text printing"));
}

void TestDemos::pressingTwiceShowsTheTextOnceAndSendsTwice()
{
    for (const char *button : {"pushButtonFont", "pushButtonReceipt", "pushButtonBarcodeEAN8", "pushButtonYesText"}) {
        device->clearWrites();
        click(button);
        const QByteArray once = device->stream();
        const QString consoleOnce = driver::console(*window);
        click(button);
        QCOMPARE(device->stream(), once + once);
        QCOMPARE(driver::console(*window), consoleOnce);
    }
}

void TestDemos::everyButtonIsGuardedWhileDisconnected()
{
    KivoTestAccess::setWire(*window, KivoTestAccess::serialPort(*window));
    auto *margin = widget<QCheckBox>(*window, "checkBoxBarCodeMargin");
    margin->setChecked(true);
    QStringList buttons{"pushButtonFont",    "pushButtonAttributes",     "pushButtonDensity",
                        "pushButtonReceipt", "pushButtonReceiptFullCut", "pushButtonReceiptPartialCut",
                        "pushButtonYesText", "pushButtonNoText"};
    for (const BarcodeRow &row : barcodeRows)
        buttons << row.button;

    PseudoTerminal pty; // a line that is there but not opened
    for (const QString &button : buttons) {
        widget<QPlainTextEdit>(*window, "editKivo")->setPlainText("what the user had");
        ModalBoxCloser closer;
        click(button.toLatin1());
        QCOMPARE(closer.boxes.size(), 1);
        QCOMPARE(closer.boxes[0].title, QStringLiteral("Serial Port Connect"));
        QCOMPARE(closer.boxes[0].text, QStringLiteral("Please configure and connect to the serial port first!"));
        QCOMPARE(driver::console(*window), QStringLiteral("what the user had"));
    }
    QCOMPARE(device->writes.size(), 0);
    QCOMPARE(pty.readFor(50), QByteArray());
}

void TestDemos::quickTestAndReceiptArriveOverAPseudoTerminal()
{
    KivoTestAccess::setWire(*window, KivoTestAccess::serialPort(*window));
    PseudoTerminal pty;
    QVERIFY(driver::connectTo(*window, pty.slavePath()));

    click("pushButtonFont");
    const QByteArray quickTest = pty.read(13833);
    COMPARE_STREAM(quickTest, quickTestStream());

    click("pushButtonReceiptPartialCut");
    const QByteArray receipt = pty.read(12751);
    COMPARE_STREAM(receipt, receiptStream(0x10, "1B 6E"));
    QCOMPARE(pty.readFor(100), QByteArray());
}

QTEST_MAIN(TestDemos)
#include "tst_demos.moc"
