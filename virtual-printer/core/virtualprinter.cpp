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
    return stored;
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
    const uint64_t rowsAtStart = printerCore.paper().rowsMade();
    uint8_t chunk[maxPiece];
    bool worked = false;
    while (credit >= 1.0 && receiveBuffer.size() > 0 && !(outputBusy && outputBusy())
           && printerCore.paper().rowsMade() - rowsAtStart < rowsPerSlice) {
        const bool wasHolding = receiveBuffer.holding();
        const size_t want = std::min<size_t>(pieceSize, static_cast<size_t>(credit));
        const size_t got = receiveBuffer.pop(chunk, want);
        credit -= static_cast<double>(got);
        sendControl();
        if (log && receiveBuffer.flowMode() == FlowMode::Hardware && wasHolding && !receiveBuffer.holding())
            log->note(QStringLiteral("flow"),
                      QStringLiteral("ready line raised (buffer %1 of %2)")
                          .arg(receiveBuffer.size())
                          .arg(receiveBuffer.capacity()));
        const uint64_t rowsBefore = printerCore.paper().rowsMade();
        printerCore.feed(chunk, got, false);
        // Heavy input is taken a few bytes at a time, light input in larger pieces.
        const bool heavy = printerCore.paper().rowsMade() - rowsBefore > rowsPerSlice / 4;
        pieceSize = heavy ? std::max<size_t>(4, pieceSize / 16) : std::min<size_t>(maxPiece, pieceSize * 2);
        worked = true;
    }
    if (worked)
        lastActivity = now;
    if (receiveBuffer.size() == 0 && lastActivity >= 0 && now - lastActivity >= argumentPauseMs)
        printerCore.pause();
    if (receiveBuffer.size() == 0 && lastActivity >= 0 && now - lastActivity >= settings.silenceMs) {
        lastActivity = -1;
        losing = false;
        reportLoss();
        printerCore.silence();
    }
}

int64_t VirtualPrinter::silenceDeadline() const
{
    if (lastActivity < 0)
        return -1;
    if (printerCore.decoder().awaitingOptionalArgument())
        return lastActivity + std::min(argumentPauseMs, settings.silenceMs);
    return lastActivity + settings.silenceMs;
}

uint64_t VirtualPrinter::finish(const QByteArray &tail, const std::function<bool()> &keepGoing)
{
    // Pieces as small as the engine's, so that a deadline is kept even
    // when a few bytes ask for many pages.
    auto more = [&keepGoing] { return !keepGoing || keepGoing(); };
    uint8_t chunk[maxPiece];
    while (receiveBuffer.size() > 0 && more()) {
        const size_t got = receiveBuffer.pop(chunk, sizeof chunk);
        printerCore.feed(chunk, got, false);
    }
    qsizetype fed = 0;
    for (; fed < tail.size() && receiveBuffer.size() == 0 && more(); fed += static_cast<qsizetype>(maxPiece))
        printerCore.feed(reinterpret_cast<const uint8_t *>(tail.constData()) + fed,
                         std::min<size_t>(maxPiece, static_cast<size_t>(tail.size() - fed)), false);
    const uint64_t left = receiveBuffer.size() + static_cast<uint64_t>(std::max<qsizetype>(0, tail.size() - fed));
    while (receiveBuffer.size() > 0)
        receiveBuffer.pop(chunk, sizeof chunk);
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
