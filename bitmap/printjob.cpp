#include "bitmap/printjob.h"

#include "bitmap/monoimage.h"
#include "printer/commandline.h"
#include "printer/linetime.h"

namespace bitmap {

qsizetype bandBytesFor(qint32 baudRate)
{
    return baudRate > 0 ? qMax(qsizetype(1), printer::quarterSecondBytes(baudRate)) : unlimitedBand;
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
    job.rows = rasterRows(image);
    job.commands.append(printer::printerSoftInit());
    job.commands.append(rasterCommands(job.rows, int(image.bytesPerLine()), bandBytes));
    return job;
}

} // namespace bitmap
