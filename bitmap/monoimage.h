#pragma once

// The image work behind bitmap printing, free of the window: one form for
// every 1-bit image, and the raster rows and commands made from it.
//
// The one form: QImage::Format_Mono (leftmost pixel in the most significant
// bit), a colour table of exactly two opaque colours, and a 1 bit always the
// darker of the two. That is the controller's own sense of a bit (1 = a
// printed dot), so the preview made from the image and the bits sent agree.

#include "printer/commands.h"

#include <QByteArray>
#include <QImage>
#include <QList>

namespace bitmap {

// The print head is 384 dots wide.
constexpr int maxPrintWidth = 384;
// The row count of one raster command travels as a 16-bit value.
constexpr int maxRowsPerCommand = 65535;
// How much of the picture one raster command carries at most, in bytes, when
// nothing else says: the whole picture the command can take.
constexpr qsizetype unlimitedBand = -1;

// How dark a colour looks on paper, 0 (black) to 255 (white): a colour that
// is partly transparent is seen against the white paper.
int lightnessOnPaper(QRgb colour);

// Any 1-bit image (Mono or MonoLSB, whatever its colour table) in the one
// form above; every pixel keeps the colour it is shown in, except that
// transparency is flattened onto white. When both colours are equally light
// (a one-colour image), every pixel gets the bit of that shade: 1 when it is
// dark (lightness below 128), else 0. A null image stays null.
QImage normalisedMono(const QImage &oneBit);

// Any image in the one form: an image of more than 1 bit per pixel is first
// laid on white paper (transparent parts print nothing), then converted with
// Qt's default colour handling and dithering. Pixels of an 8-bit image with
// an index its colour table lacks print nothing. A null result means the
// conversion ran out of memory.
QImage toPrintableMono(const QImage &image);

// Any image as opaque 32-bit pixels (Format_RGB32) laid on white paper:
// transparent parts white, 8-bit indices its colour table lacks white. Null
// for a null image or when memory ran out.
QImage onWhitePaper(const QImage &image);

// The controller's raster block for an image: one row per pixel row, each
// row bytesPerLine() bytes long, most significant bit the leftmost dot,
// 1 a dot, and every bit past the image's width 0 (Qt leaves whatever was in
// memory there). An image not in the one form is brought to it first.
QByteArray rasterRows(const QImage &image);

// One raster command's share of the picture.
struct RasterBand
{
    int firstRow = 0;
    int rows = 0;
};

// How many rows of `bytesPerLine` bytes a band of at most `bandBytes` holds:
// whole rows, at least one, at most maxRowsPerCommand.
int rowsPerBand(int bytesPerLine, qsizetype bandBytes);

// The picture's rows in order, `rowsPerBand` to a band, the last one the
// rest; none for a height of 0.
QList<RasterBand> rasterBands(int height, int rowsPerBand = maxRowsPerCommand);

// The raster commands that print `rows` (made by rasterRows for an image
// `bytesPerLine` bytes wide): one per band of at most `bandBytes`, in order.
// The commands borrow `rows`, which must outlive sending them.
QList<printer::Command> rasterCommands(const QByteArray &rows, int bytesPerLine, qsizetype bandBytes = unlimitedBand);

} // namespace bitmap
