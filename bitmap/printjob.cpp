#include "bitmap/printjob.h"

#include "bitmap/monoimage.h"

namespace bitmap {

qsizetype bandBytesFor(qint32 baudRate)
{
    // Ten bits a byte on the line (start, eight data bits, stop).
    return baudRate > 0 ? qMax(qsizetype(1), qsizetype(baudRate) / 10 / 4) : unlimitedBand;
}

PrintJob printJob(const QImage &image, qsizetype bandBytes)
{
    PrintJob job;
    if (image.sizeInBytes() <= 0) {
        job.refusal = PrintJob::Refusal::NothingLoaded;
        return job;
    }
    if (image.width() > maxPrintWidth) {
        job.refusal = PrintJob::Refusal::TooWide;
        return job;
    }
    job.rows = rasterRows(image);
    job.commands.append(printer::printerSoftInit());
    job.commands.append(rasterCommands(job.rows, int(image.bytesPerLine()), bandBytes));
    return job;
}

} // namespace bitmap
