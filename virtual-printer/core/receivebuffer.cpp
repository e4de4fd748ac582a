#include "receivebuffer.h"

#include <algorithm>
#include <cstring>

namespace kvp {

ReceiveBuffer::ReceiveBuffer(size_t capacity)
    : ring(std::max<size_t>(capacity, 16))
{
    highMark = ring.size() * 3 / 4;
    lowMark = ring.size() / 4;
}

void ReceiveBuffer::setFlowMode(FlowMode mode)
{
    if (mode == flow)
        return;
    // A sender held under the old mode is released.
    if (holdingSender && flow == FlowMode::XonXoff)
        control = xon;
    holdingSender = false;
    flow = mode;
    update();
}

size_t ReceiveBuffer::push(const uint8_t *data, size_t size)
{
    const size_t cap = ring.size();
    const size_t take = std::min(size, cap - used - taken);
    size_t tail = (head + used) % cap;
    size_t done = 0;
    while (done < take) {
        const size_t chunk = std::min(take - done, cap - tail);
        std::memcpy(ring.data() + tail, data + done, chunk);
        done += chunk;
        tail = (tail + chunk) % cap;
    }
    used += take;
    receivedBytes += take;
    lostBytes += size - take;
    update();
    return take;
}

size_t ReceiveBuffer::pop(uint8_t *out, size_t max)
{
    const size_t got = take(out, max);
    release(got);
    return got;
}

size_t ReceiveBuffer::take(uint8_t *out, size_t max)
{
    const size_t cap = ring.size();
    const size_t take = std::min(max, used);
    size_t done = 0;
    while (done < take) {
        const size_t chunk = std::min(take - done, cap - head);
        std::memcpy(out + done, ring.data() + head, chunk);
        done += chunk;
        head = (head + chunk) % cap;
    }
    used -= take;
    taken += take;
    return take;
}

void ReceiveBuffer::release(size_t count)
{
    taken -= std::min(count, taken);
    update();
}

void ReceiveBuffer::update()
{
    if (flow == FlowMode::None)
        return;
    if (!holdingSender && size() >= highMark) {
        holdingSender = true;
        if (flow == FlowMode::XonXoff)
            control = xoff;
    } else if (holdingSender && size() <= lowMark) {
        holdingSender = false;
        if (flow == FlowMode::XonXoff)
            control = xon;
    }
}

std::optional<uint8_t> ReceiveBuffer::takeControlByte()
{
    auto c = control;
    control.reset();
    return c;
}

} // namespace kvp
