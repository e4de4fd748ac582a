#include "linepump.h"

#include <QSocketNotifier>

#include <algorithm>

namespace kvp {

LinePump::LinePump(PtyPort &port, VirtualPrinter &printer, int lineRate, LogSink *log, QObject *parent)
    : QObject(parent)
    , m_port(port)
    , m_printer(printer)
    , m_lineRate(lineRate)
    , m_log(log)
{
    m_clock.start();
    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &LinePump::tick);
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, &LinePump::tick);
    // Without any slave descriptor the master reports EIO at once; poll slowly then.
    m_noHostPoll.setInterval(200);
    connect(&m_noHostPoll, &QTimer::timeout, this, &LinePump::tick);
    m_printer.transmit = [this](const QByteArray &bytes) {
        m_outgoing += bytes;
        sendPending();
    };
}

LinePump::~LinePump()
{
    m_printer.transmit = nullptr;
}

void LinePump::start()
{
    m_readable = std::make_unique<QSocketNotifier>(m_port.masterFd(), QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, &LinePump::wake);
    goIdle();
}

void LinePump::stop()
{
    m_tick.stop();
    m_silence.stop();
    m_noHostPoll.stop();
    m_readable.reset();
}

int LinePump::effectiveLineRate() const
{
    if (m_lineRate > 0)
        return m_lineRate;
    const int host = m_port.hostLine().baud;
    return host > 0 ? host : m_printer.core().baud();
}

void LinePump::wake()
{
    if (m_readable)
        m_readable->setEnabled(false);
    m_silence.stop();
    m_noHostPoll.stop();
    if (m_idle) {
        m_idle = false;
        m_lastTick = m_clock.elapsed();
        m_lineCredit = 0;
        m_tick.start();
    }
    tick();
}

void LinePump::goIdle()
{
    m_idle = true;
    m_noHostPoll.stop();
    m_tick.stop();
    if (m_readable)
        m_readable->setEnabled(true);
    const qint64 deadline = m_printer.silenceDeadline();
    if (deadline >= 0)
        m_silence.start(static_cast<int>(std::max<qint64>(1, deadline - m_clock.elapsed() + 1)));
}

void LinePump::sendPending()
{
    if (m_outgoing.isEmpty())
        return;
    if (m_port.write(m_outgoing))
        m_outgoing.clear();
}

void LinePump::tick()
{
    const qint64 now = m_clock.elapsed();
    const qint64 elapsed = m_lastTick < 0 ? 0 : std::max<qint64>(0, now - m_lastTick);
    m_lastTick = now;

    const HostLine host = m_port.hostLine();
    if (m_lineRate == 0 && host.baud > 0 && host.baud != m_printer.core().baud()) {
        if (host.baud != m_warnedHostBaud && m_log)
            m_log->note(QStringLiteral("line"), QStringLiteral("host line at %1 bit/s, controller at %2 bit/s: a real controller would "
                                                               "read garbage; the bytes are passed on all the same")
                                                    .arg(host.baud)
                                                    .arg(m_printer.core().baud()));
        m_warnedHostBaud = host.baud;
    } else {
        m_warnedHostBaud = -1;
    }
    const double bytesPerSecond = effectiveLineRate() / 10.0;
    m_lineCredit = std::min(std::max(16.0, bytesPerSecond * 0.02), m_lineCredit + bytesPerSecond * static_cast<double>(elapsed) / 1000.0);

    bool empty = false;
    bool noHost = false;
    bool pulled = false;
    std::uint8_t chunk[4096];
    while (m_lineCredit >= 1.0 && !m_printer.senderHeld(host)) {
        std::size_t got = 0;
        std::size_t want = std::min<std::size_t>(sizeof chunk, static_cast<std::size_t>(m_lineCredit));
        if (const std::size_t limit = m_printer.bytesBeforeHold())
            want = std::min(want, limit);
        const auto result = m_port.read(chunk, want, &got);
        if (result == PtyPort::ReadResult::Empty) {
            empty = true;
            break;
        }
        if (result == PtyPort::ReadResult::NoHost) {
            noHost = true;
            break;
        }
        m_lineCredit -= static_cast<double>(got);
        m_printer.receive(chunk, got, now);
        pulled = true;
    }
    m_printer.service(now);
    sendPending();
    if (pulled || !m_printer.bufferEmpty())
        emit activity();

    if (noHost && m_printer.bufferEmpty()) {
        m_tick.stop();
        m_idle = true;
        if (m_readable)
            m_readable->setEnabled(false);
        if (!m_noHostPoll.isActive())
            m_noHostPoll.start();
        const qint64 deadline = m_printer.silenceDeadline();
        if (deadline >= 0)
            m_silence.start(static_cast<int>(std::max<qint64>(1, deadline - now + 1)));
        return;
    }
    if (empty && m_printer.bufferEmpty()) {
        goIdle();
        return;
    }
    if (m_idle) { // data came in while sleeping on a timer
        m_idle = false;
        m_noHostPoll.stop();
        m_silence.stop();
        if (m_readable)
            m_readable->setEnabled(false);
        m_tick.start();
    }
}

QByteArray LinePump::drainQueued()
{
    QByteArray all;
    std::uint8_t chunk[4096];
    for (;;) {
        std::size_t got = 0;
        if (m_port.read(chunk, sizeof chunk, &got) != PtyPort::ReadResult::Data)
            break;
        all.append(reinterpret_cast<const char *>(chunk), static_cast<qsizetype>(got));
    }
    return all;
}

} // namespace kvp
