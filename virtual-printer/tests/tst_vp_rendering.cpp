// What lands on the paper: pictures dot for dot, text geometry for every
// print mode and layout command, darkness levels, and where pages end.

#include "renderer.h"
#include "vpstream.h"

#include <QtTest>

using vptest::inkColumns;
using vptest::inkIn;
using vptest::Rig;
using vptest::Stream;

namespace {
QImage onlyPage(const Rig &rig) { return rig.pages.size() == 1 ? rig.pages.front().image : QImage(); }

QImage print(const Stream &s)
{
    Rig rig;
    rig.run(s.bytes);
    return onlyPage(rig);
}

bool bitSet(const QByteArray &data, int widthBytes, int x, int y)
{
    return static_cast<unsigned char>(data[y * widthBytes + x / 8]) & (0x80 >> (x % 8));
}

int darkestGrey(const QImage &image)
{
    int g = 255;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            g = std::min(g, qGray(image.pixel(x, y)));
    return g;
}
} // namespace

class TestRendering : public QObject
{
    Q_OBJECT
private slots:
    void rasterIsDotExact();
    void rasterModesAndClipping();
    void storedPictureMatchesRaster();
    void separatorFitsOneStandardLine();
    void printModesChangeTheCells();
    void smallFontIsNarrower();
    void darknessLevels();
    void justificationAndMargins();
    void tabsAndAbsolutePosition();
    void lineSpacingAndFeeds();
    void initializeResetsTheModes();
    void charactersWithoutGlyphAndDoubleByteCells();
    void pagesEndAtCutsLabelsAndLength();
};

void TestRendering::rasterIsDotExact()
{
    const QByteArray data = vptest::randomBytes(99, 48 * 50);
    const QImage page = print(Stream().init().raster(0, 48, 50, data));
    QCOMPARE(page.size(), QSize(384, 50));
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 384; ++x)
            QCOMPARE(qGray(page.pixel(x, y)), bitSet(data, 48, x, y) ? 0 : 255);
}

void TestRendering::rasterModesAndClipping()
{
    const QByteArray data = vptest::randomBytes(5, 4 * 10);
    // Mode 3 doubles both ways; the left margin moves the picture.
    const QImage big = print(Stream().leftMargin(16).raster(3, 4, 10, data));
    QCOMPARE(big.height(), 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 384; ++x) {
            const bool ink = x >= 16 && x < 16 + 64 && bitSet(data, 4, (x - 16) / 2, y / 2);
            QCOMPARE(qGray(big.pixel(x, y)), ink ? 0 : 255);
        }
    // Centred, a 32-dot picture starts at (384 - 32) / 2.
    const QImage centred = print(Stream().justify(1).raster(0, 4, 1, QByteArray(4, '\xFF')));
    QCOMPARE(inkColumns(centred), std::make_pair(176, 207));
    // Wider than the paper: cut at the edge, the rest of each row is skipped.
    QByteArray wide(qsizetype(60) * 2, '\0');
    wide[47] = '\x01'; // last dot on the paper, row 0
    wide[48] = '\xFF'; // beyond the paper, row 0
    wide[60] = '\x80'; // first dot of row 1
    const QImage clipped = print(Stream().raster(0, 60, 2, wide));
    QCOMPARE(clipped.size(), QSize(384, 2));
    QCOMPARE(inkIn(clipped, 0, 0, 384, 1), 1);
    QCOMPARE(qGray(clipped.pixel(383, 0)), 0);
    QCOMPARE(qGray(clipped.pixel(0, 1)), 0);
}

void TestRendering::storedPictureMatchesRaster()
{
    const QByteArray data = vptest::randomBytes(11, 6 * 12);
    const QImage viaRaster = print(Stream().raster(0, 6, 12, data));
    const QImage viaStore = print(Stream().store(7, 0, 6, 12, data).text("").printPicture(7, 0));
    QCOMPARE(viaStore, viaRaster);
    Rig missing;
    missing.run(Stream().printPicture(8, 0).bytes);
    QVERIFY(missing.pages.empty());
    QVERIFY(missing.log.lines().join('\n').contains(QStringLiteral("no picture stored at location 8")));
}

void TestRendering::separatorFitsOneStandardLine()
{
    const QImage one = print(Stream().line("................................."));
    QCOMPARE(one.height(), kvp::defaultLineSpacing);
    QVERIFY(inkColumns(one).second < 384);
    // Two more characters wrap onto a second line.
    const QImage two = print(Stream().line("..................................."));
    QCOMPARE(two.height(), 2 * kvp::defaultLineSpacing);
}

void TestRendering::printModesChangeTheCells()
{
    const QImage normal = print(Stream().line("HHHH"));
    const QImage bold = print(Stream().mode(0x08).line("HHHH"));
    const QImage italic = print(Stream().mode(0x02).line("HHHH"));
    const QImage wide = print(Stream().mode(0x20).line("HHHH"));
    const QImage tall = print(Stream().mode(0x10).line("HHHH"));
    const QImage reverse = print(Stream().mode(0x40).line("HHHH"));
    const QImage under = print(Stream().mode(0x80).line("HHHH"));
    const QImage both = print(Stream().mode(0x30).line("HHHH"));

    const int inkNormal = inkIn(normal, 0, 0, 384, 24);
    QVERIFY(inkNormal > 50);
    QVERIFY(inkIn(bold, 0, 0, 384, 24) > inkNormal * 5 / 4);
    QVERIFY(italic != normal);
    QVERIFY(std::abs(inkIn(italic, 0, 0, 384, 24) - inkNormal) < inkNormal / 4);
    // Four cells of 11 dots, doubled in width.
    QVERIFY(inkColumns(normal).second < 44);
    QVERIFY(inkColumns(wide).second >= 44 && inkColumns(wide).second < 88);
    QCOMPARE(inkIn(wide, 0, 0, 384, 48), inkNormal * 2);
    // Double height: a 48-dot line, taller than the 33-dot spacing.
    QCOMPARE(tall.height(), 48);
    QCOMPARE(inkIn(tall, 0, 0, 384, 48), inkNormal * 2);
    QCOMPARE(inkIn(both, 0, 0, 384, 48), inkNormal * 4);
    // Reverse inks the cells and leaves the letters white.
    QCOMPARE(inkIn(reverse, 0, 0, 44, 24), 44 * 24 - inkNormal);
    // Underline: the bottom two rows of the four cells.
    QCOMPARE(inkIn(under, 0, 22, 44, 24), 88);
    QCOMPARE(inkIn(under, 44, 0, 384, 33), 0);
}

void TestRendering::smallFontIsNarrower()
{
    // 48 small characters fill a 384-dot line exactly; a 49th wraps.
    const QImage line = print(Stream().font(1).line(QByteArray(48, 'M').constData()));
    QCOMPARE(line.height(), kvp::defaultLineSpacing);
    QVERIFY(inkColumns(line).second >= 376);
    const QImage wrapped = print(Stream().font(1).line(QByteArray(49, 'M').constData()));
    QCOMPARE(wrapped.height(), 2 * kvp::defaultLineSpacing);
    QVERIFY(inkIn(line, 0, 16, 384, 33) == 0); // 16-dot cells
}

void TestRendering::darknessLevels()
{
    QCOMPARE(darkestGrey(print(Stream().line("W"))), 0); // 0 is the default, black
    int previous = 256;
    for (int level = 1; level <= 8; ++level) {
        const int grey = darkestGrey(print(Stream().darkness(level).line("W")));
        QCOMPARE(grey, kvp::inkForDarkness(level));
        QVERIFY(grey < previous);
        previous = grey;
    }
    QCOMPARE(previous, 0);
    // Darkness is a text setting: pictures stay black.
    QCOMPARE(darkestGrey(print(Stream().darkness(1).raster(0, 1, 1, QByteArray(1, '\x80')))), 0);
}

void TestRendering::justificationAndMargins()
{
    const int width = 4 * 11;
    const auto left = inkColumns(print(Stream().line("WWWW")));
    const auto centre = inkColumns(print(Stream().justify(1).line("WWWW")));
    const auto right = inkColumns(print(Stream().justify(2).line("WWWW")));
    const int centreShift = centre.first - left.first;
    QCOMPARE(centreShift, (384 - width) / 2);
    QCOMPARE(right.first - left.first, 384 - width);
    // Margins in dots: the left margin moves the line start; the right margin
    // moves the wrap point.
    const auto margined = inkColumns(print(Stream().leftMargin(8).line("WWWW")));
    QCOMPARE(margined.first - left.first, 8);
    // 346 dots hold 31 cells of 11 dots.
    QCOMPARE(print(Stream().rightMargin(38).line(QByteArray(31, '.').constData())).height(), 33);
    QCOMPARE(print(Stream().rightMargin(38).line(QByteArray(32, '.').constData())).height(), 66);
    // Right justification respects the right margin.
    const auto rightMargined = inkColumns(print(Stream().rightMargin(40).justify(2).line("WWWW")));
    QCOMPARE(rightMargined.first - left.first, 384 - 40 - width);
}

void TestRendering::tabsAndAbsolutePosition()
{
    // Tab stops count in 8-dot units: 8, 24 and 38 are dots 64, 192 and 304.
    const QImage tabbed = print(Stream().tabs({8, 24, 38}).ht().text("I").ht().text("I").ht().text("I").lf());
    const QImage plain = print(Stream().line("I"));
    const int glyph = inkColumns(plain).first; // where I sits in its cell
    QCOMPARE(inkIn(tabbed, 0, 0, 64, 33), 0);
    QVERIFY(inkIn(tabbed, 64 + glyph, 0, 64 + glyph + 1, 33) > 0);
    QVERIFY(inkIn(tabbed, 192 + glyph, 0, 192 + glyph + 1, 33) > 0);
    QVERIFY(inkIn(tabbed, 304 + glyph, 0, 304 + glyph + 1, 33) > 0);
    QCOMPARE(inkIn(tabbed, 0, 0, 384, 33), 3 * inkIn(plain, 0, 0, 384, 33));
    // Without stops set, every 64 dots.
    QCOMPARE(inkColumns(print(Stream().ht().line("I"))).first, 64 + glyph);
    // The absolute position is in dots from the line start.
    QCOMPARE(inkColumns(print(Stream().absPos(50).line("I"))).first, 50 + glyph);
    QCOMPARE(inkColumns(print(Stream().absPos(300).line("I"))).first, 300 + glyph);
}

void TestRendering::lineSpacingAndFeeds()
{
    QCOMPARE(print(Stream().spacing(66).line("a").line("a")).height(), 132);
    QCOMPARE(print(Stream().spacing(66).spacingDefault().line("a").line("a")).height(), 66);
    // Feeds count only when something follows or the page ends.
    QCOMPARE(print(Stream().line("a").feedDots(20).line("a")).height(), 33 + 20 + 33);
    QCOMPARE(print(Stream().line("a").feedLines(5).line("a")).height(), 33 + 5 * 33 + 33);
    // A pending line is printed by the feed itself.
    QCOMPARE(print(Stream().text("a").feedDots(40).line("a")).height(), 40 + 33);
    QCOMPARE(print(Stream().text("a").feedLines(2).line("a")).height(), 66 + 33);
    // CR prints a pending line and is ignored on an empty one.
    QCOMPARE(print(Stream().line("a").cr().line("a")).height(), 66);
    QCOMPARE(print(Stream().text("a").cr().line("a")).height(), 66);
}

void TestRendering::initializeResetsTheModes()
{
    const QImage reset =
        print(Stream().mode(0x70).font(1).justify(2).darkness(1).spacing(80).leftMargin(30).init().line("WWWW"));
    QCOMPARE(reset, print(Stream().line("WWWW")));
    // Initialize also drops characters not yet printed.
    QCOMPARE(print(Stream().text("lost").init().line("WWWW")), print(Stream().line("WWWW")));
}

void TestRendering::charactersWithoutGlyphAndDoubleByteCells()
{
    // U+0180 is outside the ranges the controller supports: an empty box.
    const QImage box = print(Stream().utf16({0x0180}).lf());
    const QImage box2 = print(Stream().utf16({0x0656}).lf());
    QCOMPARE(box, box2);
    QVERIFY(box != print(Stream().utf16({0x01A0}).lf())); // supported: a real glyph
    // Double-byte characters take two cells.
    const auto cjk = inkColumns(print(Stream().dbOn().raw(QByteArray::fromHex("B7C9B7C9")).dbOff().lf()));
    QVERIFY(cjk.second > 22 && cjk.second < 44);
    // The euro sign byte is a glyph, not a box.
    QVERIFY(print(Stream().raw({0x80}).lf()) != print(Stream().utf16({0x0180}).lf()));
}

void TestRendering::pagesEndAtCutsLabelsAndLength()
{
    Rig rig(QString(), 300);
    rig.run(
        Stream().line("one").fullCut().line("two").partialCut().line("three").nextLabel().fullCut().line("four").bytes);
    QCOMPARE(rig.pages.size(), 4u); // the cut right after a label has no ink: no page
    QCOMPARE(rig.pages[0].reason, QStringLiteral("full cut"));
    QCOMPARE(rig.pages[1].reason, QStringLiteral("partial cut"));
    QCOMPARE(rig.pages[2].reason, QStringLiteral("next label"));
    QCOMPARE(rig.pages[3].reason, QStringLiteral("end of stream"));

    // Silence ends the page but keeps a line without its line feed.
    Rig quiet;
    quiet.core.feed(Stream().line("a").text("b").bytes);
    quiet.core.silence();
    QCOMPARE(quiet.pages.size(), 1u);
    QCOMPARE(quiet.pages[0].image.height(), 33);
    quiet.core.finish();
    QCOMPARE(quiet.pages.size(), 2u);

    // A long run is cut into pages of the maximum length.
    Rig longRun(QString(), 300);
    Stream many;
    for (int i = 0; i < 20; ++i)
        many.line("line");
    longRun.run(many.bytes);
    QCOMPARE(longRun.pages.size(), 3u);
    QCOMPARE(longRun.pages[0].reason, QStringLiteral("maximum page length"));
    QVERIFY(longRun.pages[0].image.height() <= 300);
}

QTEST_MAIN(TestRendering)
#include "tst_vp_rendering.moc"
