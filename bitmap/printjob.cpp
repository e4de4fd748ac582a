#include "bitmap/printjob.h"

#include "bitmap/monoimage.h"

namespace bitmap {

PrintJob printJob(const QImage &image)
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
    job.commands.append(rasterCommands(job.rows, int(image.bytesPerLine())));
    return job;
}

} // namespace bitmap
