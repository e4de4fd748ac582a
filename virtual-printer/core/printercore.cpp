#include "printercore.h"

namespace kvp {

const char *const PrinterCore::firmwareVersion = "1.22 (2020-06-15)";

// Forwards the decoder's log and remembers whether it reported bad input,
// for bit 7 of the status byte.
class PrinterCore::ErrorWatch : public LogSink {
public:
    explicit ErrorWatch(LogSink *nextSink)
        : next(nextSink)
    {
    }
    void add(const LogEntry &entry) override
    {
        if (entry.name == QLatin1String("skip") || entry.name == QLatin1String("unknown")
            || entry.args.contains(QLatin1String("[truncated")) || entry.args.contains(QLatin1String("malformed")))
            error = true;
        if (next)
            next->add(entry);
    }
    bool error = false;

private:
    LogSink *next;
};

PrinterCore::PrinterCore(const Options &options, LogSink *logSink)
    : log(logSink)
    , errorWatch(std::make_unique<ErrorWatch>(logSink))
    , flash(options.flashPath)
    , paperRoll(kvp::headType(flash.headType())->dots, options.maxPageDots)
    , paperRenderer(paperRoll, options.fonts ? *options.fonts : FontSet::shared(), logSink)
    , streamDecoder(*this, codec, errorWatch.get())
{
}

PrinterCore::~PrinterCore() = default;

void PrinterCore::note(const QString &text)
{
    if (log)
        log->note(QStringLiteral("note"), text);
}

void PrinterCore::feed(const uint8_t *data, size_t size)
{
    streamDecoder.push(data, size);
}

void PrinterCore::feed(const QByteArray &bytes)
{
    streamDecoder.push(bytes);
}

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
    uint8_t s = Status::Fixed;
    if (paperRenderer.lineHasContent())
        s |= Status::LinePending;
    if (receiveBusy && receiveBusy())
        s |= Status::ReceiveBusy;
    if (paperRoll.width() > 384)
        s |= Status::WideHead;
    if (streamDecoder.doubleByteMode())
        s |= Status::DoubleByteMode;
    if (errorWatch->error)
        s |= Status::DecodeError;
    return s;
}

QByteArray PrinterCore::firmwareText() const
{
    const HeadType *h = kvp::headType(flash.headType());
    return QStringLiteral("%1 virtual controller, firmware %2, Printer Kivo virtual printer; head type %3: %4, %5 dots; UART %6 bit/s, %7\r\n")
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
    case Cmd::StatusQuery: {
        const uint8_t s = statusByte();
        errorWatch->error = false;
        note(QStringLiteral("status 0x%1 sent").arg(s, 2, 16, QLatin1Char('0')));
        if (transmit)
            transmit(QByteArray(1, static_cast<char>(s)));
        break;
    }
    case Cmd::VersionQuery:
        note(QStringLiteral("firmware text sent"));
        if (transmit)
            transmit(firmwareText());
        break;
    case Cmd::ClearBuffer:
        if (paperRenderer.lineHasContent())
            note(QStringLiteral("unprinted characters of the line buffer discarded"));
        paperRenderer.clearLine();
        break;
    case Cmd::Sleep:
        note(QStringLiteral("sleeping until the next byte"));
        break;
    case Cmd::CallBack:
        callBack = c.args[0];
        break;
    case Cmd::HeadType: {
        const HeadType *h = kvp::headType(c.args[0]);
        if (!h) {
            note(QStringLiteral("head type %1 unknown; flash unchanged").arg(c.args[0]));
            break;
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
        break;
    }
    case Cmd::UartMode: {
        const int baud = uartSpeed(c.args[0]);
        if (c.args[1] > 2) {
            note(QStringLiteral("flow control %1 unknown; UART unchanged").arg(c.args[1]));
            break;
        }
        uartBaud = baud;
        uartFlow = static_cast<FlowMode>(c.args[1]);
        note(QStringLiteral("UART now %1 bit/s with %2: the host must disconnect and reconnect with these settings")
                 .arg(baud)
                 .arg(flowModeName(uartFlow)));
        if (lineSettingsChanged)
            lineSettingsChanged(uartFlow, uartBaud);
        break;
    }
    case Cmd::Initialize:
        paperRenderer.initialize();
        break;
    default:
        paperRenderer.execute(c);
        break;
    }
}

void PrinterCore::character(const Character &ch)
{
    paperRenderer.character(ch);
}

void PrinterCore::dataBegin(const DecodedCommand &c)
{
    paperRenderer.dataBegin(c);
}

void PrinterCore::dataChunk(const DecodedCommand &c, const uint8_t *data, size_t size)
{
    paperRenderer.dataChunk(c, data, size);
}

void PrinterCore::dataEnd(const DecodedCommand &c, uint64_t received, bool complete)
{
    paperRenderer.dataEnd(c, received, complete);
}

void PrinterCore::wake()
{
}

} // namespace kvp
