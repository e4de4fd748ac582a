#include "decoder.h"

#include "controllerinfo.h"

#include <algorithm>

namespace kvp {

namespace {
constexpr int kLogBytes = 16;     // bytes of an entry shown in hex
constexpr int kDataHeadLong = 64; // data bytes kept for bar code and QR entries
constexpr int kDataHeadShort = 8; // data bytes kept for picture entries

QString printModeText(int mode)
{
    QStringList parts;
    if (mode & 0x02) parts << QStringLiteral("italic");
    if (mode & 0x08) parts << QStringLiteral("bold");
    if (mode & 0x10) parts << QStringLiteral("double-height");
    if (mode & 0x20) parts << QStringLiteral("double-width");
    if (mode & 0x40) parts << QStringLiteral("reverse");
    if (mode & 0x80) parts << QStringLiteral("underlined");
    if (parts.isEmpty()) parts << QStringLiteral("normal");
    return QStringLiteral("0x%1 %2").arg(mode, 2, 16, QLatin1Char('0')).arg(parts.join(QLatin1Char(' ')));
}

QString quoted(const QByteArray &data)
{
    QString s;
    for (char c : data) {
        auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && u != '"' && u != '\\')
            s += QLatin1Char(c);
        else
            s += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return QLatin1Char('"') + s + QLatin1Char('"');
}

const char *symbologyName(int byte)
{
    static const char *names[] = {"UPC-A", "UPC-E", "EAN-13", "EAN-8", "Code 39", "ITF", "Codabar", "Code 93", "Code 128"};
    int n = byte - 0x41;
    return n >= 0 && n < 9 ? names[n] : nullptr;
}
} // namespace

QString describeCommand(const Command &c, const QByteArray &head)
{
    const auto a = c.args;
    switch (c.id) {
    case Cmd::PrintMode:
        return printModeText(a[0]);
    case Cmd::SelectFont:
        return a[0] == 1 ? QStringLiteral("1 small") : a[0] == 2 || a[0] == 0 ? QStringLiteral("%1 standard").arg(a[0])
                                                                              : QStringLiteral("%1 (unknown font)").arg(a[0]);
    case Cmd::Darkness:
        return a[0] == 0 ? QStringLiteral("0 (default)") : QString::number(a[0]);
    case Cmd::Justify: {
        int j = a[0] >= 0x30 ? a[0] - 0x30 : a[0];
        const char *n[] = {"left", "centre", "right"};
        return j <= 2 ? QStringLiteral("%1 %2").arg(a[0]).arg(QLatin1String(n[j])) : QStringLiteral("%1 (out of range)").arg(a[0]);
    }
    case Cmd::LineSpacing:
    case Cmd::FeedDots:
    case Cmd::LeftMargin:
    case Cmd::RightMargin:
    case Cmd::BarcodeHeight:
    case Cmd::BarcodeWidth:
        return QStringLiteral("%1 dots").arg(a[0]);
    case Cmd::FeedLines:
        return QStringLiteral("%1 lines").arg(a[0]);
    case Cmd::AbsolutePosition:
        return QStringLiteral("%1 dots").arg(c.arg16(0));
    case Cmd::TabStops: {
        QStringList s;
        for (int i = 0; i < c.listCount; ++i)
            s << QString::number(c.list[i]);
        return s.isEmpty() ? QStringLiteral("(none)") : s.join(QLatin1Char(' '));
    }
    case Cmd::CallBack:
        return QString::number(a[0]);
    case Cmd::UartMode: {
        QString flow = a[1] <= 2 ? flowModeName(static_cast<FlowMode>(a[1])) : QStringLiteral("flow %1 (unknown)").arg(a[1]);
        return QStringLiteral("%1 bit/s, %2").arg(uartSpeed(a[0])).arg(flow);
    }
    case Cmd::HeadType: {
        const HeadType *h = headType(a[0]);
        return h ? QStringLiteral("%1 (%2, %3 dots)").arg(a[0]).arg(QLatin1String(h->name)).arg(h->dots)
                 : QStringLiteral("%1 (unknown head type)").arg(a[0]);
    }
    case Cmd::Raster:
        return QStringLiteral("mode %1, %2 bytes x %3 rows (%4 x %3 dots)").arg(a[0]).arg(c.arg16(1)).arg(c.arg16(3)).arg(c.arg16(1) * 8);
    case Cmd::StorePicture:
        return QStringLiteral("location %1, align %2, %3 bytes x %4 rows").arg(a[0]).arg(a[1]).arg(c.arg16(2)).arg(c.arg16(4));
    case Cmd::PrintPicture:
        return QStringLiteral("location %1, mode %2").arg(a[0]).arg(a[1]);
    case Cmd::BarcodeText:
        return a[0] ? QStringLiteral("%1 on").arg(a[0]) : QStringLiteral("0 off");
    case Cmd::Barcode: {
        const char *n = symbologyName(a[0]);
        QString sym = n ? QLatin1String(n) : QStringLiteral("symbology 0x%1 (unknown)").arg(a[0], 2, 16, QLatin1Char('0'));
        return QStringLiteral("%1 %2").arg(sym, quoted(head));
    }
    case Cmd::QrCode: {
        const int len = c.arg16(0);
        if (head.size() < 3 || static_cast<unsigned char>(head[0]) != 0x31)
            return QStringLiteral("length %1 (malformed)").arg(len);
        const int fn = static_cast<unsigned char>(head[1]);
        const int m = static_cast<unsigned char>(head[2]);
        switch (fn) {
        case 0x43:
            return QStringLiteral("module size %1").arg(m);
        case 0x45: {
            const int level = m >= 0x30 ? m - 0x30 : m;
            return QStringLiteral("error correction %1 (%2)").arg(m).arg(level <= 3 ? QLatin1Char("LMQH"[level]) : QLatin1Char('?'));
        }
        case 0x50:
            return QStringLiteral("store %1 bytes %2").arg(len >= 3 ? len - 3 : 0).arg(quoted(head.mid(3)));
        case 0x51:
            return QStringLiteral("print");
        default:
            return QStringLiteral("function 0x%1 (unknown), length %2").arg(fn, 2, 16, QLatin1Char('0')).arg(len);
        }
    }
    default:
        return QString();
    }
}

Decoder::Decoder(DecoderSink &sink, const TextCodec &codec, LogSink *log)
    : m_sink(sink)
    , m_codec(codec)
    , m_log(log)
{
}

void Decoder::log(const LogEntry &entry)
{
    if (m_log)
        m_log->add(entry);
}

void Decoder::push(const std::uint8_t *data, std::size_t size)
{
    std::size_t i = 0;
    while (i < size) {
        if (m_state == State::Data) {
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(m_remaining, size - i));
            m_sink.dataChunk(m_cmd, data + i, take);
            const int headMax = (m_shape->data == DataRule::WidthTimesHeight) ? kDataHeadShort : kDataHeadLong;
            if (m_dataHead.size() < headMax)
                m_dataHead.append(reinterpret_cast<const char *>(data + i),
                                  static_cast<int>(std::min<std::size_t>(take, headMax - m_dataHead.size())));
            m_received += take;
            m_remaining -= take;
            m_offset += take;
            i += take;
            if (m_remaining == 0)
                endData(true);
            continue;
        }
        m_byteOffset = m_offset++;
        step(data[i++]);
    }
}

void Decoder::step(std::uint8_t b)
{
    if (m_sleeping) {
        m_sleeping = false;
        flushText();
        flushSkip();
        LogEntry e;
        e.offset = static_cast<std::int64_t>(m_byteOffset);
        e.name = QStringLiteral("wake-up");
        e.args = QStringLiteral("woken by this byte, which is then read as usual");
        log(e);
        m_sink.wake();
    }
    switch (m_state) {
    case State::Ground:
        ground(b);
        break;
    case State::Prefix:
        prefixByte(b);
        break;
    case State::Args:
        argByte(b);
        break;
    case State::List:
        listByte(b);
        break;
    case State::Data: // data bytes are taken in bulk by push()
        break;
    case State::UnicodeLow: {
        m_state = State::Ground;
        const char32_t code = (static_cast<char32_t>(m_lead) << 8) | b;
        const std::uint8_t bytes[2] = {m_lead, b};
        emitText(TextCodec::unicodeSupported(code) ? code : kReplacement, false, m_leadOffset, bytes, 2);
        break;
    }
    case State::DoubleByteTrail: {
        m_state = State::Ground;
        const bool gb = TextCodec::isGbByte(m_lead) && TextCodec::isGbByte(b);
        const bool jis = TextCodec::isJisByte(m_lead) && TextCodec::isJisByte(b);
        if (gb || jis) {
            const std::uint8_t bytes[2] = {m_lead, b};
            emitText(gb ? m_codec.gb2312(m_lead, b) : m_codec.jisX0208(m_lead, b), true, m_leadOffset, bytes, 2);
        } else {
            // Not a valid pair: the lead byte is dropped, this byte is read anew.
            skipByte(m_lead, m_leadOffset);
            ground(b);
        }
        break;
    }
    }
}

void Decoder::ground(std::uint8_t b)
{
    if (startsCommand(b)) {
        flushText();
        flushSkip();
        m_cmdOffset = m_byteOffset;
        m_prefix[0] = b;
        m_prefixLength = 1;
        const PrefixMatch m = matchPrefix(m_prefix, 1);
        if (m.exact && !m.longer)
            startCommand(*m.exact);
        else
            m_state = State::Prefix;
        return;
    }
    if (m_doubleByte) {
        if (b == 0x20) {
            emitText(U' ', false, m_byteOffset, &b, 1);
        } else if (TextCodec::isGbByte(b) || TextCodec::isJisByte(b)) {
            m_lead = b;
            m_leadOffset = m_byteOffset;
            m_state = State::DoubleByteTrail;
        } else {
            skipByte(b, m_byteOffset);
        }
        return;
    }
    if (TextCodec::isUnicodeLead(b)) {
        m_lead = b;
        m_leadOffset = m_byteOffset;
        m_state = State::UnicodeLow;
        return;
    }
    if (const char32_t code = TextCodec::singleByte(b))
        emitText(code, false, m_byteOffset, &b, 1);
    else
        skipByte(b, m_byteOffset);
}

void Decoder::prefixByte(std::uint8_t b)
{
    std::uint8_t candidate[3] = {m_prefix[0], m_prefix[1], m_prefix[2]};
    candidate[m_prefixLength] = b;
    const PrefixMatch m = matchPrefix(candidate, m_prefixLength + 1);
    if (m.exact || m.longer) {
        m_prefix[m_prefixLength++] = b;
        if (m.exact && !m.longer)
            startCommand(*m.exact);
        return;
    }
    // The byte does not continue a longer prefix: either the shorter command
    // takes it as its first argument (1D 28 c f), or the sequence is unknown.
    const PrefixMatch shorter = matchPrefix(m_prefix, m_prefixLength);
    if (shorter.exact && shorter.exact->argCount > 0) {
        startCommand(*shorter.exact);
        argByte(b);
        return;
    }
    rejectSequence(b);
}

void Decoder::rejectSequence(std::uint8_t b)
{
    // The prefix bytes and the byte after them are skipped, except when that
    // byte itself starts a command: then it is read anew.
    m_state = State::Ground;
    QByteArray seq(reinterpret_cast<const char *>(m_prefix), m_prefixLength);
    const bool reread = startsCommand(b);
    if (!reread)
        seq.append(static_cast<char>(b));
    LogEntry e;
    e.offset = static_cast<std::int64_t>(m_cmdOffset);
    e.bytes = seq;
    e.name = QStringLiteral("unknown");
    e.args = QStringLiteral("unknown command, %1 bytes skipped").arg(seq.size());
    log(e);
    if (reread)
        ground(b);
}

void Decoder::startCommand(const CommandShape &shape)
{
    m_shape = &shape;
    m_cmd = Command{};
    m_cmd.id = shape.id;
    m_argCount = 0;
    m_listTerminated = false;
    m_dataHead.clear();
    if (shape.argCount == 0)
        afterArgs();
    else
        m_state = State::Args;
}

void Decoder::argByte(std::uint8_t b)
{
    if (m_argCount == 0 && m_shape->firstArgMax >= 0 && b > m_shape->firstArgMax) {
        rejectSequence(b);
        return;
    }
    m_cmd.args[m_argCount++] = b;
    m_cmd.argCount = static_cast<std::uint8_t>(m_argCount);
    if (m_argCount == m_shape->argCount)
        afterArgs();
    else
        m_state = State::Args;
}

void Decoder::afterArgs()
{
    std::uint64_t length = 0;
    switch (m_shape->data) {
    case DataRule::None:
        complete();
        return;
    case DataRule::NulList:
        m_state = State::List;
        return;
    case DataRule::WidthTimesHeight:
        length = static_cast<std::uint64_t>(m_cmd.arg16(m_shape->dataArg)) * static_cast<std::uint64_t>(m_cmd.arg16(m_shape->dataArg + 2));
        break;
    case DataRule::CountByte:
        length = m_cmd.args[m_shape->dataArg];
        break;
    case DataRule::Length16:
        length = static_cast<std::uint64_t>(m_cmd.arg16(m_shape->dataArg));
        break;
    }
    m_cmd.dataLength = length;
    m_remaining = length;
    m_received = 0;
    m_state = State::Data;
    m_sink.dataBegin(m_cmd);
    if (length == 0)
        endData(true);
}

void Decoder::listByte(std::uint8_t b)
{
    if (b == 0) {
        m_listTerminated = true;
        complete();
        return;
    }
    if (m_cmd.listCount < kMaxTabStops) {
        m_cmd.list[m_cmd.listCount++] = b;
        return;
    }
    // The list is full and not terminated: the command ends here and the byte
    // is read as ordinary data.
    complete();
    ground(b);
}

QByteArray Decoder::commandBytes() const
{
    QByteArray bytes(reinterpret_cast<const char *>(m_shape->prefix.data()), m_shape->prefixLength);
    bytes.append(reinterpret_cast<const char *>(m_cmd.args.data()), m_argCount);
    return bytes;
}

void Decoder::complete()
{
    m_state = State::Ground;
    switch (m_cmd.id) {
    case Cmd::DoubleByteOn:
        m_doubleByte = true;
        break;
    case Cmd::DoubleByteOff:
    case Cmd::Initialize:
        m_doubleByte = false;
        break;
    case Cmd::Sleep:
        m_sleeping = true;
        break;
    default:
        break;
    }
    LogEntry e;
    e.offset = static_cast<std::int64_t>(m_cmdOffset);
    e.bytes = commandBytes();
    if (m_cmd.id == Cmd::TabStops) {
        e.bytes.append(reinterpret_cast<const char *>(m_cmd.list.data()), m_cmd.listCount);
        if (m_listTerminated)
            e.bytes.append('\0');
        if (!m_listTerminated)
            e.args = QStringLiteral("(list full after %1 stops, no terminator) ").arg(kMaxTabStops);
    }
    if (e.bytes.size() > kLogBytes) {
        e.moreBytes = static_cast<std::uint64_t>(e.bytes.size() - kLogBytes);
        e.bytes.truncate(kLogBytes);
    }
    e.name = QLatin1String(m_shape->name);
    e.args += describeCommand(m_cmd, QByteArray());
    log(e);
    m_sink.execute(m_cmd);
}

void Decoder::endData(bool complete)
{
    m_state = State::Ground;
    LogEntry e;
    e.offset = static_cast<std::int64_t>(m_cmdOffset);
    e.bytes = commandBytes();
    const int headerSize = e.bytes.size();
    e.bytes.append(m_dataHead.left(kLogBytes - std::min(headerSize, kLogBytes)));
    e.moreBytes = m_received - static_cast<std::uint64_t>(e.bytes.size() - headerSize);
    e.name = QLatin1String(m_shape->name);
    if (m_cmd.id == Cmd::QrCode && m_dataHead.size() >= 2 && static_cast<unsigned char>(m_dataHead[0]) == 0x31) {
        switch (static_cast<unsigned char>(m_dataHead[1])) {
        case 0x43: e.name = QStringLiteral("qr-module-size"); break;
        case 0x45: e.name = QStringLiteral("qr-error-correction"); break;
        case 0x50: e.name = QStringLiteral("qr-store"); break;
        case 0x51: e.name = QStringLiteral("qr-print"); break;
        default: break;
        }
    }
    e.args = describeCommand(m_cmd, m_dataHead);
    if (!complete)
        e.args += QStringLiteral(" [truncated: %1 of %2 data bytes]").arg(m_received).arg(m_cmd.dataLength);
    log(e);
    m_sink.dataEnd(m_cmd, m_received, complete);
}

void Decoder::emitText(char32_t code, bool wide, std::uint64_t at, const std::uint8_t *bytes, int count)
{
    flushSkip();
    if (m_textChars >= kMaxTextRun)
        flushText();
    if (m_textOffset < 0)
        m_textOffset = static_cast<std::int64_t>(at);
    for (int i = 0; i < count; ++i) {
        if (m_textBytes.size() < kLogBytes)
            m_textBytes.append(static_cast<char>(bytes[i]));
        else
            ++m_textMore;
    }
    m_text += QString::fromUcs4(&code, 1);
    ++m_textChars;
    Character ch;
    ch.code = code;
    ch.wide = wide;
    m_sink.character(ch);
}

void Decoder::skipByte(std::uint8_t b, std::uint64_t at)
{
    flushText();
    if (m_skipOffset < 0)
        m_skipOffset = static_cast<std::int64_t>(at);
    if (m_skipBytes.size() < kLogBytes)
        m_skipBytes.append(static_cast<char>(b));
    else
        ++m_skipMore;
}

void Decoder::flushText()
{
    if (m_textOffset < 0)
        return;
    LogEntry e;
    e.offset = m_textOffset;
    e.bytes = m_textBytes;
    e.moreBytes = m_textMore;
    e.name = QStringLiteral("text");
    e.args = QLatin1Char('"') + m_text + QLatin1Char('"');
    m_textOffset = -1;
    m_textBytes.clear();
    m_textMore = 0;
    m_text.clear();
    m_textChars = 0;
    log(e);
}

void Decoder::flushSkip()
{
    if (m_skipOffset < 0)
        return;
    LogEntry e;
    e.offset = m_skipOffset;
    e.bytes = m_skipBytes;
    e.moreBytes = m_skipMore;
    e.name = QStringLiteral("skip");
    e.args = QStringLiteral("%1 unknown bytes skipped").arg(static_cast<std::uint64_t>(m_skipBytes.size()) + m_skipMore);
    m_skipOffset = -1;
    m_skipBytes.clear();
    m_skipMore = 0;
    log(e);
}

void Decoder::flushLog()
{
    flushText();
    flushSkip();
}

void Decoder::finish()
{
    switch (m_state) {
    case State::Ground:
        break;
    case State::Prefix:
    case State::Args:
    case State::List: {
        LogEntry e;
        e.offset = static_cast<std::int64_t>(m_cmdOffset);
        e.bytes = m_state == State::Prefix ? QByteArray(reinterpret_cast<const char *>(m_prefix), m_prefixLength) : commandBytes();
        e.name = m_state == State::Prefix ? QStringLiteral("unknown") : QLatin1String(m_shape->name);
        e.args = QStringLiteral("[truncated: the stream ended inside the command]");
        m_state = State::Ground;
        log(e);
        break;
    }
    case State::Data:
        endData(false);
        break;
    case State::UnicodeLow:
    case State::DoubleByteTrail:
        m_state = State::Ground;
        skipByte(m_lead, m_leadOffset);
        break;
    }
    flushText();
    flushSkip();
}

} // namespace kvp
