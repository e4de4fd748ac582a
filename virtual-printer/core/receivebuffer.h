#pragma once
// The controller's receive buffer: a ring of fixed size between the UART and
// the print engine, with the flow-control decisions that guard it.
//
// Above the high-water mark (three quarters full) the controller asks the
// sender to stop: under XON/XOFF it sends XOFF, under hardware flow control
// it drops its ready line. Once drained to the low-water mark (one quarter)
// it sends XON or raises the line again. Bytes that arrive while the buffer
// is full are lost and counted.
//
// Bytes handed to the decoder on arrival (take) still fill the buffer until
// the print engine has worked them off (release): the fill level the flow
// control watches is what waits for the engine, decoded or not.

#include "decoder/controllerinfo.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kvp {

constexpr uint8_t xon = 0x11;
constexpr uint8_t xoff = 0x13;

class ReceiveBuffer
{
public:
    explicit ReceiveBuffer(size_t capacity);

    void setFlowMode(FlowMode mode);
    FlowMode flowMode() const { return flow; }

    // Stores what fits; returns the number of bytes stored. The rest is lost.
    size_t push(const uint8_t *data, size_t size);
    size_t pop(uint8_t *out, size_t max);
    // Hands bytes on to the decoder; they keep their place until release().
    size_t take(uint8_t *out, size_t max);
    void release(size_t count);

    size_t size() const { return used + taken; }
    // Bytes not yet handed on.
    size_t pending() const { return used; }
    size_t capacity() const { return ring.size(); }
    size_t highWater() const { return highMark; }
    size_t lowWater() const { return lowMark; }
    uint64_t lost() const { return lostBytes; }
    uint64_t received() const { return receivedBytes; }

    // The sender has been asked to stop and not yet to go on.
    bool holding() const { return holdingSender; }
    // XON or XOFF to send now, if the fill level crossed a mark (XON/XOFF mode only).
    std::optional<uint8_t> takeControlByte();

private:
    void update();

    std::vector<uint8_t> ring;
    size_t head = 0;  // next byte to pop
    size_t used = 0;  // bytes in the ring
    size_t taken = 0; // handed on, not yet released
    size_t highMark;
    size_t lowMark;
    FlowMode flow = FlowMode::XonXoff;
    bool holdingSender = false;
    std::optional<uint8_t> control;
    uint64_t lostBytes = 0;
    uint64_t receivedBytes = 0;
};

} // namespace kvp
