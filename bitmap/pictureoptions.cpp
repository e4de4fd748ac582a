#include "bitmap/pictureoptions.h"

#include <QCoreApplication>

namespace bitmap {

namespace {

QImage scaledToWidth(const QImage &picture, int width)
{
    const int height = qMax(1, int((qint64(picture.height()) * width + picture.width() / 2) / picture.width()));
    // Scaled as it looks on paper, so that transparent parts blend with white.
    return onWhitePaper(picture).scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Bayer's 8 x 8 matrix: each value a threshold step of 1/64.
constexpr uchar bayer8[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},    {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},   {63, 31, 55, 23, 61, 29, 53, 21},
};

// Lightness below the level of its pixel prints a dot.
QImage dotsBelow(const QImage &paper, GreyToMono greys, int level)
{
    QImage mono(paper.size(), QImage::Format_Mono);
    if (mono.isNull())
        return {};
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.fill(0u);
    for (int y = 0; y < paper.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(paper.constScanLine(y));
        uchar *out = mono.scanLine(y);
        for (int x = 0; x < paper.width(); ++x) {
            // The ordered levels sit between the 64 steps: 2, 6, ... 254.
            const int below = greys == GreyToMono::Ordered ? 4 * bayer8[y & 7][x & 7] + 2 : level;
            if (qGray(in[x]) < below)
                out[x >> 3] |= uchar(0x80 >> (x & 7));
        }
    }
    return mono;
}

void invertDots(QImage &mono)
{
    for (int y = 0; y < mono.height(); ++y) {
        uchar *row = mono.scanLine(y);
        for (qsizetype i = 0; i < mono.bytesPerLine(); ++i)
            row[i] = uchar(~row[i]);
    }
}

} // namespace

QImage printablePicture(const QImage &picture, const PictureOptions &options)
{
    if (picture.isNull())
        return {};
    const bool fit = options.fitToWidth && picture.width() != options.paperWidth;
    const QImage source = fit ? scaledToWidth(picture, options.paperWidth) : picture;
    if (source.isNull())
        return {};
    QImage mono;
    if (options.greys == GreyToMono::Diffusion) {
        mono = toPrintableMono(source);
    } else {
        const QImage paper = onWhitePaper(source);
        if (!paper.isNull())
            mono = dotsBelow(paper, options.greys, options.thresholdLevel);
    }
    if (options.invert && !mono.isNull())
        invertDots(mono);
    return mono;
}

QString printedSizeText(const QImage &mono, int paperWidth)
{
    if (mono.isNull())
        return {};
    QString size = QCoreApplication::translate("MainWindow", "Prints %1 x %2 dots, %3 x %4 mm")
                       .arg(mono.width())
                       .arg(mono.height())
                       .arg(double(mono.width()) / dotsPerMm, 0, 'f', 1)
                       .arg(double(mono.height()) / dotsPerMm, 0, 'f', 1);
    if (mono.width() <= paperWidth)
        return size;
    return QCoreApplication::translate("MainWindow", "%1: wider than the paper (%2 dots); choose \"Fit to width\"")
        .arg(size)
        .arg(paperWidth);
}

} // namespace bitmap
