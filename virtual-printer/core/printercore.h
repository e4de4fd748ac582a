#pragma once
// The controller proper: decodes the byte stream, prints it, answers the
// queries and keeps its configuration (head type in flash, UART settings).
// Everything is push-driven and free of timing; VirtualPrinter adds the
// receive buffer and the clock.
//
// Bytes are decoded as they arrive (take); the status and version queries
// are answered then, ahead of whatever waits to be printed, and the rest
// waits in a queue for the print engine (work). feed() does both at once.

#include "commandqueue.h"
#include "decoder/commandlog.h"
#include "decoder/controllerinfo.h"
#include "decoder/decoder.h"
#include "decoder/textcodec.h"
#include "flashstore.h"
#include "paper.h"
#include "renderer.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace kvp {

// The bits of the status byte answered to 10 04; bit 0 is never set, which
// keeps the byte clear of XON and XOFF.
enum class Status : uint8_t {
    PaperOut = 0x02,       // never set: the virtual roll does not run out
    LinePending = 0x04,    // characters wait in the line buffer for a line feed
    ReceiveBusy = 0x08,    // receive buffer above its high-water mark
    Fixed = 0x10,          // always set
    WideHead = 0x20,       // an 80 mm head (576 dots) is selected
    DoubleByteMode = 0x40, // double-byte mode is on
    DecodeError = 0x80,    // unknown or malformed input since the last status query
};
constexpr uint8_t operator|(Status a, Status b)
{
    return static_cast<uint8_t>(static_cast<uint8_t>(a) | static_cast<uint8_t>(b));
}
constexpr uint8_t operator|(uint8_t byte, Status bit) { return static_cast<uint8_t>(byte | static_cast<uint8_t>(bit)); }
constexpr uint8_t operator&(uint8_t byte, Status bit) { return static_cast<uint8_t>(byte & static_cast<uint8_t>(bit)); }

class PrinterCore : private DecoderSink
{
public:
    struct Options
    {
        QString flashPath; // empty: the head type lives in memory only
        int maxPageDots = 20000;
        const FontSet *fonts = nullptr; // default: FontSet::shared()
    };

    explicit PrinterCore(const Options &options, LogSink *logSink = nullptr);
    ~PrinterCore() override;

    // Bytes handed over together. The controller answers a 10 04 at the end
    // of them at once (its host waits for the status byte); `deliveryEnds`
    // false leaves it waiting for a possible argument (see pause()).
    void feed(const uint8_t *data, size_t size, bool deliveryEnds = true);
    void feed(const QByteArray &bytes);
    // Bytes arriving: decoded now, carried out by work().
    void take(const uint8_t *data, size_t size);
    // The print engine carries out queued commands while `allowance()`
    // grants stream bytes; `cost` is told the bytes each took.
    void work(const std::function<uint64_t()> &allowance, const std::function<void(uint64_t)> &cost = {});
    // Everything queued is carried out.
    void workAll()
    {
        work([] { return ~uint64_t(0); });
    }
    // Drops what waits to be printed (a stop out of time).
    void dropQueued() { queue.clear(); }
    // Nothing decoded waits for the engine.
    bool queueEmpty() const { return queue.isEmpty(); }
    size_t queuedItems() const { return queue.count(); }
    // Stream bytes the engine has worked off.
    uint64_t workedOff() const { return queue.isEmpty() ? streamDecoder.offset() : queue.workedOff(); }
    // Offset of the command an answer being sent belongs to.
    uint64_t answerOffset() const { return arriving ? streamDecoder.commandStart() : queue.currentStart(); }
    // End of input: commands cut short are reported, the pending line is
    // printed and the page ends.
    void finish();
    // A second of silence: the current page ends (the line buffer stays).
    void silence();
    // The line paused: a command that may take an argument (10 04, 1B 6D)
    // and got none yet is carried out without it.
    void pause();

    // Bytes for the host: query answers.
    std::function<void(const QByteArray &)> transmit;
    // Called when the UART command changes the flow control.
    std::function<void(FlowMode mode, int baud)> lineSettingsChanged;
    // Asked for the status byte: is the receive buffer busy?
    std::function<bool()> receiveBusy;

    uint8_t statusByte() const;
    QByteArray firmwareText() const;
    int headType() const { return flash.headType(); }
    int baud() const { return uartBaud; }
    FlowMode flowMode() const { return uartFlow; }
    void setLineSettings(int baud, FlowMode flow)
    {
        uartBaud = reportedBaud = baud;
        uartFlow = reportedFlow = flow;
    }

    Paper &paper() { return paperRoll; }
    const Paper &paper() const { return paperRoll; }
    const Decoder &decoder() const { return streamDecoder; }
    const Renderer &renderer() const { return paperRenderer; }
    bool sleeping() const { return streamDecoder.sleeping(); }

    static const char *const firmwareVersion;

private:
    void execute(const DecodedCommand &command) override;
    void character(const Character &ch) override;
    void dataBegin(const DecodedCommand &command) override;
    void dataChunk(const DecodedCommand &command, const uint8_t *data, size_t size) override;
    void dataEnd(const DecodedCommand &command, uint64_t received, bool complete) override;
    void wake() override;
    void inputFault(InputFault fault) override;
    void note(const QString &text);
    bool answerOnArrival(const DecodedCommand &command);
    void noteReported(const DecodedCommand &command);
    void decode(const uint8_t *data, size_t size);

    void answerStatus();
    void answerVersion();
    void answerRealTimeStatus(int n);
    void answerPrinterId(int n);
    void answerTransmitStatus(int n);
    void clearLineBuffer();
    void selectHeadType(int type);
    void setUart(int speedIndex, int flowArg);

    LogSink *log;
    bool decodeError = false; // bit 7 of the status byte
    FlashStore flash;
    TextCodec codec;
    Paper paperRoll;
    Renderer paperRenderer;
    CommandQueue queue;
    Decoder streamDecoder;
    bool arriving = false;    // decoding what arrives (answers go ahead of the queue)
    bool carryOutNow = false; // feed(): every command carried out as it is decoded
    int uartBaud = defaultBaud;
    FlowMode uartFlow = FlowMode::XonXoff;
    // The settings the answers report: those of every command received, also
    // of one the engine has not reached yet (a query right behind a head type
    // or UART command reports the new setting).
    int reportedHead = 0;
    int reportedBaud = defaultBaud;
    FlowMode reportedFlow = FlowMode::XonXoff;
    int callBack = 0;
};

} // namespace kvp
