// rastertokivo: the CUPS filter of the thermal printer. CUPS runs it as
//   rastertokivo job user title copies options [file]
// with CUPS raster on standard input (or in `file`); the controller's
// commands go to standard output, messages for the job's log to standard
// error with CUPS's "ERROR:" and "INFO:" prefixes.

#include "bitmap/printjob.h"
#include "cups/filteroptions.h"
#include "cups/rasterfilter.h"

#include <QByteArray>
#include <QFile>

#include <cups/raster.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t cancelled = 0;

void cancel(int) { cancelled = 1; }

// Everything of `bytes` to standard output; a signal that cuts a write short
// does not cut the band.
bool writeOut(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

QByteArray ppdText()
{
    QFile ppd(QFile::decodeName(qgetenv("PPD")));
    return ppd.fileName().isEmpty() || !ppd.open(QIODevice::ReadOnly) ? QByteArray() : ppd.readAll();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "Usage: %s job user title copies options [file]\n", argv[0]);
        return 1;
    }
    const int input = argc == 7 ? ::open(argv[6], O_RDONLY) : STDIN_FILENO;
    if (input < 0) {
        std::fprintf(stderr, "ERROR: Unable to open raster file %s\n", argv[6]);
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = cancel;
    sigaction(SIGTERM, &action, nullptr);

    const kivocups::FilterOptions options = kivocups::filterOptions(ppdText(), argv[5]);
    if (!options.problem.isEmpty())
        std::fprintf(stderr, "INFO: %s\n", qPrintable(options.problem));
    const qsizetype band = bitmap::bandBytesFor(kivocups::uriBaudRate(qgetenv("DEVICE_URI")));

    cups_raster_t *raster = cupsRasterOpen(input, CUPS_RASTER_READ);
    const kivocups::FilterResult result = kivocups::runFilter(raster, options, band, writeOut, cancelled);
    cupsRasterClose(raster);
    if (input != STDIN_FILENO)
        ::close(input);

    if (!result.error.isEmpty()) {
        std::fprintf(stderr, "ERROR: %s\n", qPrintable(result.error));
        return 1;
    }
    if (result.cancelled) {
        std::fprintf(stderr, "INFO: Job cancelled after %d pages; the last band went out whole\n", result.pages);
        return 0;
    }
    if (result.pages == 0) {
        std::fprintf(stderr, "ERROR: The job held no page\n");
        return 1;
    }
    std::fprintf(stderr, "INFO: Ready to print\n");
    return 0;
}
