#include "receivebuffer.h"

#include <algorithm>
#include <cstring>

namespace kvp {

ReceiveBuffer::ReceiveBuffer(std::size_t capacity)
    : m_data(std::max<std::size_t>(capacity, 16))
{
    m_high = m_data.size() * 3 / 4;
    m_low = m_data.size() / 4;
}

void ReceiveBuffer::setFlowMode(FlowMode mode)
{
    if (mode == m_mode)
        return;
    // A sender held under the old mode is released.
    if (m_holding && m_mode == FlowMode::XonXoff)
        m_control = XON;
    m_holding = false;
    m_mode = mode;
    update();
}

std::size_t ReceiveBuffer::push(const std::uint8_t *data, std::size_t size)
{
    const std::size_t cap = m_data.size();
    const std::size_t take = std::min(size, cap - m_size);
    std::size_t tail = (m_head + m_size) % cap;
    std::size_t done = 0;
    while (done < take) {
        const std::size_t chunk = std::min(take - done, cap - tail);
        std::memcpy(m_data.data() + tail, data + done, chunk);
        done += chunk;
        tail = (tail + chunk) % cap;
    }
    m_size += take;
    m_received += take;
    m_lost += size - take;
    update();
    return take;
}

std::size_t ReceiveBuffer::pop(std::uint8_t *out, std::size_t max)
{
    const std::size_t cap = m_data.size();
    const std::size_t take = std::min(max, m_size);
    std::size_t done = 0;
    while (done < take) {
        const std::size_t chunk = std::min(take - done, cap - m_head);
        std::memcpy(out + done, m_data.data() + m_head, chunk);
        done += chunk;
        m_head = (m_head + chunk) % cap;
    }
    m_size -= take;
    update();
    return take;
}

void ReceiveBuffer::update()
{
    if (m_mode == FlowMode::None)
        return;
    if (!m_holding && m_size >= m_high) {
        m_holding = true;
        if (m_mode == FlowMode::XonXoff)
            m_control = XOFF;
    } else if (m_holding && m_size <= m_low) {
        m_holding = false;
        if (m_mode == FlowMode::XonXoff)
            m_control = XON;
    }
}

std::optional<std::uint8_t> ReceiveBuffer::takeControlByte()
{
    auto c = m_control;
    m_control.reset();
    return c;
}

} // namespace kvp
