#include "decoder.h"

#include "controllerinfo.h"

#include <algorithm>

namespace kvp {

namespace {
constexpr int logBytes = 16;     // bytes of an entry shown in hex
constexpr int dataHeadLong = 64; // data bytes kept for bar code and QR entries
constexpr int dataHeadShort = 8; // data bytes kept for picture entries

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

QString describeCommand(const DecodedCommand &c, const QByteArray &head)
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

Decoder::Decoder(DecoderSink &output, const TextCodec &textCodec, LogSink *logSink)
    : sink(output)
    , codec(textCodec)
    , log(logSink)
{
}

void Decoder::writeLog(const LogEntry &entry)
{
    if (log)
        log->add(entry);
}

void Decoder::push(const uint8_t *data, size_t size)
{
    size_t i = 0;
    while (i < size) {
        if (state == State::Data) {
            const size_t take = static_cast<size_t>(std::min<uint64_t>(remaining, size - i));
            sink.dataChunk(command, data + i, take);
            const int headMax = (shape->data == DataRule::WidthTimesHeight) ? dataHeadShort : dataHeadLong;
            if (dataHead.size() < headMax)
                dataHead.append(reinterpret_cast<const char *>(data + i),
                                  static_cast<int>(std::min<size_t>(take, headMax - dataHead.size())));
            received += take;
            remaining -= take;
            nextOffset += take;
            i += take;
            if (remaining == 0)
                endData(true);
            continue;
        }
        byteOffset = nextOffset++;
        step(data[i++]);
    }
}

void Decoder::step(uint8_t b)
{
    if (asleep) {
        asleep = false;
        flushText();
        flushSkip();
        LogEntry e;
        e.offset = static_cast<int64_t>(byteOffset);
        e.name = QStringLiteral("wake-up");
        e.args = QStringLiteral("woken by this byte, which is then read as usual");
        writeLog(e);
        sink.wake();
    }
    switch (state) {
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
        state = State::Ground;
        const char32_t code = (static_cast<char32_t>(lead) << 8) | b;
        const uint8_t bytes[2] = {lead, b};
        emitText(TextCodec::unicodeSupported(code) ? code : replacementCharacter, false, leadOffset, bytes, 2);
        break;
    }
    case State::DoubleByteTrail: {
        state = State::Ground;
        const bool gb = TextCodec::isGbByte(lead) && TextCodec::isGbByte(b);
        const bool jis = TextCodec::isJisByte(lead) && TextCodec::isJisByte(b);
        if (gb || jis) {
            const uint8_t bytes[2] = {lead, b};
            emitText(gb ? codec.gb2312(lead, b) : codec.jisX0208(lead, b), true, leadOffset, bytes, 2);
        } else {
            // Not a valid pair: the lead byte is dropped, this byte is read anew.
            skipByte(lead, leadOffset);
            ground(b);
        }
        break;
    }
    }
}

void Decoder::ground(uint8_t b)
{
    if (startsCommand(b)) {
        flushText();
        flushSkip();
        commandOffset = byteOffset;
        prefix[0] = b;
        prefixLength = 1;
        const PrefixMatch m = matchPrefix(prefix, 1);
        if (m.exact && !m.longer)
            startCommand(*m.exact);
        else
            state = State::Prefix;
        return;
    }
    if (doubleByte) {
        if (b == 0x20) {
            emitText(U' ', false, byteOffset, &b, 1);
        } else if (TextCodec::isGbByte(b) || TextCodec::isJisByte(b)) {
            lead = b;
            leadOffset = byteOffset;
            state = State::DoubleByteTrail;
        } else {
            skipByte(b, byteOffset);
        }
        return;
    }
    if (TextCodec::isUnicodeLead(b)) {
        lead = b;
        leadOffset = byteOffset;
        state = State::UnicodeLow;
        return;
    }
    if (const char32_t code = TextCodec::singleByte(b))
        emitText(code, false, byteOffset, &b, 1);
    else
        skipByte(b, byteOffset);
}

void Decoder::prefixByte(uint8_t b)
{
    uint8_t candidate[3] = {prefix[0], prefix[1], prefix[2]};
    candidate[prefixLength] = b;
    const PrefixMatch m = matchPrefix(candidate, prefixLength + 1);
    if (m.exact || m.longer) {
        prefix[prefixLength++] = b;
        if (m.exact && !m.longer)
            startCommand(*m.exact);
        return;
    }
    // The byte does not continue a longer prefix: either the shorter command
    // takes it as its first argument (1D 28 c f), or the sequence is unknown.
    const PrefixMatch shorter = matchPrefix(prefix, prefixLength);
    if (shorter.exact && shorter.exact->argCount > 0) {
        startCommand(*shorter.exact);
        argByte(b);
        return;
    }
    rejectSequence(b);
}

void Decoder::rejectSequence(uint8_t b)
{
    // The prefix bytes and the byte after them are skipped, except when that
    // byte itself starts a command: then it is read anew.
    state = State::Ground;
    QByteArray seq(reinterpret_cast<const char *>(prefix), prefixLength);
    const bool reread = startsCommand(b);
    if (!reread)
        seq.append(static_cast<char>(b));
    LogEntry e;
    e.offset = static_cast<int64_t>(commandOffset);
    e.bytes = seq;
    e.name = QStringLiteral("unknown");
    e.args = QStringLiteral("unknown command, %1 bytes skipped").arg(seq.size());
    writeLog(e);
    if (reread)
        ground(b);
}

void Decoder::startCommand(const CommandShape &matched)
{
    shape = &matched;
    command = DecodedCommand{};
    command.id = matched.id;
    argCount = 0;
    listTerminated = false;
    dataHead.clear();
    if (matched.argCount == 0)
        afterArgs();
    else
        state = State::Args;
}

void Decoder::argByte(uint8_t b)
{
    if (argCount == 0 && shape->firstArgMax >= 0 && b > shape->firstArgMax) {
        rejectSequence(b);
        return;
    }
    command.args[argCount++] = b;
    command.argCount = static_cast<uint8_t>(argCount);
    if (argCount == shape->argCount)
        afterArgs();
    else
        state = State::Args;
}

void Decoder::afterArgs()
{
    uint64_t length = 0;
    switch (shape->data) {
    case DataRule::None:
        complete();
        return;
    case DataRule::NulList:
        state = State::List;
        return;
    case DataRule::WidthTimesHeight:
        length = static_cast<uint64_t>(command.arg16(shape->dataArg)) * static_cast<uint64_t>(command.arg16(shape->dataArg + 2));
        break;
    case DataRule::CountByte:
        length = command.args[shape->dataArg];
        break;
    case DataRule::Length16:
        length = static_cast<uint64_t>(command.arg16(shape->dataArg));
        break;
    }
    command.dataLength = length;
    remaining = length;
    received = 0;
    state = State::Data;
    sink.dataBegin(command);
    if (length == 0)
        endData(true);
}

void Decoder::listByte(uint8_t b)
{
    if (b == 0) {
        listTerminated = true;
        complete();
        return;
    }
    if (command.listCount < maxTabStops) {
        command.list[command.listCount++] = b;
        return;
    }
    // The list is full and not terminated: the command ends here and the byte
    // is read as ordinary data.
    complete();
    ground(b);
}

QByteArray Decoder::commandBytes() const
{
    QByteArray bytes(reinterpret_cast<const char *>(shape->prefix.data()), shape->prefixLength);
    bytes.append(reinterpret_cast<const char *>(command.args.data()), argCount);
    return bytes;
}

void Decoder::complete()
{
    state = State::Ground;
    switch (command.id) {
    case Cmd::DoubleByteOn:
        doubleByte = true;
        break;
    case Cmd::DoubleByteOff:
    case Cmd::Initialize:
        doubleByte = false;
        break;
    case Cmd::Sleep:
        asleep = true;
        break;
    default:
        break;
    }
    LogEntry e;
    e.offset = static_cast<int64_t>(commandOffset);
    e.bytes = commandBytes();
    if (command.id == Cmd::TabStops) {
        e.bytes.append(reinterpret_cast<const char *>(command.list.data()), command.listCount);
        if (listTerminated)
            e.bytes.append('\0');
        if (!listTerminated)
            e.args = QStringLiteral("(list full after %1 stops, no terminator) ").arg(maxTabStops);
    }
    if (e.bytes.size() > logBytes) {
        e.moreBytes = static_cast<uint64_t>(e.bytes.size() - logBytes);
        e.bytes.truncate(logBytes);
    }
    e.name = QLatin1String(shape->name);
    e.args += describeCommand(command, QByteArray());
    writeLog(e);
    sink.execute(command);
}

void Decoder::endData(bool complete)
{
    state = State::Ground;
    LogEntry e;
    e.offset = static_cast<int64_t>(commandOffset);
    e.bytes = commandBytes();
    const int headerSize = e.bytes.size();
    e.bytes.append(dataHead.left(logBytes - std::min(headerSize, logBytes)));
    e.moreBytes = received - static_cast<uint64_t>(e.bytes.size() - headerSize);
    e.name = QLatin1String(shape->name);
    if (command.id == Cmd::QrCode && dataHead.size() >= 2 && static_cast<unsigned char>(dataHead[0]) == 0x31) {
        switch (static_cast<unsigned char>(dataHead[1])) {
        case 0x43: e.name = QStringLiteral("qr-module-size"); break;
        case 0x45: e.name = QStringLiteral("qr-error-correction"); break;
        case 0x50: e.name = QStringLiteral("qr-store"); break;
        case 0x51: e.name = QStringLiteral("qr-print"); break;
        default: break;
        }
    }
    e.args = describeCommand(command, dataHead);
    if (!complete)
        e.args += QStringLiteral(" [truncated: %1 of %2 data bytes]").arg(received).arg(command.dataLength);
    writeLog(e);
    sink.dataEnd(command, received, complete);
}

void Decoder::emitText(char32_t code, bool wide, uint64_t at, const uint8_t *bytes, int count)
{
    flushSkip();
    if (textChars >= maxTextRun)
        flushText();
    if (textOffset < 0)
        textOffset = static_cast<int64_t>(at);
    for (int i = 0; i < count; ++i) {
        if (textBytes.size() < logBytes)
            textBytes.append(static_cast<char>(bytes[i]));
        else
            ++textMore;
    }
    text += QString::fromUcs4(&code, 1);
    ++textChars;
    Character ch;
    ch.code = code;
    ch.wide = wide;
    sink.character(ch);
}

void Decoder::skipByte(uint8_t b, uint64_t at)
{
    flushText();
    if (skipOffset < 0)
        skipOffset = static_cast<int64_t>(at);
    if (skipBytes.size() < logBytes)
        skipBytes.append(static_cast<char>(b));
    else
        ++skipMore;
}

void Decoder::flushText()
{
    if (textOffset < 0)
        return;
    LogEntry e;
    e.offset = textOffset;
    e.bytes = textBytes;
    e.moreBytes = textMore;
    e.name = QStringLiteral("text");
    e.args = QLatin1Char('"') + text + QLatin1Char('"');
    textOffset = -1;
    textBytes.clear();
    textMore = 0;
    text.clear();
    textChars = 0;
    writeLog(e);
}

void Decoder::flushSkip()
{
    if (skipOffset < 0)
        return;
    LogEntry e;
    e.offset = skipOffset;
    e.bytes = skipBytes;
    e.moreBytes = skipMore;
    e.name = QStringLiteral("skip");
    e.args = QStringLiteral("%1 unknown bytes skipped").arg(static_cast<uint64_t>(skipBytes.size()) + skipMore);
    skipOffset = -1;
    skipBytes.clear();
    skipMore = 0;
    writeLog(e);
}

void Decoder::flushLog()
{
    flushText();
    flushSkip();
}

void Decoder::finish()
{
    switch (state) {
    case State::Ground:
        break;
    case State::Prefix:
    case State::Args:
    case State::List: {
        LogEntry e;
        e.offset = static_cast<int64_t>(commandOffset);
        e.bytes = state == State::Prefix ? QByteArray(reinterpret_cast<const char *>(prefix), prefixLength) : commandBytes();
        e.name = state == State::Prefix ? QStringLiteral("unknown") : QLatin1String(shape->name);
        e.args = QStringLiteral("[truncated: the stream ended inside the command]");
        state = State::Ground;
        writeLog(e);
        break;
    }
    case State::Data:
        endData(false);
        break;
    case State::UnicodeLow:
    case State::DoubleByteTrail:
        state = State::Ground;
        skipByte(lead, leadOffset);
        break;
    }
    flushText();
    flushSkip();
}

} // namespace kvp
