#pragma once

// The filter's work: CUPS raster pages in, the controller's commands out.
// The job starts with a reset (and the darkness, when chosen); each page
// goes as raster commands of whole rows in bands, by the same rule as the
// window's pictures (bitmap::rasterPage), its blank rows at the foot left
// out; then the page's finishing: the feed, and the cut after each page or
// after the job's last.

#include "cups/filteroptions.h"

#include <QByteArray>
#include <QString>

#include <csignal>
#include <functional>

struct _cups_raster_s;

namespace kivocups {

// Puts bytes on the way to the printer; false when they could not go.
using Sink = std::function<bool(const QByteArray &bytes)>;

struct FilterResult
{
    int pages = 0; // pages sent whole
    bool cancelled = false;
    QString error; // empty when the job went out
};

// Prints every page of `raster` through `sink`, a band at a time. Once
// `cancelled` is set (a SIGTERM), the band on its way ends and nothing
// follows, so the controller reads the next job from its first byte.
FilterResult runFilter(_cups_raster_s *raster, const FilterOptions &options, qsizetype bandBytes, const Sink &sink,
                       const volatile std::sig_atomic_t &cancelled);

} // namespace kivocups
