#include "printercore.h"

namespace kvp {

const char *const PrinterCore::firmwareVersion = "1.22 (2020-06-15)";

PrinterCore::PrinterCore(const Options &options, LogSink *logSink)
    : log(logSink)
    , flash(options.flashPath)
    , paperRoll(kvp::headType(flash.headType())->dots, options.maxPageDots)
    , paperRenderer(paperRoll, options.fonts ? *options.fonts : FontSet::shared(), logSink)
    , streamDecoder(*this, codec, logSink)
{ }

PrinterCore::~PrinterCore() = default;

void PrinterCore::note(const QString &text)
{
    if (log)
        log->note(QStringLiteral("note"), text);
}

void PrinterCore::feed(const uint8_t *data, size_t size) { streamDecoder.push(data, size); }

void PrinterCore::feed(const QByteArray &bytes) { streamDecoder.push(bytes); }

void PrinterCore::finish()
{
    streamDecoder.finish();
    paperRenderer.finishStream();
}

void PrinterCore::silence()
{
    streamDecoder.flushLog();
    paperRenderer.endPage(QStringLiteral("silence"));
}

uint8_t PrinterCore::statusByte() const
{
    uint8_t s = static_cast<uint8_t>(Status::Fixed);
    if (paperRenderer.lineHasContent())
        s = s | Status::LinePending;
    if (receiveBusy && receiveBusy())
        s = s | Status::ReceiveBusy;
    if (paperRoll.width() > 384)
        s = s | Status::WideHead;
    if (streamDecoder.doubleByteMode())
        s = s | Status::DoubleByteMode;
    if (decodeError)
        s = s | Status::DecodeError;
    return s;
}

QByteArray PrinterCore::firmwareText() const
{
    const HeadType *h = kvp::headType(flash.headType());
    return QStringLiteral("%1 virtual controller, firmware %2, Printer Kivo virtual printer; head type %3: %4, %5 "
                          "dots; UART %6 bit/s, %7\r\n")
        .arg(QLatin1String(h->family), QLatin1String(firmwareVersion))
        .arg(h->index)
        .arg(QLatin1String(h->name))
        .arg(h->dots)
        .arg(uartBaud)
        .arg(flowModeName(uartFlow))
        .toLatin1();
}

void PrinterCore::execute(const DecodedCommand &c)
{
    switch (c.id) {
    case Cmd::StatusQuery: answerStatus(); break;
    case Cmd::VersionQuery: answerVersion(); break;
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

void PrinterCore::inputFault(InputFault) { decodeError = true; }

} // namespace kvp
