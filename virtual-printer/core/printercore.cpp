#include "printercore.h"

#include <algorithm>

namespace kvp {

const char *const PrinterCore::firmwareVersion = "1.22 (2020-06-15)";

PrinterCore::PrinterCore(const Options &options, LogSink *logSink)
    : log(logSink)
    , flash(options.flashPath)
    , paperRoll(kvp::headType(flash.headType())->dots, options.maxPageDots)
    , paperRenderer(paperRoll, options.fonts ? *options.fonts : FontSet::shared(), logSink)
    , streamDecoder(queue, codec, &queue)
{
    queue.position = [this] { return streamDecoder.offset(); };
    queue.commandStart = [this] { return streamDecoder.commandStart(); };
    queue.onArrival = [this](const DecodedCommand &c) { return answerOnArrival(c); };
    queue.onFault = [this](InputFault) { decodeError = true; };
    reportedHead = flash.headType();
}

PrinterCore::~PrinterCore() = default;

void PrinterCore::noteReported(const DecodedCommand &c)
{
    if (c.id == Cmd::HeadType && kvp::headType(c.args[0]))
        reportedHead = c.args[0];
    if (c.id == Cmd::UartMode && flowModeFor(c.args[1])) {
        reportedBaud = uartSpeed(c.args[0]);
        reportedFlow = *flowModeFor(c.args[1]);
    }
}

// Notes made while decoding an arrival wait in the queue, in stream order.
void PrinterCore::note(const QString &text)
{
    LogSink *to = arriving ? &queue : log;
    if (to)
        to->note(QStringLiteral("note"), text);
}

void PrinterCore::decode(const uint8_t *data, size_t size)
{
    arriving = true;
    streamDecoder.push(data, size);
    arriving = false;
}

void PrinterCore::feed(const uint8_t *data, size_t size, bool deliveryEnds)
{
    // Carried out as decoded: answers see everything before them printed.
    // In pieces, so that little waits in the queue at a time.
    carryOutNow = true;
    constexpr size_t piece = 512;
    for (size_t at = 0; at < size; at += piece) {
        decode(data + at, std::min(piece, size - at));
        workAll();
    }
    if (deliveryEnds && streamDecoder.pendingWithoutArgument() == Cmd::StatusQuery)
        pause();
    carryOutNow = false;
    workAll();
}

void PrinterCore::take(const uint8_t *data, size_t size) { decode(data, size); }

void PrinterCore::pause()
{
    arriving = true;
    streamDecoder.resolvePending();
    arriving = false;
}

void PrinterCore::work(const std::function<uint64_t()> &allowance, const std::function<void(uint64_t)> &cost)
{
    queue.run(*this, log, allowance, cost);
}

// The real-time requests: answered when they arrive, whatever waits before
// them. Everything else waits its turn.
bool PrinterCore::answerOnArrival(const DecodedCommand &c)
{
    noteReported(c);
    if (c.id != Cmd::StatusQuery && c.id != Cmd::VersionQuery && c.id != Cmd::RealTimeStatus)
        return false;
    if (carryOutNow) {
        arriving = false;
        workAll();
        arriving = true;
    }
    const uint64_t ahead = queue.bytesBefore(streamDecoder.commandStart());
    execute(c);
    if (ahead > 0)
        note(QStringLiteral("answered on arrival, ahead of %1 queued bytes").arg(ahead));
    return true;
}

void PrinterCore::feed(const QByteArray &bytes)
{
    feed(reinterpret_cast<const uint8_t *>(bytes.constData()), static_cast<size_t>(bytes.size()));
}

void PrinterCore::finish()
{
    arriving = true;
    streamDecoder.finish();
    arriving = false;
    workAll();
    paperRenderer.finishStream();
}

void PrinterCore::silence()
{
    streamDecoder.flushLog();
    workAll();
    paperRenderer.endPage(QStringLiteral("silence"));
}

uint8_t PrinterCore::statusByte() const
{
    uint8_t s = static_cast<uint8_t>(Status::Fixed);
    if (paperRenderer.lineHasContent())
        s = s | Status::LinePending;
    if (receiveBusy && receiveBusy())
        s = s | Status::ReceiveBusy;
    if (kvp::headType(reportedHead)->dots > 384)
        s = s | Status::WideHead;
    if (streamDecoder.doubleByteMode())
        s = s | Status::DoubleByteMode;
    if (decodeError)
        s = s | Status::DecodeError;
    return s;
}

QByteArray PrinterCore::firmwareText() const
{
    const HeadType *h = kvp::headType(reportedHead);
    return QStringLiteral("%1 virtual controller, firmware %2, Printer Kivo virtual printer; head type %3: %4, %5 "
                          "dots; UART %6 bit/s, %7\r\n")
        .arg(QLatin1String(h->family), QLatin1String(firmwareVersion))
        .arg(h->index)
        .arg(QLatin1String(h->name))
        .arg(h->dots)
        .arg(reportedBaud)
        .arg(flowModeName(reportedFlow))
        .toLatin1();
}

void PrinterCore::execute(const DecodedCommand &c)
{
    switch (c.id) {
    case Cmd::StatusQuery: answerStatus(); break;
    case Cmd::VersionQuery: answerVersion(); break;
    case Cmd::RealTimeStatus: answerRealTimeStatus(c.args[0]); break;
    case Cmd::PrinterId: answerPrinterId(c.args[0]); break;
    case Cmd::TransmitStatus: answerTransmitStatus(c.args[0]); break;
    case Cmd::ClearBuffer: clearLineBuffer(); break;
    case Cmd::Sleep: note(QStringLiteral("sleeping until the next byte")); break;
    case Cmd::CallBack: callBack = c.args[0]; break;
    case Cmd::HeadType: selectHeadType(c.args[0]); break;
    case Cmd::UartMode: setUart(c.args[0], c.args[1]); break;
    case Cmd::Initialize: paperRenderer.initialize(); break;
    default: paperRenderer.execute(c); break;
    }
}

void PrinterCore::answerStatus()
{
    const uint8_t s = statusByte();
    decodeError = false;
    note(QStringLiteral("status 0x%1 sent").arg(s, 2, 16, QLatin1Char('0')));
    if (transmit)
        transmit(QByteArray(1, static_cast<char>(s)));
}

void PrinterCore::answerVersion()
{
    note(QStringLiteral("firmware text sent"));
    if (transmit)
        transmit(firmwareText());
}

// 10 04 n as a typical ESC/POS printer answers it when all is well: bits 1
// and 4 always set; for n = 1 bit 2 (drawer connector pin high) too.
void PrinterCore::answerRealTimeStatus(int n)
{
    const char byte = n == 1 ? 0x16 : 0x12;
    note(QStringLiteral("real-time status %1: 0x%2 sent").arg(n).arg(static_cast<int>(byte), 2, 16, QLatin1Char('0')));
    if (transmit)
        transmit(QByteArray(1, byte));
}

// 1D 72 n as an ESC/POS printer with paper, its drawer closed and ink
// answers it: one byte, 00 (no sensor reports a near end or an end, the
// drawer pin is low); nothing for another n.
void PrinterCore::answerTransmitStatus(int n)
{
    const int digit = digitOf(n);
    if (digit != 1 && digit != 2 && digit != 4) {
        note(QStringLiteral("transmit status %1 unknown; no answer").arg(n));
        return;
    }
    note(QStringLiteral("transmit status %1: 0x00 sent").arg(n));
    if (transmit)
        transmit(QByteArray(1, '\0'));
}

// 1D 49 n: one byte for the model, type and version IDs, a text block
// (5F, text, 00) for the firmware, maker, model and serial number.
void PrinterCore::answerPrinterId(int n)
{
    struct Answer
    {
        int n;
        QByteArray bytes;
    };
    static const Answer answers[] = {
        {0x01, QByteArray(1, 0x20)},     {0x31, QByteArray(1, 0x20)},
        {0x02, QByteArray(1, 0x02)},     {0x32, QByteArray(1, 0x02)},
        {0x03, QByteArray(1, 0x22)},     {0x33, QByteArray(1, 0x22)},
        {0x41, QByteArray("_1.22", 6)},  {0x42, QByteArray("_Printer Kivo", 14)},
        {0x43, QByteArray("_VX02x", 7)}, {0x44, QByteArray("_00000001", 10)},
    };
    for (const Answer &a : answers)
        if (a.n == n) {
            note(QStringLiteral("printer ID %1 sent").arg(n));
            if (transmit)
                transmit(a.bytes);
            return;
        }
    note(QStringLiteral("printer ID %1 unknown; no answer").arg(n));
}

void PrinterCore::clearLineBuffer()
{
    if (paperRenderer.lineHasContent())
        note(QStringLiteral("unprinted characters of the line buffer discarded"));
    paperRenderer.clearLine();
}

void PrinterCore::selectHeadType(int type)
{
    const HeadType *h = kvp::headType(type);
    if (!h) {
        note(QStringLiteral("head type %1 unknown; flash unchanged").arg(type));
        return;
    }
    if (!flash.setHeadType(h->index))
        note(QStringLiteral("flash file %1 could not be written").arg(flash.path()));
    else
        note(QStringLiteral("%1 controller flash updated: head type %2 (%3), %4 dots")
                 .arg(QLatin1String(h->family))
                 .arg(h->index)
                 .arg(QLatin1String(h->name))
                 .arg(h->dots));
    paperRenderer.flushLine();
    paperRoll.setWidth(h->dots);
}

void PrinterCore::setUart(int speedIndex, int flowArg)
{
    const int baud = uartSpeed(speedIndex);
    const std::optional<FlowMode> flow = flowModeFor(flowArg);
    if (!flow) {
        note(QStringLiteral("flow control %1 unknown; UART unchanged").arg(flowArg));
        return;
    }
    uartBaud = baud;
    uartFlow = *flow;
    note(QStringLiteral("UART now %1 bit/s with %2: the host must disconnect and reconnect with these settings")
             .arg(baud)
             .arg(flowModeName(uartFlow)));
    if (lineSettingsChanged)
        lineSettingsChanged(uartFlow, uartBaud);
}

void PrinterCore::character(const Character &ch) { paperRenderer.character(ch); }

void PrinterCore::dataBegin(const DecodedCommand &c) { paperRenderer.dataBegin(c); }

void PrinterCore::dataChunk(const DecodedCommand &c, const uint8_t *data, size_t size)
{
    paperRenderer.dataChunk(c, data, size);
}

void PrinterCore::dataEnd(const DecodedCommand &c, uint64_t received, bool complete)
{
    paperRenderer.dataEnd(c, received, complete);
}

void PrinterCore::wake() { }

void PrinterCore::inputFault(InputFault) { }

} // namespace kvp
