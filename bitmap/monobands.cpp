#include "bitmap/monobands.h"

#include <cstring>

namespace bitmap {

namespace {

bool fits(QSize source, const PictureOptions &options)
{
    return options.fitToWidth && source.width() != options.paperWidth && !source.isEmpty();
}

// Bayer's 8 x 8 matrix: each value a threshold step of 1/64.
constexpr uchar bayer8[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},    {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},   {63, 31, 55, 23, 61, 29, 53, 21},
};

// v / 16 rounded down, as Qt's arithmetic shift gives it.
int sixteenths(int v) { return v >= 0 ? v / 16 : -((15 - v) / 16); }

} // namespace

QSize MonoBands::resultSize(QSize source, const PictureOptions &options)
{
    if (!fits(source, options))
        return source;
    const int width = options.paperWidth;
    return {width, qMax(1, int((qint64(source.height()) * width + source.width() / 2) / source.width()))};
}

MonoBands::MonoBands(QSize source, const PictureOptions &options)
    : options(options)
    , mono(resultSize(source, options), QImage::Format_Mono)
{
    if (mono.isNull())
        return;
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    if (fits(source, options))
        scaler = std::make_unique<RowScaler>(source, mono.size());
    if (options.greys == GreyToMono::Diffusion)
        errors.assign(size_t(mono.width()) + 1, 0);
}

QImage MonoBands::rowsOf(const QImage &picture, int first, int count)
{
    QImage rows(picture.constScanLine(first), picture.width(), count, picture.bytesPerLine(), picture.format());
    rows.setColorTable(picture.colorTable());
    return rows;
}

int MonoBands::bandRows(int width) { return qMax(1, (1 << 20) / qMax(1, width)); }

bool MonoBands::addBand(const QImage &band)
{
    if (band.isNull() || mono.isNull())
        return false;
    if (nextRow == 0 && !scaler && options.greys == GreyToMono::Diffusion && band.depth() <= 1) {
        keepBits = true;
        // Each band is made the one form as the whole picture would be.
    }
    if (keepBits) {
        const QImage kept = normalisedMono(band);
        if (kept.isNull())
            return false;
        if (nextRow == 0)
            mono.setColorTable(kept.colorTable());
        for (int y = 0; y < kept.height() && nextRow < mono.height(); ++y) {
            uchar *out = mono.scanLine(nextRow);
            std::memcpy(out, kept.constScanLine(y), size_t(mono.bytesPerLine()));
            finishRow(out);
        }
        return true;
    }
    // As it looks on paper, then scaled, then made dots.
    const QImage paper = onWhitePaper(band);
    if (paper.isNull())
        return false;
    for (int y = 0; y < paper.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(paper.constScanLine(y));
        if (scaler)
            scaler->addRow(row, [this](const QRgb *scaled) { addPaperRow(scaled); });
        else
            addPaperRow(row);
    }
    return true;
}

void MonoBands::addPaperRow(const QRgb *row)
{
    if (nextRow >= mono.height())
        return;
    uchar *out = mono.scanLine(nextRow);
    std::memset(out, 0, size_t(mono.bytesPerLine()));
    if (options.greys == GreyToMono::Diffusion) {
        diffuse(row, out);
    } else {
        const int y = nextRow;
        for (int x = 0; x < mono.width(); ++x) {
            // The ordered levels sit between the 64 steps: 2, 6, ... 254.
            const int below =
                options.greys == GreyToMono::Ordered ? 4 * bayer8[y & 7][x & 7] + 2 : options.thresholdLevel;
            if (qGray(row[x]) < below)
                out[x >> 3] |= uchar(0x80 >> (x & 7));
        }
    }
    finishRow(out);
}

// Qt's error diffusion (its conversion to Format_Mono): a dot where the
// grey with the error brought to it is below 128; of the error, 7/16 go to
// the right, 5/16 below, 3/16 below left (each rounded) and the rest below
// right. What goes below waits in `errors` for the next row.
void MonoBands::diffuse(const QRgb *row, uchar *out)
{
    const int width = mono.width();
    std::vector<int> line(size_t(width), 0);
    for (int x = 0; x < width; ++x)
        line[size_t(x)] = qGray(row[x]) + errors[size_t(x)];
    std::fill(errors.begin(), errors.end(), 0);
    for (int x = 0; x < width; ++x) {
        const int grey = line[size_t(x)];
        const int error = grey < 128 ? grey : grey - 255;
        if (grey < 128)
            out[x >> 3] |= uchar(0x80 >> (x & 7));
        const int right = sixteenths(error * 7 + 8), below = sixteenths(error * 5 + 8);
        const int belowLeft = sixteenths(error * 3 + 8);
        if (x + 1 < width)
            line[size_t(x) + 1] += right;
        errors[size_t(x)] += below;
        if (x > 0)
            errors[size_t(x) - 1] += belowLeft;
        if (x + 1 < width)
            errors[size_t(x) + 1] += error - right - below - belowLeft;
    }
}

void MonoBands::finishRow(uchar *out)
{
    if (options.invert)
        for (qsizetype i = 0; i < mono.bytesPerLine(); ++i)
            out[i] = uchar(~out[i]);
    ++nextRow;
}

} // namespace bitmap
