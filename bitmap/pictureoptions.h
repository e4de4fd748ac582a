#pragma once

// How a loaded picture becomes the dots that print: the paper width, scaling
// to it, the way grey becomes black and white, and inversion. The defaults
// leave a picture exactly as loading made it before these choices existed.

#include "bitmap/monoimage.h"

#include <QImage>
#include <QString>

#include <atomic>

namespace bitmap {

// The 80 mm heads print 576 dots a line; the 58 mm heads maxPrintWidth.
constexpr int widePrintWidth = 576;
// Every head prints 8 dots per millimetre.
constexpr int dotsPerMm = 8;

enum class GreyToMono {
    Diffusion, // Qt's default colour handling and error diffusion
    Threshold, // a dot where the paper would be darker than a level
    Ordered,   // an 8 x 8 Bayer pattern: even, regular shading
};

struct PictureOptions
{
    int paperWidth = maxPrintWidth;
    bool fitToWidth = false; // scale to the paper width, smoothly, before 1 bit
    GreyToMono greys = GreyToMono::Diffusion;
    int thresholdLevel = 128; // Threshold: lightness (0-255) below it prints
    bool invert = false;      // dots where the picture is light
};

// Set from another thread to stop a read or conversion; checked between
// bands of rows.
using CancelFlag = std::atomic<bool>;

// The picture in the one 1-bit form (monoimage.h) with `options` applied,
// converted a band of rows at a time (monobands.h). Null when `picture` is
// null, memory ran out or `cancel` was set.
QImage printablePicture(const QImage &picture, const PictureOptions &options, const CancelFlag *cancel = nullptr);

// The line under the preview: the printed size in dots and millimetres, and
// whether it fits the paper.
QString printedSizeText(const QImage &mono, int paperWidth);

} // namespace bitmap
