#include "virtualprinter.h"

#include <algorithm>
#include <cmath>

namespace kvp {

VirtualPrinter::VirtualPrinter(const Settings &settings, LogSink *log)
    : m_settings(settings)
    , m_log(log)
    , m_core(settings.core, log)
    , m_buffer(settings.bufferSize)
{
    m_buffer.setFlowMode(settings.flow);
    m_buffer.takeControlByte();
    m_core.setLineSettings(kDefaultBaud, settings.flow);
    m_core.transmit = [this](const QByteArray &bytes) {
        if (transmit)
            transmit(bytes);
    };
    m_core.receiveBusy = [this] { return m_buffer.holding(); };
    m_core.lineSettingsChanged = [this](FlowMode mode, int) { m_buffer.setFlowMode(mode); };
}

std::size_t VirtualPrinter::receive(const std::uint8_t *data, std::size_t size, std::int64_t now)
{
    if (size == 0)
        return 0;
    if (m_lastService < 0)
        m_lastService = now; // the engine's clock starts with the first byte
    const bool wasHolding = m_buffer.holding();
    const std::size_t stored = m_buffer.push(data, size);
    m_lastActivity = now;
    if (stored < size && !m_losing) {
        m_losing = true;
        if (m_log)
            m_log->note(QStringLiteral("overflow"), QStringLiteral("receive buffer full (%1, %2 bytes): incoming bytes are being lost")
                                                        .arg(flowModeName(m_buffer.flowMode()))
                                                        .arg(m_buffer.capacity()));
    } else if (stored == size && m_losing) {
        m_losing = false;
        reportLoss();
    }
    if (m_log && m_buffer.flowMode() == FlowMode::Hardware && m_buffer.holding() != wasHolding)
        m_log->note(QStringLiteral("flow"), QStringLiteral("ready line dropped (buffer %1 of %2)").arg(m_buffer.size()).arg(m_buffer.capacity()));
    sendControl();
    return stored;
}

void VirtualPrinter::reportLoss()
{
    if (m_buffer.lost() == m_lossReported)
        return;
    if (m_log)
        m_log->note(QStringLiteral("overflow"), QStringLiteral("%1 bytes lost while the receive buffer was full (%2 lost in all)")
                                                    .arg(m_buffer.lost() - m_lossReported)
                                                    .arg(m_buffer.lost()));
    m_lossReported = m_buffer.lost();
}

bool VirtualPrinter::senderHeld(const HostLine &host) const
{
    if (!m_buffer.holding())
        return false;
    switch (m_buffer.flowMode()) {
    case FlowMode::XonXoff:
        return host.honoursXonXoff;
    case FlowMode::Hardware:
        return host.honoursHardware;
    case FlowMode::None:
        return false;
    }
    return false;
}

std::size_t VirtualPrinter::bytesBeforeHold() const
{
    if (m_buffer.flowMode() == FlowMode::None || m_buffer.holding() || m_buffer.size() >= m_buffer.highWater())
        return 0;
    return m_buffer.highWater() - m_buffer.size();
}

void VirtualPrinter::service(std::int64_t now)
{
    if (m_lastService < 0)
        m_lastService = now;
    const std::int64_t elapsed = std::max<std::int64_t>(0, now - m_lastService);
    m_lastService = now;
    const double burst = std::max(1.0, m_settings.printBytesPerSecond * 0.05);
    m_credit = std::min(burst, m_credit + m_settings.printBytesPerSecond * static_cast<double>(elapsed) / 1000.0);

    std::uint8_t chunk[4096];
    bool worked = false;
    while (m_credit >= 1.0 && m_buffer.size() > 0) {
        const bool wasHolding = m_buffer.holding();
        const std::size_t want = std::min<std::size_t>(sizeof chunk, static_cast<std::size_t>(m_credit));
        const std::size_t got = m_buffer.pop(chunk, want);
        m_credit -= static_cast<double>(got);
        sendControl();
        if (m_log && m_buffer.flowMode() == FlowMode::Hardware && wasHolding && !m_buffer.holding())
            m_log->note(QStringLiteral("flow"), QStringLiteral("ready line raised (buffer %1 of %2)").arg(m_buffer.size()).arg(m_buffer.capacity()));
        m_core.feed(chunk, got);
        worked = true;
    }
    if (worked)
        m_lastActivity = now;
    if (m_buffer.size() == 0 && m_lastActivity >= 0 && now - m_lastActivity >= m_settings.silenceMs) {
        m_lastActivity = -1;
        m_losing = false;
        reportLoss();
        m_core.silence();
    }
}

std::int64_t VirtualPrinter::silenceDeadline() const
{
    return m_lastActivity >= 0 ? m_lastActivity + m_settings.silenceMs : -1;
}

void VirtualPrinter::finish(const QByteArray &tail)
{
    std::uint8_t chunk[4096];
    while (m_buffer.size() > 0) {
        const std::size_t got = m_buffer.pop(chunk, sizeof chunk);
        m_core.feed(chunk, got);
    }
    m_core.feed(tail);
    sendControl();
    m_losing = false;
    reportLoss();
    m_core.finish();
    m_lastActivity = -1;
}

void VirtualPrinter::sendControl()
{
    const auto control = m_buffer.takeControlByte();
    if (!control)
        return;
    if (m_log)
        m_log->note(QStringLiteral("flow"), QStringLiteral("%1 sent (buffer %2 of %3)")
                                               .arg(*control == XOFF ? QStringLiteral("XOFF") : QStringLiteral("XON"))
                                               .arg(m_buffer.size())
                                               .arg(m_buffer.capacity()));
    if (transmit)
        transmit(QByteArray(1, static_cast<char>(*control)));
}

} // namespace kvp
