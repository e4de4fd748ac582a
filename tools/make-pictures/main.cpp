// Draws the constant raster pictures that Printer Kivo prints and writes them
// as binary PBM (P4) files. The pixel payload of such a file is exactly the
// controller's raster layout: rows from the top, each row a whole number of
// bytes, most significant bit = leftmost dot, 1 = black dot. The files are
// committed under demos/pictures/ and compiled into the program by
// demos/pictures/embed-pbm.cmake; run this tool only to change the artwork.
//
// Regenerate all six pictures, from the repository root:
//   cmake --build build --target make-pictures
//   ./build/tools/make-pictures art demos/pictures
//   qrencode -v 2 -l M -s 8 -m 2 -o /tmp/qr-sample.png "Printer Kivo VX02x sample"
//   ./build/tools/make-pictures qr /tmp/qr-sample.png demos/pictures/qr-sample.pbm
// To look at the result (enlarged PNG files, one per PBM file):
//   ./build/tools/make-pictures preview /tmp/pictures demos/pictures/*.pbm
//
// Text is drawn with the DejaVu fonts of Debian's fonts-dejavu-core, loaded
// from their files so that fontconfig's defaults play no part. Everything is
// drawn in black on white and cut to one bit at half intensity: the thermal
// head has no grey.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <QTextStream>
#include <QtMath>

#include <cstdio>

#include <functional>

namespace {

const QString kFontFolder = QStringLiteral("/usr/share/fonts/truetype/dejavu/");

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

// --- Fonts -------------------------------------------------------------------

// Loads DejaVu Sans and DejaVu Sans Bold; returns their family name, or an
// empty string when a file is missing.
QString loadDejaVuSans()
{
    QString family;
    for (const char *file : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf"}) {
        const QString path = kFontFolder + QLatin1String(file);
        const QStringList families = QFontDatabase::applicationFontFamilies(QFontDatabase::addApplicationFont(path));
        if (families.isEmpty()) {
            err() << "cannot load " << path << " (Debian package fonts-dejavu-core)\n";
            return {};
        }
        family = families.first();
    }
    return family;
}

QFont makeFont(const QString &family, bool bold, int pixelSize = 100)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setKerning(true);
    return font;
}

// --- Canvas and one-bit conversion ----------------------------------------

QImage whiteCanvas(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

bool isInk(const QImage &image, int x, int y) { return qGray(image.pixel(x, y)) < 128; }

// The P4 payload of an image: dots darker than half intensity are printed.
QByteArray rasterBytes(const QImage &image)
{
    const int bytesPerRow = (image.width() + 7) / 8;
    QByteArray bytes(qsizetype(bytesPerRow) * image.height(), '\0');
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (isInk(image, x, y))
                bytes[y * bytesPerRow + x / 8] = char(uchar(bytes[y * bytesPerRow + x / 8]) | (0x80 >> (x % 8)));
    return bytes;
}

bool writePbm(const QString &path, const QImage &image, const QString &comment)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        err() << "cannot write " << path << ": " << file.errorString() << "\n";
        return false;
    }
    const QByteArray header = "P4\n# " + comment.toUtf8() + "\n" + QByteArray::number(image.width()) + ' '
        + QByteArray::number(image.height()) + '\n';
    const bool ok = file.write(header) == header.size() && file.write(rasterBytes(image)) >= 0;
    if (!ok || !file.flush()) {
        err() << "cannot write " << path << "\n";
        return false;
    }
    return true;
}

// --- Text ---------------------------------------------------------------

// The ink box of a line of text set at the origin, on the baseline y = 0.
QRectF inkBox(const QString &text, const QFont &font)
{
    QPainterPath path;
    path.addText(0, 0, font, text);
    return path.boundingRect();
}

// The largest pixel size at which `text` in `family` has an ink box no
// larger than `size`.
QFont fittedFont(const QString &text, const QString &family, bool bold, QSizeF size)
{
    const QRectF ink = inkBox(text, makeFont(family, bold, 100));
    const qreal scale = qMin(size.width() / ink.width(), size.height() / ink.height());
    return makeFont(family, bold, qMax(1, qFloor(100 * scale)));
}

// Large lettering: the glyph outlines themselves, filled, centred across on
// `centreX`, with the top of the ink at row `top` (rounded to whole dots).
// Returns the row below the ink.
int drawOutlineText(QPainter &p, const QString &text, const QFont &font, qreal centreX, int top)
{
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF ink = path.boundingRect();
    path.translate(qRound(centreX - ink.center().x()), qRound(top - ink.top()));
    p.fillPath(path, Qt::black);
    return qCeil(path.boundingRect().bottom());
}

// Small lettering: the hinted glyph images, whose stems fall on whole dots,
// centred across on `centreX` and set on the given baseline.
void drawHintedText(QPainter &p, const QString &text, const QFont &font, qreal centreX, int baseline)
{
    p.setFont(font);
    p.setPen(Qt::black);
    const qreal advance = QFontMetricsF(font).horizontalAdvance(text);
    p.drawText(QPointF(qRound(centreX - advance / 2), baseline), text);
}

// --- Pictures -------------------------------------------------------------

// The maker's logo: the name in large bold letters with a round emblem at the
// upper right.
QImage featureLogo(const QString &sans)
{
    QImage image = whiteCanvas(384, 94);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const QString name = QStringLiteral("Velmora");
    const QFont font = fittedFont(name, sans, true, QSizeF(318, 78));
    const int height = qCeil(inkBox(name, font).height());
    drawOutlineText(p, name, font, 6 + 318 / 2.0, 94 - 10 - height);

    // Emblem: a ring around a black disc with a white chevron, a "V"
    // pointing down.
    const QPointF c(359, 25);
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 19, 19);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(c, 15.5, 15.5);
    QPainterPath chevron;
    chevron.moveTo(c + QPointF(-10, -8));
    chevron.lineTo(c + QPointF(-4.5, -8));
    chevron.lineTo(c + QPointF(0, 2));
    chevron.lineTo(c + QPointF(4.5, -8));
    chevron.lineTo(c + QPointF(10, -8));
    chevron.lineTo(c + QPointF(2.5, 10));
    chevron.lineTo(c + QPointF(-2.5, 10));
    chevron.closeSubpath();
    p.fillPath(chevron, Qt::white);
    return image;
}

// Arrow pictographs, 13 dots high, each a test of whether a dot of its grid
// is black. They are built on whole dots, not drawn with antialiased lines,
// so that they print crisp and symmetric.
constexpr int kArrowHeight = 13;
constexpr int kArrowMid = kArrowHeight / 2;

struct Glyph
{
    int width;
    std::function<bool(int x, int y)> ink;
};

bool solidRight(int x, int y) // 13 dots wide
{
    const int dy = qAbs(y - kArrowMid);
    return (x <= kArrowMid && dy <= 2) || (x >= kArrowMid && dy <= 12 - x);
}

bool inSolidRight(int x, int y) { return x >= 0 && x < 13 && y >= 0 && y < kArrowHeight && solidRight(x, y); }

// The outline of the solid arrow.
bool hollowRight(int x, int y)
{
    if (!solidRight(x, y))
        return false;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (!inSolidRight(x + dx, y + dy))
                return true;
    return false;
}

bool lineNorthEast(int x, int y) // 13 dots wide
{
    const bool head = (y <= 2 && x >= 5) || (x >= 10 && y <= 7);
    const bool shaft = qAbs(x + y - 12) <= 1;
    return head || shaft;
}

bool doubleHorizontal(int x, int y) // 17 dots wide
{
    const int dy = qAbs(y - kArrowMid);
    return dy <= 1 || (x <= 5 && dy <= x) || (x >= 11 && dy <= 16 - x);
}

bool swapArrows(int x, int y) // 13 dots wide: a right arrow above a left arrow
{
    const bool top = (qAbs(y - 3) <= 1 && x <= 9) || (x >= 9 && qAbs(y - 3) <= 12 - x);
    const bool bottom = (qAbs(y - 9) <= 1 && x >= 3) || (x <= 3 && qAbs(y - 9) <= x);
    return top || bottom;
}

bool returnArrow(int x, int y) // 13 dots wide
{
    const bool stem = x >= 10 && y <= 9;
    const bool bar = y >= 7 && y <= 9 && x >= 3;
    const bool head = x <= 4 && qAbs(y - 8) <= x;
    return stem || bar || head;
}

Glyph mirrored(const Glyph &g)
{
    return {g.width, [g](int x, int y) { return g.ink(g.width - 1 - x, y); }};
}

Glyph flipped(const Glyph &g)
{
    return {g.width, [g](int x, int y) { return g.ink(x, kArrowHeight - 1 - y); }};
}

QImage arrowSymbols()
{
    QImage image = whiteCanvas(256, 20);
    const Glyph right{13, solidRight};
    const Glyph up{13, [](int x, int y) { return solidRight(kArrowHeight - 1 - y, x); }};
    const Glyph hollow{13, hollowRight};
    const Glyph northEast{13, lineNorthEast};
    const QList<Glyph> glyphs = {
        mirrored(right),
        right,
        up,
        flipped(up),
        mirrored(hollow),
        hollow,
        mirrored(northEast),
        northEast,
        flipped(northEast),
        flipped(mirrored(northEast)),
        {17, doubleHorizontal},
        {13, swapArrows},
        {13, returnArrow},
    };
    // Six blank dots between glyphs, the row centred across; the glyphs sit
    // on rows 3 to 15.
    const int gap = 6;
    int width = gap * (glyphs.size() - 1);
    for (const Glyph &g : glyphs)
        width += g.width;
    int left = (image.width() - width) / 2;
    const int top = (image.height() - kArrowHeight) / 2;
    for (const Glyph &g : glyphs) {
        for (int y = 0; y < kArrowHeight; ++y)
            for (int x = 0; x < g.width; ++x)
                if (g.ink(x, y))
                    image.setPixel(left + x, top + y, qRgb(0, 0, 0));
        left += g.width + gap;
    }
    return image;
}

// The digits 1 to 4, each in a ring of 16 dots across. At eight dots high no
// outline font keeps its strokes on whole dots, so the digits are drawn here
// dot by dot, with strokes two dots wide.
QImage circledDigits()
{
    static const char *const digits[4][8] = {
        {"..##..", ".###..", "####..", "..##..", "..##..", "..##..", "..##..", "######"},
        {".####.", "##..##", "....##", "...##.", "..##..", ".##...", "##....", "######"},
        {".####.", "##..##", "....##", "..###.", "....##", "....##", "##..##", ".####."},
        {"...###", "..####", ".##.##", "##..##", "######", "....##", "....##", "....##"},
    };
    QImage image = whiteCanvas(72, 20);
    for (int i = 0; i < 4; ++i) {
        // Cells of 18 dots; the ring's centre lies between dots, so that the
        // ring covers dots 1 to 16 of its cell across and rows 2 to 17.
        const int cell = 18 * i;
        const QPointF centre(cell + 9, 10);
        for (int y = 0; y < image.height(); ++y)
            for (int x = cell; x < cell + 18; ++x) {
                const qreal d = QLineF(centre, QPointF(x + 0.5, y + 0.5)).length();
                if (d <= 8.0 && d >= 6.4)
                    image.setPixel(x, y, qRgb(0, 0, 0));
            }
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 6; ++x)
                if (digits[i][y][x] == '#')
                    image.setPixel(cell + 6 + x, 6 + y, qRgb(0, 0, 0));
    }
    return image;
}

// Four lines of large lettering: the maker, the product in two lines and the
// controller family, centred, the two caption lines kept close together.
QImage rasterSample(const QString &sans)
{
    QImage image = whiteCanvas(256, 256);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal width = 236;
    const QString maker = QStringLiteral("Velmora");
    const QString caption1 = QStringLiteral("Thermal Printer");
    const QString caption2 = QStringLiteral("Controller");
    const QString family = QStringLiteral("VX02x");
    // Both caption lines share the size at which the longer one fits.
    const QFont captionFont = fittedFont(caption1, sans, true, QSizeF(width, 40));
    const QList<QPair<QString, QFont>> lines = {
        {maker, fittedFont(maker, sans, true, QSizeF(width, 50))},
        {caption1, captionFont},
        {caption2, captionFont},
        {family, fittedFont(family, sans, true, QSizeF(width, 56))},
    };
    qreal inkRows = 0;
    for (const auto &line : lines)
        inkRows += qCeil(inkBox(line.first, line.second).height());
    // The two caption lines stand closer together than the other lines.
    const qreal space = (image.height() - inkRows) / (lines.size() - 0.5);
    const QList<qreal> spaceAfter = {space, space / 2, space, 0};
    qreal top = space / 2;
    for (int i = 0; i < lines.size(); ++i)
        top = drawOutlineText(p, lines[i].first, lines[i].second, image.width() / 2.0, qRound(top)) + spaceAfter[i];
    return image;
}

// The header of the sample shop receipt: the shop's name across the top, one
// large word in block letters, and four lines of address.
QImage receiptHeader(const QString &sans)
{
    QImage image = whiteCanvas(384, 256);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal centre = image.width() / 2.0;

    const QString shop = QStringLiteral("HOLLYBROOK FARM");
    int bottom = drawOutlineText(p, shop, fittedFont(shop, sans, true, QSizeF(368, 30)), centre, 8);

    // A double rule above and below the large word.
    const auto rule = [&p](int row) {
        p.fillRect(QRect(8, row, 368, 2), Qt::black);
        p.fillRect(QRect(8, row + 4, 368, 1), Qt::black);
    };
    rule(bottom + 8);
    const QString word = QStringLiteral("DAIRY");
    bottom = drawOutlineText(p, word, fittedFont(word, sans, true, QSizeF(340, 84)), centre, bottom + 22);
    rule(bottom + 10);

    const QStringList address = {
        QStringLiteral("Unit 4, Millstone Road"),
        QStringLiteral("Ashby Green  AG4 7PX"),
        QStringLiteral("Tel. 01632 960418"),
        QStringLiteral("Open daily 7:00 - 20:00"),
    };
    const QFont small = makeFont(sans, false, 20);
    const int pitch = 23;
    int baseline = image.height() - 6 - QFontMetrics(small).descent() - pitch * (address.size() - 1);
    for (const QString &line : address) {
        drawHintedText(p, line, small, centre, baseline);
        baseline += pitch;
    }
    return image;
}

// --- Modes --------------------------------------------------------------

int drawArtwork(const QString &folder)
{
    const QString sans = loadDejaVuSans();
    if (sans.isEmpty())
        return 1;
    QDir().mkpath(folder);
    const bool ok = writePbm(folder + "/feature-logo.pbm", featureLogo(sans), "Printer Kivo: maker's logo")
        && writePbm(folder + "/arrow-symbols.pbm", arrowSymbols(), "Printer Kivo: arrow pictographs")
        && writePbm(folder + "/circled-digits.pbm", circledDigits(), "Printer Kivo: circled digits")
        && writePbm(folder + "/raster-sample.pbm", rasterSample(sans), "Printer Kivo: raster sample")
        && writePbm(folder + "/receipt-header.pbm", receiptHeader(sans), "Printer Kivo: receipt header");
    return ok ? 0 : 1;
}

// Turns qrencode's PNG (232 x 232 dots: 25 modules of 8 dots and a margin of
// two modules) into the QR sample picture.
int convertQr(const QString &pngPath, const QString &pbmPath)
{
    const QImage png(pngPath);
    if (png.isNull()) {
        err() << "cannot read " << pngPath << "\n";
        return 1;
    }
    if (png.size() != QSize(232, 232)) {
        err() << pngPath << " is " << png.width() << " x " << png.height()
              << " dots; expected 232 x 232 (qrencode -v 2 -l M -s 8 -m 2)\n";
        return 1;
    }
    for (int y = 0; y < png.height(); ++y)
        for (int x = 0; x < png.width(); ++x) {
            const int grey = qGray(png.pixel(x, y));
            if (grey != 0 && grey != 255) {
                err() << pngPath << " has a grey dot at " << x << ", " << y << "\n";
                return 1;
            }
        }
    return writePbm(pbmPath, png, "Printer Kivo: QR code sample, version 2-M") ? 0 : 1;
}

// Writes every PBM file as a PNG, enlarged (at least twice, small pictures
// more) for looking at.
int preview(const QString &folder, const QStringList &pbmPaths)
{
    QDir().mkpath(folder);
    for (const QString &path : pbmPaths) {
        const QImage image(path);
        if (image.isNull()) {
            err() << "cannot read " << path << "\n";
            return 1;
        }
        const int scale = qMax(2, 768 / image.width());
        const QImage big = image.convertToFormat(QImage::Format_RGB32).scaled(image.size() * scale);
        const QString out = folder + '/' + QFileInfo(path).completeBaseName() + ".png";
        if (!big.save(out)) {
            err() << "cannot write " << out << "\n";
            return 1;
        }
    }
    return 0;
}

int usage()
{
    err() << "usage: make-pictures art <output folder>\n"
             "       make-pictures qr <qrencode PNG> <output PBM>\n"
             "       make-pictures preview <output folder> <PBM file>...\n";
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    // Draw without a display; fonts come from their files, not from the desktop.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == "art")
        return drawArtwork(args[1]);
    if (args.size() == 3 && args[0] == "qr")
        return convertQr(args[1], args[2]);
    if (args.size() >= 3 && args[0] == "preview")
        return preview(args[1], args.mid(2));
    return usage();
}
