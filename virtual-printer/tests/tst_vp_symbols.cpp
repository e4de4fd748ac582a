// Bar codes and QR codes printed by the controller are real symbols: the
// page PNG decodes with zbarimg to the data sent (plus the check digit where
// the symbology adds one).

#include "vpstream.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using vptest::Rig;
using vptest::Stream;

namespace {
QString decodeWithZbar(const QString &png, const QStringList &config = {})
{
    QProcess zbar;
    QStringList args = config;
    args << QStringLiteral("-q") << QStringLiteral("--raw") << png;
    zbar.start(QStringLiteral("zbarimg"), args);
    if (!zbar.waitForFinished(30000))
        return QStringLiteral("(zbarimg did not finish)");
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}
} // namespace

class TestSymbols : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void barcodesDecode_data();
    void barcodesDecode();
    void barcodeSettings();
    void qrCodeDecodes();
    void qrSettingsAndErrors();

private:
    QTemporaryDir dir;
};

void TestSymbols::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty(),
             "zbarimg (Debian zbar-tools) is needed; tools/setup-debian.sh installs it");
    QVERIFY(dir.isValid());
}

void TestSymbols::barcodesDecode_data()
{
    QTest::addColumn<int>("system");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("config");
    const QStringList none;
    QTest::newRow("UPC-A") << 0 << QByteArray("01234567890") << 3 << "012345678905" << QStringList{"-Supca.enable"};
    QTest::newRow("UPC-E") << 1 << QByteArray("012345") << 3 << "00123457" << QStringList{"-Supce.enable"};
    QTest::newRow("EAN-13") << 2 << QByteArray("012345678901") << 3 << "0123456789012" << none;
    QTest::newRow("EAN-8") << 3 << QByteArray("0123456") << 3 << "01234565" << none;
    QTest::newRow("Code 39") << 4 << QByteArray("123456VX022") << 2 << "123456VX022" << none;
    QTest::newRow("ITF") << 5 << QByteArray("12345678") << 3 << "12345678" << none;
    QTest::newRow("Codabar") << 6 << QByteArray("a123456a") << 3 << "A123456A" << none;
    QTest::newRow("Code 93") << 7 << QByteArray("12345678") << 3 << "12345678" << none;
    QTest::newRow("Code 128") << 8 << QByteArray("12345678") << 2 << "12345678" << none;
}

void TestSymbols::barcodesDecode()
{
    QFETCH(int, system);
    QFETCH(QByteArray, data);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QFETCH(QStringList, config);
    // As the bar code demonstrations send it, centred so the symbol has its quiet zones.
    Rig rig;
    rig.run(Stream()
                .init()
                .justify(1)
                .line("caption")
                .feedLines(2)
                .barcodeWidth(width)
                .barcodeHeight(64)
                .barcode(system, data)
                .feedLines(2)
                .fullCut()
                .bytes);
    QCOMPARE(rig.pages.size(), 1u);
    const QString png = dir.filePath(QStringLiteral("barcode-%1.png").arg(system));
    QVERIFY(rig.pages[0].image.save(png));
    QCOMPARE(decodeWithZbar(png, config), expected);
    QVERIFY(!rig.log.contains(QStringLiteral("note"))); // drawn at the width asked for
}

void TestSymbols::barcodeSettings()
{
    auto symbolRows = [](const Stream &s) {
        Rig rig;
        rig.run(s.bytes);
        const QImage page = rig.pages.at(0).image;
        return std::make_pair(page.height(), vptest::inkColumns(page));
    };
    // Height in dots; the text line adds rows below the bars.
    const auto tall = symbolRows(Stream().barcodeText(0).barcodeHeight(100).barcode(8, "12345678"));
    const auto low = symbolRows(Stream().barcodeText(0).barcodeHeight(50).barcode(8, "12345678"));
    QCOMPARE(tall.first, 100);
    QCOMPARE(low.first, 50);
    QVERIFY(symbolRows(Stream().barcodeText(1).barcodeHeight(50).barcode(8, "12345678")).first > 60);
    // Module width scales the symbol: Code 128 of 8 digits is 79 modules wide.
    const auto narrow = symbolRows(Stream().barcodeText(0).barcodeWidth(2).barcode(8, "12345678"));
    const auto broad = symbolRows(Stream().barcodeText(0).barcodeWidth(4).barcode(8, "12345678"));
    QCOMPARE(narrow.second.second - narrow.second.first + 1, 2 * 79);
    QCOMPARE(broad.second.second - broad.second.first + 1, 4 * 79);
    // Too wide at the module width asked for: narrowed to fit, and logged.
    Rig wide;
    wide.run(Stream().barcodeWidth(3).barcode(4, "123456VX022").bytes);
    QVERIFY(wide.pages.at(0).image.width() == 384);
    QVERIFY(wide.log.lines().join('\n').contains(QStringLiteral("too wide at module width 3; printed at 2")));
    // Data the symbology cannot carry prints nothing and says why.
    Rig bad;
    bad.run(Stream().barcode(0, "ABC").bytes);
    QVERIFY(bad.pages.empty());
    QVERIFY(bad.log.lines().join('\n').contains(QStringLiteral("UPC-A not printed")));
}

void TestSymbols::qrCodeDecodes()
{
    const QByteArray text = "Printer Kivo - virtual VX02x controller 0123456789";
    Rig rig;
    rig.run(Stream().init().qrModule(6).qrLevel(0x31).qrStore(text).qrPrint().fullCut().bytes);
    QCOMPARE(rig.pages.size(), 1u);
    const QString png = dir.filePath(QStringLiteral("qr.png"));
    QVERIFY(rig.pages[0].image.save(png));
    QCOMPARE(decodeWithZbar(png), QString::fromLatin1(text));
}

void TestSymbols::qrSettingsAndErrors()
{
    auto width = [](const Stream &s) {
        Rig rig;
        rig.run(s.bytes);
        return rig.pages.empty()
            ? 0
            : vptest::inkColumns(rig.pages[0].image).second - vptest::inkColumns(rig.pages[0].image).first + 1;
    };
    // "ABC" at level L is a version 1 symbol: 21 modules.
    QCOMPARE(width(Stream().qrModule(3).qrLevel(0x30).qrStore("ABC").qrPrint()), 21 * 3);
    QCOMPARE(width(Stream().qrModule(5).qrLevel(0).qrStore("ABC").qrPrint()), 21 * 5);
    // Level H needs a bigger symbol for the same data.
    QVERIFY(width(Stream().qrModule(1).qrLevel(3).qrStore(QByteArray(40, 'x')).qrPrint())
            > width(Stream().qrModule(1).qrLevel(0).qrStore(QByteArray(40, 'x')).qrPrint()));
    // Print without stored data, or with an unknown function: nothing printed, a note.
    Rig empty;
    empty.run(Stream().qrPrint().raw({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x41, 0x32}).bytes);
    QVERIFY(empty.pages.empty());
    const QString log = empty.log.lines().join('\n');
    QVERIFY(log.contains(QStringLiteral("QR code not printed: no data stored")));
    QVERIFY(log.contains(QStringLiteral("QR function 0x41 is not supported")));
}

QTEST_MAIN(TestSymbols)
#include "tst_vp_symbols.moc"
