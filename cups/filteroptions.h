#pragma once

// What a print job asks of the controller besides its pages: the cut, when
// it comes, the feed before it and the darkness; and the band size for the
// line the job goes out on. The PPD's defaults (its *Default lines) hold
// unless the job's options name another choice.

#include <QByteArray>
#include <QString>

namespace kivocups {

enum class Cut { None, Partial, Full };
enum class CutAfter { Page, Job };

struct FilterOptions
{
    Cut cut = Cut::Full;
    CutAfter cutAfter = CutAfter::Page;
    int feedDots = 80; // feed before the cut (10 mm at 8 dots a mm)
    int darkness = 0;  // 1 (lightest) to 8 (darkest); 0 leaves the controller's own
    QString problem;   // a choice the filter does not know, said for the job's log
};

// The choices of the PPD text `ppd`, then those of the job's option string
// (the filter's fifth argument, "name=value ..."), which win.
FilterOptions filterOptions(const QByteArray &ppd, const char *jobOptions);

// The line speed named by a device URI ("serial:/dev/ttyUSB0?baud=9600+...");
// the controller's start-up speed, 115200 bit/s, when it names none (a
// network printer, which passes the bytes on at its own pace).
int uriBaudRate(const QByteArray &deviceUri);

} // namespace kivocups
