#include "linemodel.h"

#include <algorithm>

namespace kvp {

void LineModel::restart(int64_t now, double bytesInHand)
{
    last = now;
    credit = bytesInHand;
}

void LineModel::elapse(int64_t now, double bytesPerSecond)
{
    const int64_t elapsed = last < 0 ? 0 : std::max<int64_t>(0, now - last);
    last = now;
    credit =
        std::min(std::max(16.0, bytesPerSecond * 0.1), credit + bytesPerSecond * static_cast<double>(elapsed) / 1000.0);
}

LineModel::Pulled LineModel::pull(VirtualPrinter &printer, const HostLine &host, int64_t now, const Reader &read,
                                  size_t most)
{
    Pulled result;
    uint8_t chunk[4096];
    for (size_t taken = 0; credit >= 1.0 && !printer.senderHeld(host) && taken < most;) {
        size_t got = 0;
        size_t want = std::min({sizeof chunk, static_cast<size_t>(credit), most - taken});
        if (const size_t limit = printer.bytesBeforeHold())
            want = std::min(want, limit);
        const Source source = read(chunk, want, &got);
        if (source == Source::Empty) {
            result.empty = true;
            break;
        }
        if (source == Source::NoHost) {
            result.noHost = true;
            break;
        }
        credit -= static_cast<double>(got);
        taken += got;
        printer.receive(chunk, got, now);
        result.pulled = true;
    }
    return result;
}

} // namespace kvp
