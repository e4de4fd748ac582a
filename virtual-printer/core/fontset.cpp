#include "fontset.h"

#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include "decoder/textcodec.h"

#include <algorithm>
#include <cmath>

namespace kvp {

namespace {
constexpr qreal loadSize = 64.0; // outlines are taken at this size and scaled

// No glyph: an empty box, as the controller prints for unknown characters.
InkMask emptyBox(int cellWidth, int cellHeight)
{
    InkMask mask(cellWidth, cellHeight);
    const int x0 = 1, y0 = cellHeight / 6, x1 = cellWidth - 2, y1 = cellHeight - cellHeight / 6 - 1;
    for (int x = x0; x <= x1; ++x)
        mask.bits[y0 * cellWidth + x] = mask.bits[y1 * cellWidth + x] = 1;
    for (int y = y0; y <= y1; ++y)
        mask.bits[y * cellWidth + x0] = mask.bits[y * cellWidth + x1] = 1;
    return mask;
}

// Where a glyph outline goes in its cell: scaled to the cell (shrunk when it
// would not fit), centred on its advance, and moved back inside the cell
// where it sticks out.
QTransform placeGlyph(const QRawFont &font, const QRectF &bounds, qreal advance, int cellWidth, int cellHeight,
                      bool wide)
{
    const qreal pixelSize = wide ? std::min(cellWidth, cellHeight) * 0.92 : cellHeight * 0.75;
    qreal scale = pixelSize / loadSize;
    if (bounds.height() * scale > cellHeight)
        scale = (cellHeight - 0.5) / bounds.height();
    qreal sx = scale;
    if (bounds.width() * sx > cellWidth)
        sx = (cellWidth - 0.5) / bounds.width();

    qreal baseline = (cellHeight - (font.ascent() + font.descent()) * scale) / 2 + font.ascent() * scale;
    const qreal top = baseline + bounds.top() * scale;
    const qreal bottom = baseline + bounds.bottom() * scale;
    if (top < 0)
        baseline -= top;
    else if (bottom > cellHeight)
        baseline -= bottom - cellHeight;

    qreal x = advance > 0 && advance * sx <= cellWidth ? (cellWidth - advance * sx) / 2
                                                       : (cellWidth - bounds.width() * sx) / 2 - bounds.left() * sx;
    const qreal left = x + bounds.left() * sx;
    const qreal right = x + bounds.right() * sx;
    if (left < 0)
        x -= left;
    else if (right > cellWidth)
        x -= right - cellWidth;

    QTransform transform;
    transform.translate(x, baseline);
    transform.scale(sx, scale);
    return transform;
}

// The outline filled without anti-aliasing, one bit per dot.
InkMask fill(const QPainterPath &outline, int cellWidth, int cellHeight)
{
    QImage image(cellWidth, cellHeight, QImage::Format_Grayscale8);
    image.fill(255);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.fillPath(outline, Qt::black);
    }
    InkMask mask(cellWidth, cellHeight);
    for (int y = 0; y < cellHeight; ++y) {
        const uchar *row = image.constScanLine(y);
        for (int cx = 0; cx < cellWidth; ++cx)
            mask.bits[y * cellWidth + cx] = row[cx] < 128 ? 1 : 0;
    }
    return mask;
}
} // namespace

QStringList FontSet::defaultFiles()
{
    return {
        QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"),
        QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"),
        QStringLiteral("/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"),
    };
}

FontSet::FontSet(const QStringList &files)
{
    for (const QString &file : files) {
        Face face;
        if (QFileInfo::exists(file))
            face.font = QRawFont(file, loadSize, QFont::PreferNoHinting);
        if (!face.font.isValid()) {
            missing << file;
            continue;
        }
        face.cjk = face.font.supportsCharacter(QChar(0x3042)) && face.font.supportsCharacter(QChar(0x4E2D));
        faces.push_back(face);
    }
}

FontSet &FontSet::shared()
{
    static FontSet instance;
    return instance;
}

const FontSet::Face *FontSet::faceFor(char32_t code, bool wide) const
{
    if (code == replacementCharacter)
        return nullptr;
    if (wide)
        for (const Face &f : faces)
            if (f.cjk && f.font.supportsCharacter(static_cast<uint>(code)))
                return &f;
    for (const Face &f : faces)
        if (f.font.supportsCharacter(static_cast<uint>(code)))
            return &f;
    return nullptr;
}

char32_t FontSet::drawable(char32_t code) const
{
    if (faceFor(code, false))
        return code;
    const QList<uint> compatible = QString::fromUcs4(&code, 1).normalized(QString::NormalizationForm_KC).toUcs4();
    return compatible.size() == 1 && faceFor(compatible.first(), false) ? compatible.first() : code;
}

InkMask FontSet::render(char32_t wanted, int cellWidth, int cellHeight, bool wide) const
{
    const char32_t code = drawable(wanted);
    const Face *face = faceFor(code, wide);
    if (!face)
        return emptyBox(cellWidth, cellHeight);
    const QRawFont &font = face->font;
    const QList<quint32> glyphs = font.glyphIndexesForString(QString::fromUcs4(&code, 1));
    if (glyphs.isEmpty() || glyphs.first() == 0)
        return render(replacementCharacter, cellWidth, cellHeight, wide);
    const QPainterPath path = font.pathForGlyph(glyphs.first());
    const qreal advance = font.advancesForGlyphIndexes(glyphs).first().x();
    const QTransform transform = placeGlyph(font, path.boundingRect(), advance, cellWidth, cellHeight, wide);
    return fill(transform.map(path), cellWidth, cellHeight);
}

} // namespace kvp
