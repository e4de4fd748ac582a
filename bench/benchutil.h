#pragma once

// Small helpers shared by the bench programs: medians and spreads, CPU
// time, and quiet Qt messages.

#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace bench {

struct Spread
{
    double median = 0;
    double low = 0;  // first quartile
    double high = 0; // third quartile
};

inline Spread spread(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    auto at = [&](double q) { return values[size_t(std::lround(q * double(values.size() - 1)))]; };
    return {at(0.5), at(0.25), at(0.75)};
}

inline double median(const std::vector<double> &values) { return spread(values).median; }

// CPU seconds (user and system) of this process, or of its waited-for
// children.
inline double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The off-screen platform's notes (window hints, missing shaping tables)
// are noise in a bench's output; warnings and worse still show.
inline void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type >= QtWarningMsg && !message.contains(QLatin1String("propagateSizeHints"))
        && !message.contains(QLatin1String("OpenType support missing")))
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace bench
