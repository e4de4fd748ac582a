#pragma once
// The controller with its receive buffer and clock: bytes from the line go
// into the buffer, the print engine drains it at its print speed, flow
// control guards it, and a page ends after a second of silence. Time is
// passed in (milliseconds of a monotonic clock), so tests can drive it.

#include "decoder/commandlog.h"
#include "printercore.h"
#include "receivebuffer.h"

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <optional>

namespace kvp {

// What the host side of the line is doing, as its terminal settings show.
struct HostLine
{
    int baud = defaultBaud;
    bool honoursXonXoff = false;  // IXON: the host stops sending on XOFF
    bool honoursHardware = false; // CRTSCTS
};

class VirtualPrinter
{
public:
    struct Settings
    {
        size_t bufferSize = 16384;
        double printBytesPerSecond = 20000; // how fast the engine takes bytes from the buffer
        int64_t silenceMs = 1000;           // page end after this much silence
        FlowMode flow = FlowMode::XonXoff;  // start-up flow control
        PrinterCore::Options core;
    };

    VirtualPrinter(const Settings &printerSettings, LogSink *logSink);

    // Bytes arriving from the line at time `now`; returns how many fitted.
    size_t receive(const uint8_t *data, size_t size, int64_t now);
    // True while the sender is held: XOFF sent (or ready line dropped) and the
    // host honours that form of flow control.
    bool senderHeld(const HostLine &host) const;
    // How many bytes may arrive before the buffer decides to hold the sender;
    // the line hands over bytes in pieces no larger than this, as a UART
    // would see them one by one. 0 when there is no such limit.
    size_t bytesBeforeHold() const;
    // Lets the print engine work up to `now`.
    void service(int64_t now);
    // The host's queue ran dry: a status query at the end of what it wrote
    // is answered now (the host waits for it) rather than after a pause.
    void deliveryEnded();
    // Decodes everything still buffered, then `tail` (bytes still queued on
    // the line), and ends the page (for shutdown). Stops decoding when
    // `keepGoing` says so; returns the bytes left undecoded.
    uint64_t finish(const QByteArray &tail = QByteArray(), const std::function<bool()> &keepGoing = {});

    // Bytes for the host: query answers, in order.
    std::function<void(const QByteArray &)> transmit;
    // True while the pages written so far wait to be stored: the engine
    // pauses (the receive buffer fills and holds the sender).
    std::function<bool()> outputBusy;
    // XON and XOFF, which a UART sends ahead of queued answers; when not
    // set they go through `transmit`.
    std::function<void(char)> transmitControl;

    bool bufferEmpty() const { return receiveBuffer.size() == 0 && printerCore.queueEmpty(); }
    // Time at which service() must run next to end a page on silence, or to
    // carry out a command left waiting for an optional argument; -1 for none.
    int64_t silenceDeadline() const;

    PrinterCore &core() { return printerCore; }
    const PrinterCore &core() const { return printerCore; }
    const ReceiveBuffer &buffer() const { return receiveBuffer; }
    // Stream bytes the engine has worked off (at a stop: those it did).
    uint64_t decodedBytes() const { return stopOffset ? *stopOffset : printerCore.workedOff(); }

private:
    void sendControl();
    void reportLoss();
    void decodeArrived();
    void releaseWorkedOff();

    Settings settings;
    LogSink *log;
    PrinterCore printerCore;
    ReceiveBuffer receiveBuffer;
    double credit = 0;
    int64_t lastService = -1;
    int64_t lastActivity = -1;
    int64_t lastArrival = -1;
    uint64_t released = 0; // stream bytes given back to the receive buffer
    std::optional<uint64_t> stopOffset;
    bool losing = false;
    // A pause this long (many byte times even at 9600 bit/s) means no argument follows.
    static constexpr int64_t argumentPauseMs = 20;
    uint64_t lossReported = 0;
    // Rows one service() call may make before it lets the event loop run.
    static constexpr uint64_t rowsPerSlice = 40000;
    // Bytes decoded at once at a stop: 128 bytes of reprints make about 260 000 rows.
    static constexpr size_t maxPiece = 128;
    // Decoded commands waiting for the engine, at most; beyond, bytes wait
    // undecoded in the receive buffer (a very large one full of text).
    static constexpr size_t maxQueuedItems = size_t(1) << 18;
};

} // namespace kvp
