#include "bitmap/printjob.h"

#include "bitmap/monoimage.h"
#include "printer/commandline.h"
#include "printer/linetime.h"

namespace bitmap {

qsizetype bandBytesFor(qint32 baudRate)
{
    return baudRate > 0 ? qMax(qsizetype(1), printer::quarterSecondBytes(baudRate)) : unlimitedBand;
}

namespace {

// The rows up to the last one with a dot.
qsizetype inkedBytes(const QByteArray &rows, int bytesPerLine)
{
    qsizetype end = rows.size();
    while (end > 0 && rows.at(end - 1) == 0)
        --end;
    return (end + bytesPerLine - 1) / bytesPerLine * bytesPerLine;
}

} // namespace

RasterPage rasterPage(const QImage &image, qsizetype bandBytes, BlankFoot foot)
{
    RasterPage page;
    page.rows = rasterRows(image);
    page.bytesPerLine = int(image.bytesPerLine());
    if (foot == BlankFoot::Trim && page.bytesPerLine > 0)
        page.rows.truncate(inkedBytes(page.rows, page.bytesPerLine));
    page.commands = rasterCommands(page.rows, page.bytesPerLine, bandBytes);
    return page;
}

qsizetype linkBandBytes(qint32 baudRate) { return baudRate > 0 ? bandBytesFor(baudRate) : printer::filePieceBytes(0); }

PrintJob printJob(const QImage &image, qsizetype bandBytes, int paperWidth)
{
    PrintJob job;
    if (image.sizeInBytes() <= 0) {
        job.refusal = PrintJob::Refusal::NothingLoaded;
        return job;
    }
    if (image.width() > paperWidth) {
        job.refusal = PrintJob::Refusal::TooWide;
        return job;
    }
    const RasterPage page = rasterPage(image, bandBytes);
    job.rows = page.rows;
    job.commands.append(printer::printerSoftInit());
    job.commands.append(page.commands);
    return job;
}

} // namespace bitmap
