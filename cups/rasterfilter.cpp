#include "cups/rasterfilter.h"

#include "bitmap/pictureoptions.h"
#include "bitmap/printjob.h"
#include "printer/commands.h"

#include <QImage>
#include <QList>

#include <cups/raster.h>

#include <cstdio>

namespace kivocups {

namespace {

constexpr int maxFeedPerCommand = 255;

// The feed before the cut and the cut.
QList<printer::Command> finishing(const FilterOptions &options)
{
    QList<printer::Command> commands;
    for (int left = options.feedDots; left > 0; left -= maxFeedPerCommand)
        commands.append(printer::printAndFeedNDotLine(uint8_t(qMin(left, maxFeedPerCommand))));
    if (options.cut == Cut::Full)
        commands.append(printer::fullCut());
    else if (options.cut == Cut::Partial)
        commands.append(printer::partialCut());
    return commands;
}

// Why the filter cannot print a page of this form; empty when it can.
QString unprintable(const cups_page_header2_t &header)
{
    if (header.cupsBitsPerPixel != 1 || header.cupsColorSpace != CUPS_CSPACE_K)
        return QStringLiteral("the page is not 1-bit black (%1 bits a dot, colour space %2); use the printer's PPD")
            .arg(header.cupsBitsPerPixel)
            .arg(int(header.cupsColorSpace));
    if (header.cupsWidth == 0 || header.cupsWidth > unsigned(bitmap::widePrintWidth))
        return QStringLiteral("the page is %1 dots wide; the widest paper takes %2")
            .arg(header.cupsWidth)
            .arg(bitmap::widePrintWidth);
    return {};
}

// The page's dots as a 1-bit picture in the one form (1 = a dot), or the
// reason it could not be read.
QImage readPage(cups_raster_t *raster, const cups_page_header2_t &header, QString *error)
{
    QImage page(int(header.cupsWidth), int(header.cupsHeight), QImage::Format_Mono);
    if (page.isNull() && header.cupsHeight > 0) {
        *error = QStringLiteral("a page of %1 x %2 dots does not fit in memory")
                     .arg(header.cupsWidth)
                     .arg(header.cupsHeight);
        return {};
    }
    page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    page.fill(0);
    for (int y = 0; y < page.height(); ++y) {
        if (cupsRasterReadPixels(raster, page.scanLine(y), header.cupsBytesPerLine) != header.cupsBytesPerLine) {
            *error = QStringLiteral("the page ended after %1 of its %2 rows").arg(y).arg(page.height());
            return {};
        }
    }
    return page;
}

class Job
{
public:
    Job(const Sink &sink, const volatile std::sig_atomic_t &cancelled)
        : sink(sink)
        , cancelled(cancelled)
    { }

    // Sends the commands one at a time; false once the job is cancelled or
    // the bytes could not go.
    bool send(const QList<printer::Command> &commands)
    {
        for (const printer::Command &command : commands) {
            if (cancelled)
                return false;
            if (!sink(command.bytes())) {
                failed = true;
                return false;
            }
        }
        return !cancelled;
    }

    bool failed = false;

private:
    const Sink &sink;
    const volatile std::sig_atomic_t &cancelled;
};

} // namespace

FilterResult runFilter(cups_raster_t *raster, const FilterOptions &options, qsizetype bandBytes, const Sink &sink,
                       const volatile std::sig_atomic_t &cancelled)
{
    FilterResult result;
    Job job(sink, cancelled);
    QList<printer::Command> start{printer::printerSoftInit()};
    if (options.darkness > 0)
        start.append(printer::setFontGrayScale(uint8_t(options.darkness)));
    bool going = job.send(start);

    cups_page_header2_t header;
    while (going && result.error.isEmpty() && cupsRasterReadHeader2(raster, &header)) {
        result.error = unprintable(header);
        const QImage page = result.error.isEmpty() ? readPage(raster, header, &result.error) : QImage();
        if (!result.error.isEmpty() || cancelled)
            break;
        std::fprintf(stderr, "INFO: Printing page %d\n", result.pages + 1);
        const bitmap::RasterPage rows = bitmap::rasterPage(page, bandBytes, bitmap::BlankFoot::Trim);
        going = job.send(rows.commands) && (options.cutAfter == CutAfter::Job || job.send(finishing(options)));
        if (going) {
            ++result.pages;
            std::fprintf(stderr, "PAGE: %d %u\n", result.pages, qMax(1u, header.NumCopies));
        }
    }
    if (going && result.error.isEmpty() && result.pages > 0 && options.cutAfter == CutAfter::Job)
        job.send(finishing(options));
    result.cancelled = cancelled != 0;
    if (result.cancelled) // a read cut short by the cancel is no fault of the job
        result.error.clear();
    if (job.failed && result.error.isEmpty())
        result.error = QStringLiteral("the printer's connection took no more bytes");
    return result;
}

} // namespace kivocups
