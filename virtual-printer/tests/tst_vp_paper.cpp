// What lands on the paper: the rows of data/paper.txt (pictures, text
// geometry, print modes, layout, feeds, darkness, page ends, and bar codes and
// QR codes as a scanner reads them), darkness levels from light grey to black,
// PDF417, a glyph of each code page and the receipts of public encoders.

#include "decoder/codepagetables.h"
#include "glyphcache.h"
#include "support/scanner.h"
#include "symbols.h"
#include "vpstream.h"

#include <QtTest>

using vptest::Rig;
using vptest::Stream;

namespace {
// Ink (grey below 128) on a page: the dots, the first and the last column
// with any, and the darkest grey.
struct Ink
{
    int dots = 0, first = -1, last = -1, darkest = 255;
};

Ink inkIn(const QImage &image)
{
    Ink ink;
    const QRect r = image.rect();
    for (int x = r.left(); x <= r.right(); ++x)
        for (int y = r.top(); y <= r.bottom(); ++y) {
            const int grey = qGray(image.pixel(x, y));
            ink.darkest = std::min(ink.darkest, grey);
            ink.dots += grey < 128;
            ink.first = grey < 128 && ink.first < 0 ? x : ink.first;
            ink.last = grey < 128 ? x : ink.last;
        }
    return ink;
}

// What a check of data/paper.txt looks at, in the form the file writes it.
QString measure(const Rig &rig, const QString &what, const QString &expected)
{
    const QImage first = rig.pages.empty() ? QImage() : rig.pages.front().image;
    const Ink ink = inkIn(first);
    QStringList pages;
    for (const kvp::Page &p : rig.pages)
        pages << QStringLiteral("%1 %2").arg(p.image.height()).arg(p.reason);
    const QString log = rig.log.lines().join(u'\n');
    if (what == QLatin1String("pages"))
        return pages.isEmpty() ? QStringLiteral("none") : pages.join(QStringLiteral(" | "));
    if (what == QLatin1String("cols"))
        return QStringLiteral("%1..%2").arg(ink.first).arg(ink.last);
    if (what == QLatin1String("dots"))
        return QString::number(ink.dots);
    if (what == QLatin1String("grey"))
        return QString::number(ink.darkest);
    if (what == QLatin1String("scan"))
        return scannedCodes(first).join(u'\n');
    if (what == QLatin1String("log"))
        return log.contains(expected) ? expected : log;
    return QStringLiteral("(no such check)");
}
} // namespace

class TestPaper : public QObject
{
    Q_OBJECT
private slots:
    void paper_data() { vptest::addRows(QStringLiteral("paper.txt")); }
    void paper();
    void darknessGoesFromGreyToBlack();
    void pdf417CarriesTheStoredData();
    void codePageGlyphs_data() { vptest::addRows(QStringLiteral("codepages.txt")); }
    void codePageGlyphs();
    void everyCodePageHasItsGlyphs();
    void encoderReceipts_data() { vptest::addRows(QStringLiteral("encoders.txt")); }
    void encoderReceipts();
};

void TestPaper::paper()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, relation);
    QFETCH(QString, expected);
    Rig rig(QString(), 300);
    rig.run(bytes);
    if (relation == QLatin1String("=>")) {
        static const QRegularExpression nextCheck(QStringLiteral("; (?=(pages|cols|dots|grey|scan|log) )"));
        for (const QString &check : expected.split(nextCheck))
            QCOMPARE(measure(rig, check.section(u' ', 0, 0), check.section(u' ', 1)), check.section(u' ', 1));
        return;
    }
    Rig other(QString(), 300);
    other.run(vptest::bytesOf(expected));
    QVERIFY(!rig.pages.empty());
    bool same = rig.pages.size() == other.pages.size();
    for (size_t i = 0; same && i < rig.pages.size(); ++i)
        same = rig.pages[i].image == other.pages[i].image;
    QCOMPARE(same, relation == QLatin1String("=="));
}

void TestPaper::darknessGoesFromGreyToBlack()
{
    int previous = 256;
    for (int level = 1; level <= 8; ++level) {
        Rig rig;
        rig.run(Stream().darkness(level).line("W").bytes);
        const int grey = measure(rig, QStringLiteral("grey"), QString()).toInt();
        QVERIFY(grey < previous);
        previous = grey;
    }
}

void TestPaper::pdf417CarriesTheStoredData()
{
    // No scanner here reads PDF417: the page must hold the symbol zint makes
    // of the stored data with the sent columns, module width and row height.
    const QByteArray data = vptest::bytesOf(QStringLiteral("\"Printer Kivo PDF417\""));
    Rig rig;
    rig.run(vptest::bytesOf(QStringLiteral("1D 28 6B 03 00 30 41 03 1D 28 6B 03 00 30 43 02 1D 28 6B 03 00 30 44 04 "
                                           "1D 28 6B 16 00 30 50 30 \"Printer Kivo PDF417\" 1D 28 6B 03 00 30 51 30")));
    kvp::Pdf417Request request;
    request.data = data;
    request.columns = 3;
    request.moduleWidth = 2;
    request.rowHeight = 4;
    const kvp::SymbolResult symbol = kvp::renderPdf417(request);
    QVERIFY(symbol.mask.width > 100 && rig.pages.size() == 1);
    const QImage page = rig.pages.front().image;
    QCOMPARE(page.height(), symbol.mask.height);
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            QCOMPARE(qGray(page.pixel(x, y)) == 0, x < symbol.mask.width && symbol.mask.at(x, y));
}

// The byte of a code page prints as the glyph of its character in the
// page's table: the first cell of the page is that character's cell.
void TestPaper::codePageGlyphs()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    bool ok = false;
    const auto code = static_cast<char32_t>(expected.mid(2).toUInt(&ok, 16));
    QVERIFY(ok && kvp::FontSet::shared().covers(code));
    Rig rig;
    rig.run(bytes + '\n');
    QCOMPARE(rig.decoded().at(1), QStringLiteral("text \"%1\"").arg(QString::fromUcs4(&code, 1)));
    kvp::GlyphCache glyphs(kvp::FontSet::shared());
    const std::shared_ptr<const kvp::Tile> cell = glyphs.tileFor({code, false}, kvp::PrintSettings());
    QVERIFY(cell->ink && rig.pages.size() == 1);
    const QImage page = rig.pages.front().image;
    for (int y = 0; y < cell->height; ++y)
        for (int x = 0; x < page.width(); ++x)
            QCOMPARE(qGray(page.pixel(x, y)), x < cell->width ? cell->grey[size_t(y * cell->width + x)] : 255);
}

// A page is drawn from its table only if the fonts have every character of it.
void TestPaper::everyCodePageHasItsGlyphs()
{
    for (int i = 0; i < kvp::codePageTableCount; ++i)
        for (const char16_t code : kvp::codePageTables[i].upper)
            if (code != 0 && !kvp::FontSet::shared().covers(code))
                QFAIL(qPrintable(QStringLiteral("%1 has no glyph for U+%2")
                                     .arg(QLatin1String(kvp::codePageTables[i].name))
                                     .arg(int(code), 4, 16, QLatin1Char('0'))));
}

// The bytes public ESC/POS encoders write for a receipt: every byte read as a
// command or text, one page, and the codes on it as a scanner reads them.
void TestPaper::encoderReceipts()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    Rig rig;
    rig.run(bytes);
    static const QRegularExpression fault(QStringLiteral("^(skip|unknown)|truncated|no 00"));
    QVERIFY(!rig.decoded().isEmpty());
    QCOMPARE(rig.decoded().filter(fault).join(QStringLiteral(" | ")), QString());
    QCOMPARE(rig.pages.size(), size_t(1));
    QCOMPARE(scannedCodes(rig.pages.front().image).join(QStringLiteral(" | ")), expected);
}

QTEST_MAIN(TestPaper)
#include "tst_vp_paper.moc"
