// Decode-and-render throughput of the virtual printer on a mixed stream
// (text in several print modes, raster pictures, bar codes, a QR code),
// as the median of several runs, against the fastest line the controller
// supports: 375 000 bit/s, 37 500 bytes/s with 10 bits per byte.

#include "printercore.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b += static_cast<char>(v);
    return b;
}

QByteArray mixedStream()
{
    QRandomGenerator random(1234);
    QByteArray picture(qsizetype(48) * 256, 0);
    for (auto &c : picture)
        c = static_cast<char>(random.bounded(256));
    QByteArray s;
    for (int receipt = 0; receipt < 12; ++receipt) {
        s += bytes({0x1B, 0x40, 0x1B, 0x61, 0x00, 0x1B, 0x6D, 0x04});
        s += bytes({0x1D, 0x76, 0x30, 0x00, 48, 0, 0, 1}) + picture; // 384 x 256 dots
        s += '\n';
        for (int line = 0; line < 40; ++line) {
            const int modes[] = {0x00, 0x08, 0x20, 0x10, 0x40, 0x80, 0x02, 0x82};
            s += bytes({0x1B, 0x21, modes[line % 8]});
            s += "Item " + QByteArray::number(line) + " 1L 3.5% Milk     $16.75\n";
        }
        s += bytes({0x1D, 0x77, 0x03, 0x1D, 0x68, 0x40, 0x1D, 0x6B, 0x41, 11}) + "01234567890";
        s += bytes({0x1D, 0x77, 0x02, 0x1D, 0x6B, 0x49, 8}) + "12345678";
        const QByteArray qr = "https://example.invalid/receipt/" + QByteArray::number(receipt);
        s += bytes({0x1D, 0x28, 0x6B, static_cast<int>(qr.size()) + 3, 0x00, 0x31, 0x50, 0x30}) + qr;
        s += bytes({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30});
        s += bytes({0x1B, 0x64, 0x02, 0x1B, 0x69});
    }
    return s;
}
} // namespace

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
