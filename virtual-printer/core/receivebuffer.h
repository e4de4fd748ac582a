#pragma once
// The controller's receive buffer: a ring of fixed size between the UART and
// the print engine, with the flow-control decisions that guard it.
//
// Above the high-water mark (three quarters full) the controller asks the
// sender to stop: under XON/XOFF it sends XOFF, under hardware flow control
// it drops its ready line. Once drained to the low-water mark (one quarter)
// it sends XON or raises the line again. Bytes that arrive while the buffer
// is full are lost and counted.

#include "controllerinfo.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kvp {

constexpr std::uint8_t XON = 0x11;
constexpr std::uint8_t XOFF = 0x13;

class ReceiveBuffer {
public:
    explicit ReceiveBuffer(std::size_t capacity);

    void setFlowMode(FlowMode mode);
    FlowMode flowMode() const { return m_mode; }

    // Stores what fits; returns the number of bytes stored. The rest is lost.
    std::size_t push(const std::uint8_t *data, std::size_t size);
    std::size_t pop(std::uint8_t *out, std::size_t max);

    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_data.size(); }
    std::size_t highWater() const { return m_high; }
    std::size_t lowWater() const { return m_low; }
    std::uint64_t lost() const { return m_lost; }
    std::uint64_t received() const { return m_received; }

    // The sender has been asked to stop and not yet to go on.
    bool holding() const { return m_holding; }
    // XON or XOFF to send now, if the fill level crossed a mark (XON/XOFF mode only).
    std::optional<std::uint8_t> takeControlByte();

private:
    void update();

    std::vector<std::uint8_t> m_data;
    std::size_t m_head = 0; // next byte to pop
    std::size_t m_size = 0;
    std::size_t m_high;
    std::size_t m_low;
    FlowMode m_mode = FlowMode::XonXoff;
    bool m_holding = false;
    std::optional<std::uint8_t> m_control;
    std::uint64_t m_lost = 0;
    std::uint64_t m_received = 0;
};

} // namespace kvp
