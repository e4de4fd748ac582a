#pragma once

// The one rule for printing a loaded image, free of the window: the commands
// that print it, or the reason it is refused. The window's print button and
// the image fuzzer both use it.

#include "bitmap/monoimage.h"
#include "printer/commands.h"

#include <QByteArray>
#include <QImage>
#include <QList>

namespace bitmap {

struct PrintJob
{
    enum class Refusal {
        None,
        NothingLoaded, // no image, or one without pixels
        TooWide,       // wider than the paper
    };
    Refusal refusal = Refusal::None;
    // The raster rows; the commands borrow them, so they live as long as
    // the job (copies of the job share them).
    QByteArray rows;
    // Reset the controller, then the rows as raster commands; none when
    // refused.
    QList<printer::Command> commands;
};

// One page of a picture as raster rows and the raster commands that print
// them; the commands borrow the rows, so they live as long as the page
// (copies share them). The one rule for pictures: the window's print button
// and the CUPS filter both print through it.
struct RasterPage
{
    QByteArray rows;
    int bytesPerLine = 0;
    QList<printer::Command> commands;
};

// Blank rows at the foot of a page: printed as they are (a picture keeps its
// size), or left out (a page from another program, whose white rows only
// waste paper; a blank page then has no rows at all).
enum class BlankFoot { Keep, Trim };

// The page for `image`, its rows in consecutive raster commands of at most
// `bandBytes` bytes each (whole rows).
RasterPage rasterPage(const QImage &image, qsizetype bandBytes = unlimitedBand, BlankFoot foot = BlankFoot::Keep);

// With `bandBytes`, the rows go as consecutive raster commands of at most
// that many bytes each (whole rows): the paper shows the same dots, and a
// job stopped between two commands leaves the controller ready.
// Pictures wider than `paperWidth` dots are refused.
PrintJob printJob(const QImage &image, qsizetype bandBytes = unlimitedBand, int paperWidth = maxPrintWidth);

// The band for a line of `baudRate` bit/s: a quarter of a second of line
// time, so that a stop waits at most that long for the band to finish.
qsizetype bandBytesFor(qint32 baudRate);
// The same for any link: a link without a line rate (0: a network printer,
// a printer device file, which take bytes at their own pace) gets bands of
// at most 4 KB, as a file goes in pieces, so that a stop is as quick there.
qsizetype linkBandBytes(qint32 baudRate);

} // namespace bitmap
