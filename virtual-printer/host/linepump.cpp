#include "linepump.h"

#include <QSocketNotifier>

#include <algorithm>

namespace kvp {

LinePump::LinePump(PtyPort &ptyPort, VirtualPrinter &virtualPrinter, int bitRate, LogSink *logSink, QObject *parent)
    : QObject(parent)
    , port(ptyPort)
    , printer(virtualPrinter)
    , lineRate(bitRate)
    , log(logSink)
{
    clock.start();
    tickTimer.setTimerType(Qt::PreciseTimer);
    tickTimer.setInterval(tickMs);
    connect(&tickTimer, &QTimer::timeout, this, &LinePump::tick);
    silenceTimer.setSingleShot(true);
    connect(&silenceTimer, &QTimer::timeout, this, &LinePump::tick);
    // Without any slave descriptor the master reports EIO at once; poll slowly then.
    noHostPoll.setInterval(200);
    connect(&noHostPoll, &QTimer::timeout, this, &LinePump::tick);
    printer.transmit = [this](const QByteArray &bytes) { queueReply(bytes); };
    printer.transmitControl = [this](char byte) {
        replyQueue.pushControl(byte);
        sendPending();
    };
}

LinePump::~LinePump()
{
    printer.transmit = nullptr;
    printer.transmitControl = nullptr;
}

void LinePump::start()
{
    readable = std::make_unique<QSocketNotifier>(port.masterFd(), QSocketNotifier::Read);
    connect(readable.get(), &QSocketNotifier::activated, this, &LinePump::wake);
    writable = std::make_unique<QSocketNotifier>(port.masterFd(), QSocketNotifier::Write);
    writable->setEnabled(false);
    connect(writable.get(), &QSocketNotifier::activated, this, &LinePump::sendPending);
    if (port.hostWatchFd() >= 0) {
        hostWatch = std::make_unique<QSocketNotifier>(port.hostWatchFd(), QSocketNotifier::Read);
        connect(hostWatch.get(), &QSocketNotifier::activated, this, &LinePump::hostsChanged);
    }
    goIdle();
}

void LinePump::stop()
{
    reportReplyLoss();
    tickTimer.stop();
    silenceTimer.stop();
    noHostPoll.stop();
    readable.reset();
    writable.reset();
    hostWatch.reset();
}

int LinePump::effectiveLineRate() const
{
    if (lineRate > 0)
        return lineRate;
    const int host = port.hostLine().baud;
    return host > 0 ? host : printer.core().baud();
}

void LinePump::wake()
{
    if (readable)
        readable->setEnabled(false);
    silenceTimer.stop();
    noHostPoll.stop();
    if (idle) {
        idle = false;
        line.restart(clock.elapsed(), LineModel::fifoBytes); // the bytes that woke it are there
        tickTimer.start();
    }
    tick();
}

void LinePump::goIdle()
{
    idle = true;
    noHostPoll.stop();
    tickTimer.stop();
    if (readable)
        readable->setEnabled(true);
    const qint64 deadline = printer.silenceDeadline();
    if (deadline >= 0)
        silenceTimer.start(static_cast<int>(std::max<qint64>(1, deadline - clock.elapsed() + 1)));
}

void LinePump::queueReply(const QByteArray &bytes)
{
    hostsChanged(); // a host that has just opened the port counts as there
    if (!port.hostPresent())
        return; // nobody to answer: the host closed the port before this reply
    const bool fitted = replyQueue.push(bytes);
    if (!fitted && replyQueue.lost() == lossReported + static_cast<uint64_t>(bytes.size()))
        note(QStringLiteral("transmit buffer full (%1 bytes): replies are being lost").arg(replyQueue.capacity()));
    if (fitted)
        reportReplyLoss();
    sendPending();
}

// Logs once per run of lost replies, when the buffer takes a reply again (or
// at the end), as the receive buffer logs its overflows.
void LinePump::reportReplyLoss()
{
    if (replyQueue.lost() == lossReported)
        return;
    note(QStringLiteral("%1 reply bytes lost while the transmit buffer was full (%2 lost in all)")
             .arg(replyQueue.lost() - lossReported)
             .arg(replyQueue.lost()));
    lossReported = replyQueue.lost();
}

void LinePump::note(const QString &text)
{
    if (log)
        log->note(QStringLiteral("reply"), text);
}

// A session began or ended: what is queued or unread belongs to no one now.
void LinePump::hostsChanged()
{
    if (!port.updateHosts())
        return;
    replyQueue.dropReplies();
    port.discardUnread();
}

void LinePump::sendPending()
{
    if (!replyQueue.isEmpty())
        replyQueue.consumed(std::max<qsizetype>(0, port.write(replyQueue.front())));
    if (writable)
        writable->setEnabled(!replyQueue.isEmpty());
}

void LinePump::tick()
{
    qint64 now = clock.elapsed();
    const HostLine host = port.hostLine();
    checkHostSpeed(host);
    const LineModel::Pulled result = pullAndPrint(host, now);
    if (result.pulled || !printer.bufferEmpty())
        emit activity();

    if (result.noHost && printer.bufferEmpty()) {
        waitForHost(now);
        return;
    }
    if (result.empty && printer.bufferEmpty()) {
        goIdle();
        return;
    }
    if (idle) { // data came in while sleeping on a timer
        idle = false;
        noHostPoll.stop();
        silenceTimer.stop();
        tickTimer.start();
    }
    // The host's queue ran dry with line time to spare: bytes it writes
    // before the next tick are taken as they arrive. (With no credit left,
    // or the sender held, they wait for the tick.)
    if (readable)
        readable->setEnabled(result.empty && line.hasTime());
}

// Takes bytes from the host's queue and lets the engine work, round after
// round while the engine makes room for bytes still waiting, for a few
// milliseconds at most: a fast engine is not held to one buffer per tick.
LineModel::Pulled LinePump::pullAndPrint(const HostLine &host, qint64 now)
{
    const qint64 turnEnd = now + maxTurnMs;
    LineModel::Pulled result;
    for (;;) {
        line.elapse(now, effectiveLineRate() / 10.0);
        const LineModel::Pulled round = pull(host, now);
        result.pulled |= round.pulled;
        result.empty = round.empty;
        result.noHost = round.noHost;
        if (round.empty)
            printer.deliveryEnded(); // a status query ending the host's write is answered now
        printer.service(now);
        sendPending();
        if (!round.pulled || round.empty || round.noHost || !line.hasTime() || printer.senderHeld(host))
            return result;
        now = clock.elapsed();
        if (now >= turnEnd)
            return result;
    }
}

// Logs once per host speed that the host's line is set to another speed
// than the controller's (unless the line rate is fixed).
void LinePump::checkHostSpeed(const HostLine &host)
{
    if (lineRate == 0 && host.baud > 0 && host.baud != printer.core().baud()) {
        if (host.baud != warnedHostBaud && log)
            log->note(QStringLiteral("line"),
                      QStringLiteral("host line at %1 bit/s, controller at %2 bit/s: a real controller would "
                                     "read garbage; the bytes are passed on all the same")
                          .arg(host.baud)
                          .arg(printer.core().baud()));
        warnedHostBaud = host.baud;
    } else {
        warnedHostBaud = -1;
    }
}

// Takes what the line time allows from the host's queue into the printer,
// unless the printer holds the sender.
LineModel::Pulled LinePump::pull(const HostLine &host, qint64 now)
{
    // A quarter of the buffer at a time: an engine that keeps up empties it
    // before the sender has to be held.
    const size_t most = std::max<size_t>(16, printer.buffer().capacity() / 4);
    return line.pull(
        printer, host, now,
        [this](uint8_t *out, size_t max, size_t *got) {
            switch (port.read(out, max, got)) {
            case PtyPort::ReadResult::Data: return LineModel::Source::Data;
            case PtyPort::ReadResult::Empty: return LineModel::Source::Empty;
            case PtyPort::ReadResult::NoHost: break;
            }
            return LineModel::Source::NoHost;
        },
        most);
}

// No slave is open: poll slowly for a host, and still end the page on silence.
void LinePump::waitForHost(qint64 now)
{
    tickTimer.stop();
    idle = true;
    if (readable)
        readable->setEnabled(false);
    if (!noHostPoll.isActive())
        noHostPoll.start();
    const qint64 deadline = printer.silenceDeadline();
    if (deadline >= 0)
        silenceTimer.start(static_cast<int>(std::max<qint64>(1, deadline - now + 1)));
}

QByteArray LinePump::drainQueued()
{
    QByteArray all;
    uint8_t chunk[4096];
    for (;;) {
        size_t got = 0;
        if (port.read(chunk, sizeof chunk, &got) != PtyPort::ReadResult::Data)
            break;
        all.append(reinterpret_cast<const char *>(chunk), static_cast<qsizetype>(got));
    }
    return all;
}

} // namespace kvp
