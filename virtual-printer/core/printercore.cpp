#include "printercore.h"

namespace kvp {

const char *const PrinterCore::kFirmwareVersion = "1.22 (2020-06-15)";

// Forwards the decoder's log and remembers whether it reported bad input,
// for bit 7 of the status byte.
class PrinterCore::ErrorWatch : public LogSink {
public:
    explicit ErrorWatch(LogSink *next)
        : m_next(next)
    {
    }
    void add(const LogEntry &entry) override
    {
        if (entry.name == QLatin1String("skip") || entry.name == QLatin1String("unknown")
            || entry.args.contains(QLatin1String("[truncated")) || entry.args.contains(QLatin1String("malformed")))
            error = true;
        if (m_next)
            m_next->add(entry);
    }
    bool error = false;

private:
    LogSink *m_next;
};

PrinterCore::PrinterCore(const Options &options, LogSink *log)
    : m_log(log)
    , m_errorWatch(std::make_unique<ErrorWatch>(log))
    , m_flash(options.flashPath)
    , m_paper(kvp::headType(m_flash.headType())->dots, options.maxPageDots)
    , m_renderer(m_paper, options.fonts ? *options.fonts : FontSet::shared(), log)
    , m_decoder(*this, m_codec, m_errorWatch.get())
{
}

PrinterCore::~PrinterCore() = default;

void PrinterCore::note(const QString &text)
{
    if (m_log)
        m_log->note(QStringLiteral("note"), text);
}

void PrinterCore::feed(const std::uint8_t *data, std::size_t size)
{
    m_decoder.push(data, size);
}

void PrinterCore::feed(const QByteArray &bytes)
{
    m_decoder.push(bytes);
}

void PrinterCore::finish()
{
    m_decoder.finish();
    m_renderer.finishStream();
}

void PrinterCore::silence()
{
    m_decoder.flushLog();
    m_renderer.endPage(QStringLiteral("silence"));
}

std::uint8_t PrinterCore::statusByte() const
{
    std::uint8_t s = Status::Fixed;
    if (m_renderer.lineHasContent())
        s |= Status::LinePending;
    if (receiveBusy && receiveBusy())
        s |= Status::ReceiveBusy;
    if (m_paper.width() > 384)
        s |= Status::WideHead;
    if (m_decoder.doubleByteMode())
        s |= Status::DoubleByteMode;
    if (m_errorWatch->error)
        s |= Status::DecodeError;
    return s;
}

QByteArray PrinterCore::firmwareText() const
{
    const HeadType *h = kvp::headType(m_flash.headType());
    return QStringLiteral("%1 virtual controller, firmware %2, Printer Kivo virtual printer; head type %3: %4, %5 dots; UART %6 bit/s, %7\r\n")
        .arg(QLatin1String(h->family), QLatin1String(kFirmwareVersion))
        .arg(h->index)
        .arg(QLatin1String(h->name))
        .arg(h->dots)
        .arg(m_baud)
        .arg(flowModeName(m_flow))
        .toLatin1();
}

void PrinterCore::execute(const Command &c)
{
    switch (c.id) {
    case Cmd::StatusQuery: {
        const std::uint8_t s = statusByte();
        m_errorWatch->error = false;
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
        if (m_renderer.lineHasContent())
            note(QStringLiteral("unprinted characters of the line buffer discarded"));
        m_renderer.clearLine();
        break;
    case Cmd::Sleep:
        note(QStringLiteral("sleeping until the next byte"));
        break;
    case Cmd::CallBack:
        m_callBack = c.args[0];
        break;
    case Cmd::HeadType: {
        const HeadType *h = kvp::headType(c.args[0]);
        if (!h) {
            note(QStringLiteral("head type %1 unknown; flash unchanged").arg(c.args[0]));
            break;
        }
        if (!m_flash.setHeadType(h->index))
            note(QStringLiteral("flash file %1 could not be written").arg(m_flash.path()));
        else
            note(QStringLiteral("%1 controller flash updated: head type %2 (%3), %4 dots")
                     .arg(QLatin1String(h->family))
                     .arg(h->index)
                     .arg(QLatin1String(h->name))
                     .arg(h->dots));
        m_renderer.flushLine();
        m_paper.setWidth(h->dots);
        break;
    }
    case Cmd::UartMode: {
        const int baud = uartSpeed(c.args[0]);
        if (c.args[1] > 2) {
            note(QStringLiteral("flow control %1 unknown; UART unchanged").arg(c.args[1]));
            break;
        }
        m_baud = baud;
        m_flow = static_cast<FlowMode>(c.args[1]);
        note(QStringLiteral("UART now %1 bit/s with %2: the host must disconnect and reconnect with these settings")
                 .arg(baud)
                 .arg(flowModeName(m_flow)));
        if (lineSettingsChanged)
            lineSettingsChanged(m_flow, m_baud);
        break;
    }
    case Cmd::Initialize:
        m_renderer.initialize();
        break;
    default:
        m_renderer.execute(c);
        break;
    }
}

void PrinterCore::character(const Character &ch)
{
    m_renderer.character(ch);
}

void PrinterCore::dataBegin(const Command &c)
{
    m_renderer.dataBegin(c);
}

void PrinterCore::dataChunk(const Command &c, const std::uint8_t *data, std::size_t size)
{
    m_renderer.dataChunk(c, data, size);
}

void PrinterCore::dataEnd(const Command &c, std::uint64_t received, bool complete)
{
    m_renderer.dataEnd(c, received, complete);
}

void PrinterCore::wake()
{
}

} // namespace kvp
