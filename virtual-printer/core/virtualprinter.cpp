#include "virtualprinter.h"

#include <algorithm>
#include <cmath>

namespace kvp {

VirtualPrinter::VirtualPrinter(const Settings &printerSettings, LogSink *logSink)
    : settings(printerSettings)
    , log(logSink)
    , printerCore(printerSettings.core, logSink)
    , receiveBuffer(printerSettings.bufferSize)
{
    receiveBuffer.setFlowMode(settings.flow);
    receiveBuffer.takeControlByte();
    printerCore.setLineSettings(defaultBaud, settings.flow);
    printerCore.transmit = [this](const QByteArray &bytes) {
        if (transmit)
            transmit(bytes);
    };
    printerCore.receiveBusy = [this] { return receiveBuffer.holding(); };
    printerCore.lineSettingsChanged = [this](FlowMode mode, int) { receiveBuffer.setFlowMode(mode); };
}

size_t VirtualPrinter::receive(const uint8_t *data, size_t size, int64_t now)
{
    if (size == 0)
        return 0;
    if (lastService < 0)
        lastService = now; // the engine's clock starts with the first byte
    const bool wasHolding = receiveBuffer.holding();
    const size_t stored = receiveBuffer.push(data, size);
    lastActivity = now;
    lastArrival = now;
    if (stored < size && !losing) {
        losing = true;
        if (log)
            log->note(QStringLiteral("overflow"),
                      QStringLiteral("receive buffer full (%1, %2 bytes): incoming bytes are being lost")
                          .arg(flowModeName(receiveBuffer.flowMode()))
                          .arg(receiveBuffer.capacity()));
    } else if (stored == size && losing) {
        losing = false;
        reportLoss();
    }
    if (log && receiveBuffer.flowMode() == FlowMode::Hardware && receiveBuffer.holding() != wasHolding)
        log->note(QStringLiteral("flow"),
                  QStringLiteral("ready line dropped (buffer %1 of %2)")
                      .arg(receiveBuffer.size())
                      .arg(receiveBuffer.capacity()));
    sendControl();
    decodeArrived();
    return stored;
}

// The decoder reads what has arrived at once (answering the real-time
// requests in it), as far as the queue of decoded commands has room.
void VirtualPrinter::decodeArrived()
{
    uint8_t chunk[4096];
    while (receiveBuffer.pending() > 0 && printerCore.queuedItems() < maxQueuedItems) {
        const size_t got = receiveBuffer.take(chunk, sizeof chunk);
        printerCore.take(chunk, got);
    }
}

// Gives the receive buffer back what the engine has worked off.
void VirtualPrinter::releaseWorkedOff()
{
    const uint64_t worked = printerCore.workedOff();
    if (worked <= released)
        return;
    const bool wasHolding = receiveBuffer.holding();
    receiveBuffer.release(static_cast<size_t>(worked - released));
    released = worked;
    sendControl();
    if (log && receiveBuffer.flowMode() == FlowMode::Hardware && wasHolding && !receiveBuffer.holding())
        log->note(QStringLiteral("flow"),
                  QStringLiteral("ready line raised (buffer %1 of %2)")
                      .arg(receiveBuffer.size())
                      .arg(receiveBuffer.capacity()));
}

void VirtualPrinter::reportLoss()
{
    if (receiveBuffer.lost() == lossReported)
        return;
    if (log)
        log->note(QStringLiteral("overflow"),
                  QStringLiteral("%1 bytes lost while the receive buffer was full (%2 lost in all)")
                      .arg(receiveBuffer.lost() - lossReported)
                      .arg(receiveBuffer.lost()));
    lossReported = receiveBuffer.lost();
}

bool VirtualPrinter::senderHeld(const HostLine &host) const
{
    if (!receiveBuffer.holding())
        return false;
    switch (receiveBuffer.flowMode()) {
    case FlowMode::XonXoff: return host.honoursXonXoff;
    case FlowMode::Hardware: return host.honoursHardware;
    case FlowMode::None: return false;
    }
    return false;
}

size_t VirtualPrinter::bytesBeforeHold() const
{
    if (receiveBuffer.flowMode() == FlowMode::None || receiveBuffer.holding()
        || receiveBuffer.size() >= receiveBuffer.highWater())
        return 0;
    return receiveBuffer.highWater() - receiveBuffer.size();
}

void VirtualPrinter::service(int64_t now)
{
    if (lastService < 0)
        lastService = now;
    const int64_t elapsed = std::max<int64_t>(0, now - lastService);
    lastService = now;
    const double burst = std::max(1.0, settings.printBytesPerSecond * 0.05);
    credit = std::min(burst, credit + settings.printBytesPerSecond * static_cast<double>(elapsed) / 1000.0);

    // The engine works in slices: a few bytes may ask for millions of rows
    // (reprints of a stored picture), and the line, the replies and the
    // signals must not wait for all of them.
    decodeArrived();
    const uint64_t rowsAtStart = printerCore.paper().rowsMade();
    const uint64_t workedBefore = printerCore.workedOff();
    printerCore.work(
        [&]() -> uint64_t {
            if (credit < 1.0 || (outputBusy && outputBusy())
                || printerCore.paper().rowsMade() - rowsAtStart >= rowsPerSlice)
                return 0;
            return static_cast<uint64_t>(credit);
        },
        [&](uint64_t bytes) { credit -= static_cast<double>(bytes); });
    releaseWorkedOff();
    decodeArrived();
    if (printerCore.workedOff() != workedBefore)
        lastActivity = now;
    // The line paused after a command that may take an argument: it has none.
    if (receiveBuffer.pending() == 0 && lastArrival >= 0 && now - lastArrival >= argumentPauseMs
        && printerCore.decoder().awaitingOptionalArgument()) {
        printerCore.pause();
        releaseWorkedOff();
    }
    if (receiveBuffer.size() == 0 && lastActivity >= 0 && now - lastActivity >= settings.silenceMs) {
        lastActivity = -1;
        losing = false;
        reportLoss();
        printerCore.silence();
    }
}

void VirtualPrinter::deliveryEnded()
{
    if (receiveBuffer.pending() == 0 && printerCore.decoder().pendingWithoutArgument() == Cmd::StatusQuery) {
        printerCore.pause();
        releaseWorkedOff();
    }
}

int64_t VirtualPrinter::silenceDeadline() const
{
    if (lastActivity < 0)
        return -1;
    if (printerCore.decoder().awaitingOptionalArgument() && lastArrival >= 0)
        return lastArrival + std::min(argumentPauseMs, settings.silenceMs);
    return lastActivity + settings.silenceMs;
}

uint64_t VirtualPrinter::finish(const QByteArray &tail, const std::function<bool()> &keepGoing)
{
    // Piece by piece, so that a deadline is kept even when a few bytes ask
    // for many pages.
    auto more = [&keepGoing]() -> uint64_t { return !keepGoing || keepGoing() ? maxPiece : 0; };
    uint8_t chunk[maxPiece];
    while (receiveBuffer.pending() > 0 && more() > 0) {
        printerCore.take(chunk, receiveBuffer.take(chunk, sizeof chunk));
        printerCore.work(more);
    }
    printerCore.work(more);
    qsizetype fed = 0;
    for (; fed < tail.size() && receiveBuffer.pending() == 0 && printerCore.queueEmpty() && more() > 0;
         fed += static_cast<qsizetype>(maxPiece)) {
        printerCore.take(reinterpret_cast<const uint8_t *>(tail.constData()) + fed,
                         std::min<size_t>(maxPiece, static_cast<size_t>(tail.size() - fed)));
        printerCore.work(more);
    }
    const uint64_t worked = printerCore.workedOff();
    const uint64_t left = receiveBuffer.received() + static_cast<uint64_t>(tail.size()) - worked;
    printerCore.dropQueued();
    while (receiveBuffer.pending() > 0)
        receiveBuffer.take(chunk, sizeof chunk);
    receiveBuffer.release(receiveBuffer.size());
    stopOffset = worked;
    printerCore.feed(nullptr, 0); // a status query at the very end is answered
    sendControl();
    losing = false;
    reportLoss();
    printerCore.finish();
    lastActivity = -1;
    return left;
}

void VirtualPrinter::sendControl()
{
    const auto control = receiveBuffer.takeControlByte();
    if (!control)
        return;
    if (log)
        log->note(QStringLiteral("flow"),
                  QStringLiteral("%1 sent (buffer %2 of %3)")
                      .arg(*control == xoff ? QStringLiteral("XOFF") : QStringLiteral("XON"))
                      .arg(receiveBuffer.size())
                      .arg(receiveBuffer.capacity()));
    if (transmitControl)
        transmitControl(static_cast<char>(*control));
    else if (transmit)
        transmit(QByteArray(1, static_cast<char>(*control)));
}

} // namespace kvp
