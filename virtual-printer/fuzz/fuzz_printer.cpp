// libFuzzer target: arbitrary bytes through the decoder and the renderer.
// The first input byte chooses the piece size the stream is fed in (its low
// six bits), so the fuzzer also explores split points, and with its high bit
// the shortest page the controller allows (--max-page 256), so that symbols
// and pictures taller than a page are printed too.

#include "decoder/commandlog.h"
#include "printercore.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>

namespace {
// Formats every entry (to exercise the log text) and keeps none.
class DiscardingLog : public kvp::LogSink
{
public:
    void add(const kvp::LogEntry &entry) override { length += entry.format().size(); }
    qsizetype length = 0;
};
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "vp_fuzz";
    static char *argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    kvp::FontSet::shared(); // load the fonts once, outside the measured inputs
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t piece = 1 + data[0] % 64;
    const bool shortPage = (data[0] & 0x80) != 0;
    ++data;
    --size;
    DiscardingLog log;
    kvp::PrinterCore::Options options;
    options.maxPageDots = shortPage ? 256 : 4000;
    kvp::PrinterCore core(options, &log);
    size_t pages = 0;
    core.paper().onPage = [&](const kvp::Page &page) { pages += static_cast<size_t>(page.image.height() > 0); };
    QByteArray replies;
    core.transmit = [&](const QByteArray &b) { replies += b; };
    for (size_t pos = 0; pos < size; pos += piece)
        core.feed(data + pos, std::min(piece, size - pos));
    core.finish();
    return 0;
}
