// Decode-and-render throughput of the virtual printer on a mixed stream
// (text in several print modes, raster pictures, bar codes, a QR code),
// as the median of several runs, against the fastest line the controller
// supports: 375 000 bit/s, 37 500 bytes/s with 10 bits per byte.

#include "mixedstream.h"
#include "printercore.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <vector>

using vpbench::mixedStream;

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QByteArray stream = mixedStream();
    constexpr int runs = 7;
    std::vector<double> rates;
    int pages = 0;
    for (int run = 0; run < runs + 1; ++run) {
        kvp::PrinterCore core(kvp::PrinterCore::Options{}, nullptr);
        core.paper().onPage = [&](const kvp::Page &) { ++pages; };
        QElapsedTimer timer;
        timer.start();
        // Fed in 4 KiB pieces, as the line pump hands them over.
        for (qsizetype pos = 0; pos < stream.size(); pos += 4096)
            core.feed(stream.mid(pos, 4096));
        core.finish();
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        if (run > 0) // the first run warms the glyph cache and the fonts
            rates.push_back(static_cast<double>(stream.size()) / seconds);
    }
    std::sort(rates.begin(), rates.end());
    const double median = rates[rates.size() / 2];
    std::printf("virtual printer decode+render: %lld bytes per run (%d pages), median of %d runs\n",
                static_cast<long long>(stream.size()), pages / (runs + 1), runs);
    std::printf("  %.0f bytes/s (min %.0f, max %.0f)\n", median, rates.front(), rates.back());
    std::printf("  %.1f x the fastest line (375000 bit/s = 37500 bytes/s)\n", median / 37500.0);
    return median >= 37500.0 ? 0 : 1;
}
