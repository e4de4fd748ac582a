#pragma once
// The serial line between the host's transmit queue and the controller's
// receive buffer. Bytes cross at the line's rate (bit/s / 10 bytes a
// second), in pieces no larger than the buffer takes before it decides to
// hold the sender (a UART sees them one by one), and not at all while the
// controller holds a sender that honours that form of flow control: then
// they stay queued on the host's side. Time is passed in, so the same line
// runs on the system's clock and on a test's.

#include "virtualprinter.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace kvp {

class LineModel
{
public:
    enum class Source {
        Data,   // bytes were read
        Empty,  // the host's queue is empty
        NoHost, // no host has the line open
    };
    // Reads at most `max` bytes of the host's queue into `out`, `got` of them.
    using Reader = std::function<Source(uint8_t *out, size_t max, size_t *got)>;

    struct Pulled
    {
        bool empty = false;  // the host's queue ran dry
        bool noHost = false; // no host has the line open
        bool pulled = false; // bytes went to the controller
    };

    // The line starts over at `now` with `bytesInHand` of line time in hand
    // (what a UART's receive FIFO already holds when it wakes the device).
    void restart(int64_t now, double bytesInHand = 0);
    // Adds the line time since the last call. The line keeps its pace while
    // the process is busy: a call up to 100 ms late still gets the time it
    // missed.
    void elapse(int64_t now, double bytesPerSecond);
    // Moves what the line time allows from the host's queue into `printer`,
    // `most` bytes at most.
    Pulled pull(VirtualPrinter &printer, const HostLine &host, int64_t now, const Reader &read, size_t most = SIZE_MAX);
    // Whether a byte could cross now.
    bool hasTime() const { return credit >= 1.0; }

    // Bytes a UART's receive FIFO holds.
    static constexpr double fifoBytes = 16;

private:
    double credit = 0;
    int64_t last = -1;
};

} // namespace kvp
