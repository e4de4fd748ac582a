// What lands on the paper: the rows of data/paper.txt (pictures, text
// geometry, layout, feeds, darkness, page ends, and bar codes and QR codes as
// a scanner reads them), pictures dot for dot, the print modes, and darkness
// levels from light grey to black.

#include "symbols.h"
#include "vpstream.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using vptest::Rig;
using vptest::Stream;

namespace {
// Ink (grey below 128) in a rectangle of a page: the dots, the first and the
// last column with any, and the darkest grey.
struct Ink
{
    int dots = 0, first = -1, last = -1, darkest = 255;
};

Ink inkIn(const QImage &image, const QRect &rect)
{
    Ink ink;
    const QRect r = rect.intersected(image.rect());
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

QString scan(const QImage &page)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("page.png"));
    QProcess zbar;
    if (page.save(png))
        zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--quiet"), png});
    if (!zbar.waitForFinished(30000))
        return QStringLiteral("(zbarimg did not run; tools/setup-debian.sh installs zbar-tools)");
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

// What a check of data/paper.txt looks at, in the form the file writes it.
QString measure(const Rig &rig, const QString &what, const QString &expected)
{
    const QImage first = rig.pages.empty() ? QImage() : rig.pages.front().image;
    const Ink ink = inkIn(first, first.rect());
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
        return scan(first);
    if (what == QLatin1String("log"))
        return log.contains(expected) ? expected : log;
    return QStringLiteral("(no such check)");
}

QImage printed(const Stream &s)
{
    Rig rig;
    rig.run(s.bytes);
    return rig.pages.size() == 1 ? rig.pages.front().image : QImage();
}
} // namespace

class TestPaper : public QObject
{
    Q_OBJECT
private slots:
    void paper_data() { vptest::addRows(QStringLiteral("paper.txt")); }
    void paper();
    void rasterDotForDot();
    void printModes();
    void darknessGoesFromGreyToBlack();
    void columnImagesDotForDot();
    void pdf417CarriesTheStoredData();
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

void TestPaper::rasterDotForDot()
{
    // m bit 0 doubles the width, bit 1 the height; the left margin moves the picture.
    QByteArray data(40, 0); // 4 bytes x 10 rows
    QRandomGenerator(5).generate(data.begin(), data.end());
    for (int mode = 0; mode < 4; ++mode) {
        const int sx = 1 + (mode & 1), sy = 1 + (mode >> 1), margin = 8 * mode;
        const QImage page = printed(Stream().leftMargin(margin).raster(mode, 4, 10, data));
        QCOMPARE(page.size(), QSize(384, 10 * sy));
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < 384; ++x) {
                const int dot = (x - margin) / sx;
                const bool ink = x >= margin && dot < 32 && (data[y / sy * 4 + dot / 8] & (0x80 >> dot % 8));
                QCOMPARE(qGray(page.pixel(x, y)), ink ? 0 : 255);
            }
    }
}

void TestPaper::printModes()
{
    // Four cells of 11 x 24 dots, measured against the same text without a mode.
    const QImage normal = printed(Stream().line("HHHH"));
    const int ink = inkIn(normal, QRect(0, 0, 44, 24)).dots;
    QVERIFY(ink > 50 && inkIn(normal, normal.rect()).dots == ink);
    const struct
    {
        int mode;
        QRect cells;
        int ink;
    } rows[] = {
        {0x20, {0, 0, 88, 24}, 2 * ink},       // double width
        {0x10, {0, 0, 44, 48}, 2 * ink},       // double height
        {0x30, {0, 0, 88, 48}, 4 * ink},       // both
        {0x40, {0, 0, 44, 24}, 44 * 24 - ink}, // reverse: white letters in black cells
        {0x80, {0, 0, 44, 24}, ink - inkIn(normal, QRect(0, 22, 44, 2)).dots + 88}, // underline: the bottom two rows
    };
    for (const auto &row : rows) {
        const QImage image = printed(Stream().mode(row.mode).line("HHHH"));
        QCOMPARE(inkIn(image, row.cells).dots, row.ink);
        QCOMPARE(inkIn(image, image.rect()).dots, row.ink);
    }
    const QImage bold = printed(Stream().mode(0x08).line("HHHH"));
    QVERIFY(inkIn(bold, bold.rect()).dots > ink * 5 / 4);
    const QImage italic = printed(Stream().mode(0x02).line("HHHH"));
    QVERIFY(italic != normal && std::abs(inkIn(italic, italic.rect()).dots - ink) < ink / 4);
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

void TestPaper::columnImagesDotForDot()
{
    // 1B 2A m: each byte a column of 8 dots, the high bit on top; 8-dot modes
    // (m 0, 1) three rows a dot, single density (m 0, 32) two dots wide.
    QByteArray data(30, 0); // 10 columns of 24 dots, or 30 of 8
    QRandomGenerator(7).generate(data.begin(), data.end());
    for (const int mode : {0, 1, 32, 33}) {
        const int perColumn = mode & 32 ? 3 : 1, sx = mode & 1 ? 1 : 2, sy = mode & 32 ? 1 : 3;
        const int columns = static_cast<int>(data.size()) / perColumn;
        Stream s;
        s.raw({0x1B, 0x33, perColumn * 8 * sy, 0x1B, 0x2A, mode, columns, 0});
        s.bytes += data;
        const QImage image = printed(s.raw({0x0A}));
        QCOMPARE(image.height(), perColumn * 8 * sy);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < 384; ++x) {
                const int column = x / sx, dot = y / sy;
                const bool ink = column < columns && (data[column * perColumn + dot / 8] & (0x80 >> dot % 8));
                QCOMPARE(qGray(image.pixel(x, y)), ink ? 0 : 255);
            }
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
    QCOMPARE(rig.decoded().filter(fault), QStringList());
    QCOMPARE(rig.pages.size(), size_t(1));
    QStringList codes = scan(rig.pages.front().image).split(u'\n');
    codes.sort();
    QCOMPARE(codes.join(QStringLiteral(" | ")), expected);
}

QTEST_MAIN(TestPaper)
#include "tst_vp_paper.moc"
