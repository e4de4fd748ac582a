#include "bitmap/monoimage.h"

#include <QPainter>

#include <cstring>

namespace bitmap {

namespace {

// A colour as it looks on white paper: opaque.
QRgb onPaper(QRgb colour)
{
    const int alpha = qAlpha(colour);
    auto blend = [alpha](int channel) { return (channel * alpha + 255 * (255 - alpha) + 127) / 255; };
    return qRgb(blend(qRed(colour)), blend(qGreen(colour)), blend(qBlue(colour)));
}

// The two colours that Qt shows for the bits 0 and 1 of a 1-bit image with
// this colour table. A table may be empty or hold a single entry; Qt then
// fills in colours of its own, so they are asked of Qt rather than guessed.
QList<QRgb> shownColours(const QList<QRgb> &table)
{
    QImage probe(2, 1, QImage::Format_Mono);
    probe.setColorTable(table);
    probe.scanLine(0)[0] = 0x40; // pixel 0 is a 0 bit, pixel 1 a 1 bit
    const QImage shown = probe.convertToFormat(QImage::Format_ARGB32);
    return {shown.pixel(0, 0), shown.pixel(1, 0)};
}

// Number of whole bytes and leftover bits that the pixels of a row fill.
struct RowExtent
{
    int wholeBytes;
    int restBits;
    uchar restMask() const { return restBits ? uchar(0xFF << (8 - restBits)) : uchar(0); }
};

RowExtent rowExtent(int width) { return {width / 8, width % 8}; }

// True when every pixel of the image has the bit `bit` (padding ignored).
bool allPixelsAre(const QImage &mono, bool bit)
{
    const RowExtent extent = rowExtent(mono.width());
    const uchar full = bit ? 0xFF : 0x00;
    for (int y = 0; y < mono.height(); ++y) {
        const uchar *row = mono.constScanLine(y);
        for (int i = 0; i < extent.wholeBytes; ++i)
            if (row[i] != full)
                return false;
        if (extent.restBits && (row[extent.wholeBytes] & extent.restMask()) != (full & extent.restMask()))
            return false;
    }
    return true;
}

// An 8-bit image with a colour table of fewer than 256 entries, with every
// index given a colour. A damaged file can use indices past its table, and
// Qt's conversions disagree on those pixels (black, transparent, or whatever
// lies in memory past the table); here they are white paper. An image
// without a table gets the grey ramp Qt reads it with.
QImage withEveryIndexColoured(const QImage &image)
{
    if (image.format() != QImage::Format_Indexed8 || image.colorCount() >= 256)
        return image;
    QList<QRgb> table = image.colorTable();
    if (table.isEmpty()) {
        for (int i = 0; i < 256; ++i)
            table.append(qRgb(i, i, i));
    } else {
        table.resize(256, qRgb(255, 255, 255));
    }
    QImage coloured = image;
    coloured.setColorTable(table);
    return coloured;
}

} // namespace

int lightnessOnPaper(QRgb colour) { return qGray(onPaper(colour)); }

QImage normalisedMono(const QImage &oneBit)
{
    if (oneBit.isNull())
        return {};
    QImage mono = oneBit.format() == QImage::Format_Mono ? oneBit : oneBit.convertToFormat(QImage::Format_Mono);
    if (mono.isNull())
        return {};

    const QList<QRgb> shown = shownColours(mono.colorTable());
    const QRgb colour0 = onPaper(shown[0]);
    const QRgb colour1 = onPaper(shown[1]);
    const int lightness0 = qGray(colour0);
    const int lightness1 = qGray(colour1);

    // Only touch the pixels when they must change: the image may share its
    // pixels with the caller's copy.
    if (lightness1 > lightness0) {
        // The 1 bits are the lighter colour: swap the meanings.
        for (int y = 0; y < mono.height(); ++y) {
            uchar *row = mono.scanLine(y);
            for (int i = 0; i < mono.bytesPerLine(); ++i)
                row[i] = uchar(~row[i]);
        }
        mono.setColorTable({colour1, colour0});
        return mono;
    }
    if (lightness1 == lightness0) {
        // One shade only: no bit is darker than the other, so every pixel
        // prints as that shade.
        const bool dark = lightness0 < 128;
        if (!allPixelsAre(mono, dark))
            mono.fill(dark ? 1u : 0u);
    }
    const QList<QRgb> table{colour0, colour1};
    if (mono.colorTable() != table)
        mono.setColorTable(table);
    return mono;
}

QImage toPrintableMono(const QImage &image)
{
    if (image.isNull())
        return {};
    if (image.depth() <= 1)
        return normalisedMono(image);

    const QImage source = withEveryIndexColoured(image);
    if (!source.hasAlphaChannel())
        return normalisedMono(source.convertToFormat(QImage::Format_Mono));
    // Qt's conversion to 1 bit ignores transparency, so the usual "black,
    // fully transparent" background would turn into solid black and hide
    // the drawing on it. The paper is white: lay the image on white first.
    const QImage paper = onWhitePaper(source);
    return paper.isNull() ? QImage() : normalisedMono(paper.convertToFormat(QImage::Format_Mono));
}

QImage onWhitePaper(const QImage &image)
{
    if (image.isNull())
        return {};
    const QImage source = withEveryIndexColoured(image);
    if (!source.hasAlphaChannel())
        return source.format() == QImage::Format_RGB32 ? source : source.convertToFormat(QImage::Format_RGB32);
    QImage paper(source.size(), QImage::Format_RGB32);
    if (paper.isNull())
        return {};
    paper.fill(Qt::white);
    {
        QPainter painter(&paper);
        painter.drawImage(QPoint(0, 0), source);
    }
    return paper;
}

QByteArray rasterRows(const QImage &image)
{
    const QImage mono = normalisedMono(image);
    if (mono.isNull())
        return {};
    const int bytesPerLine = int(mono.bytesPerLine());
    const RowExtent extent = rowExtent(mono.width());

    QByteArray rows(qsizetype(bytesPerLine) * mono.height(), Qt::Uninitialized);
    uchar *out = reinterpret_cast<uchar *>(rows.data());
    for (int y = 0; y < mono.height(); ++y, out += bytesPerLine) {
        const uchar *in = mono.constScanLine(y);
        std::memcpy(out, in, size_t(extent.wholeBytes));
        int used = extent.wholeBytes;
        if (extent.restBits)
            out[used] = in[used] & extent.restMask(), ++used;
        std::memset(out + used, 0, size_t(bytesPerLine - used));
    }
    return rows;
}

int rowsPerBand(int bytesPerLine, qsizetype bandBytes)
{
    if (bandBytes < 0 || bytesPerLine <= 0)
        return maxRowsPerCommand;
    return int(qBound(qsizetype(1), bandBytes / bytesPerLine, qsizetype(maxRowsPerCommand)));
}

QList<RasterBand> rasterBands(int height, int rowsPerBand)
{
    QList<RasterBand> bands;
    for (int first = 0; first < height; first += rowsPerBand)
        bands.append({first, qMin(rowsPerBand, height - first)});
    return bands;
}

QList<printer::Command> rasterCommands(const QByteArray &rows, int bytesPerLine, qsizetype bandBytes)
{
    QList<printer::Command> commands;
    if (bytesPerLine <= 0)
        return commands;
    const auto *data = reinterpret_cast<const uint8_t *>(rows.constData());
    const int height = int(rows.size() / bytesPerLine);
    for (const RasterBand &band : rasterBands(height, rowsPerBand(bytesPerLine, bandBytes)))
        commands.append(printer::picturePrintH(0, uint16_t(bytesPerLine), uint16_t(band.rows),
                                               data + qsizetype(band.firstRow) * bytesPerLine));
    return commands;
}

} // namespace bitmap
