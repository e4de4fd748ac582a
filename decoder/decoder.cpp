#include "decoder/decoder.h"

#include "decoder/commanddescription.h"

#include <algorithm>

namespace kvp {

namespace {
constexpr int logBytes = 16;     // bytes of an entry shown in hex
constexpr int dataHeadLong = 64; // data bytes kept for bar code and QR entries
constexpr int dataHeadShort = 8; // data bytes kept for picture entries
} // namespace

Decoder::Decoder(DecoderSink &output, const TextCodec &textCodec, LogSink *logSink)
    : sink(output)
    , codec(textCodec)
    , log(logSink)
{ }

void Decoder::writeLog(const LogEntry &entry)
{
    if (log)
        log->add(entry);
}

uint64_t Decoder::bytesOwed() const
{
    switch (state) {
    case State::Ground: return 0;
    case State::Data: return remaining;
    case State::Args: return shape && shape->argCount > argCount ? uint64_t(shape->argCount - argCount) : 1;
    default: return 1;
    }
}

void Decoder::push(const uint8_t *data, size_t size)
{
    size_t i = 0;
    while (i < size) {
        if (state == State::Data) {
            const size_t take = static_cast<size_t>(std::min<uint64_t>(remaining, size - i));
            sink.dataChunk(command, data + i, take);
            const bool picture = shape->data == DataRule::WidthTimesHeight || shape->data == DataRule::Columns
                || shape->data == DataRule::NvImages;
            const int headMax = picture ? dataHeadShort : dataHeadLong;
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
    case State::Ground: ground(b); break;
    case State::Prefix: prefixByte(b); break;
    case State::Args: argByte(b); break;
    case State::List: listByte(b); break;
    case State::Data: // data bytes are taken in bulk by push()
        break;
    case State::NulData: nulDataByte(b); break;
    case State::UnicodeLow: {
        state = State::Ground;
        const char32_t code = (static_cast<char32_t>(lead) << 8) | b;
        const uint8_t bytes[2] = {lead, b};
        emitText(TextCodec::unicodeSupported(code) ? code : replacementCharacter, false, leadOffset, bytes, 2);
        break;
    }
    case State::DoubleByteTrail: doubleByteTrail(b); break;
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
    if (shiftJis && TextCodec::isShiftJisLead(b)) {
        lead = b;
        leadOffset = byteOffset;
        state = State::DoubleByteTrail;
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
    if (const char32_t code = codePage >= 0 ? codec.codePageCharacter(codePage, b) : TextCodec::singleByte(b))
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
    if (shorter.exact && takesArgs(*shorter.exact)) {
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
    sink.inputFault(InputFault::UnknownCommand);
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
    if (!takesArgs(matched))
        afterArgs();
    else
        state = State::Args;
}

void Decoder::argByte(uint8_t b)
{
    if (argCount == 0 && !chooseShape(b))
        return;
    command.args[argCount++] = b;
    command.argCount = static_cast<uint8_t>(argCount);
    if (argCount == shape->argCount)
        afterArgs();
    else
        state = State::Args;
}

// The shape that takes `firstArg` among those with the prefix read. When none
// does, the shape without arguments is carried out and the byte read anew, or
// the sequence is unknown.
bool Decoder::chooseShape(uint8_t firstArg)
{
    if (const CommandShape *variant = shapeForFirstArg(*shape, firstArg)) {
        shape = variant;
        command.id = variant->id;
        return true;
    }
    if (completeWithoutArgs()) {
        ground(firstArg);
        return false;
    }
    rejectSequence(firstArg);
    return false;
}

bool Decoder::completeWithoutArgs()
{
    const CommandShape *bare = shapeWithoutArgs(*shape);
    if (!bare)
        return false;
    shape = bare;
    command.id = bare->id;
    complete();
    return true;
}

bool Decoder::awaitingOptionalArgument() const
{
    return state == State::Args && argCount == 0 && shapeWithoutArgs(*shape);
}

std::optional<Cmd> Decoder::pendingWithoutArgument() const
{
    if (!awaitingOptionalArgument())
        return std::nullopt;
    return shapeWithoutArgs(*shape)->id;
}

void Decoder::resolvePending()
{
    if (awaitingOptionalArgument())
        completeWithoutArgs();
}

void Decoder::afterArgs()
{
    uint64_t length = 0;
    switch (shape->data) {
    case DataRule::None: complete(); return;
    case DataRule::NulList: state = State::List; return;
    case DataRule::NulTerminated:
        received = 0;
        dataTerminated = false;
        state = State::NulData;
        sink.dataBegin(command);
        return;
    case DataRule::Length32:
        length = static_cast<uint64_t>(command.arg16(shape->dataArg))
            | (static_cast<uint64_t>(command.arg16(shape->dataArg + 2)) << 16);
        break;
    case DataRule::NvImages:
        length = static_cast<uint64_t>(command.arg16(shape->dataArg)) * command.arg16(shape->dataArg + 2) * 8;
        break;
    case DataRule::Columns:
        length = static_cast<uint64_t>(command.arg16(shape->dataArg)) * (hasFlag(command.args[0], 0x20) ? 3 : 1);
        break;
    case DataRule::WidthTimesHeight:
        length = static_cast<uint64_t>(command.arg16(shape->dataArg))
            * static_cast<uint64_t>(command.arg16(shape->dataArg + 2));
        break;
    case DataRule::CountByte: length = command.args[shape->dataArg]; break;
    case DataRule::Fixed: length = shape->dataArg; break;
    case DataRule::Product8:
        length = uint64_t(command.args[shape->dataArg]) * command.args[shape->dataArg + 1] * 8;
        break;
    case DataRule::Length16: length = static_cast<uint64_t>(command.arg16(shape->dataArg)); break;
    }
    command.dataLength = length;
    remaining = length;
    received = 0;
    state = State::Data;
    sink.dataBegin(command);
    if (length == 0)
        endData(true);
}

// Data ending at 00. A control byte ends it too, unterminated, and is read
// anew, so that a missing 00 does not swallow the commands after it.
void Decoder::nulDataByte(uint8_t b)
{
    if (b == 0) {
        dataTerminated = true;
        endData(true);
        return;
    }
    if (b < 0x20 || received == maxNulData) {
        endData(false);
        step(b);
        return;
    }
    sink.dataChunk(command, &b, 1);
    if (dataHead.size() < dataHeadLong)
        dataHead.append(static_cast<char>(b));
    ++received;
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
    if (command.pictureIndex > 0) // a further picture of 1C 71: its header only
        return QByteArray(reinterpret_cast<const char *>(command.args.data()) + 1, argCount - 1);
    QByteArray bytes(reinterpret_cast<const char *>(shape->prefix.data()), shape->prefixLength);
    bytes.append(reinterpret_cast<const char *>(command.args.data()), argCount);
    return bytes;
}

void Decoder::complete()
{
    state = State::Ground;
    switch (command.id) {
    case Cmd::DoubleByteOn: doubleByte = true; break;
    case Cmd::DoubleByteOff: doubleByte = false; break;
    case Cmd::Initialize:
        doubleByte = false;
        shiftJis = false;
        codePage = -1;
        break;
    case Cmd::CodePage:
        if (const std::optional<TextCodec::CodePage> page = TextCodec::codePage(command.args[0]))
            codePage = page->drawnAs;
        break;
    case Cmd::CodeSystem:
        if (digitOf(command.args[0]) <= 1)
            shiftJis = digitOf(command.args[0]) == 1;
        break;
    case Cmd::CancelDoubleByte: userDoubleByte.erase(uint16_t(command.args[0] << 8 | command.args[1])); break;
    case Cmd::Sleep: asleep = true; break;
    default: break;
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

void Decoder::endData(bool allArrived)
{
    state = State::Ground;
    const bool terminated = dataTerminated;
    dataTerminated = false;
    LogEntry e;
    e.offset = static_cast<int64_t>(commandOffset);
    e.bytes = commandBytes();
    const int headerSize = e.bytes.size();
    e.bytes.append(dataHead.left(logBytes - std::min(headerSize, logBytes)));
    e.moreBytes = received - static_cast<uint64_t>(e.bytes.size() - headerSize);
    if (terminated) { // the 00 that ended the data
        if (e.bytes.size() < logBytes)
            e.bytes.append('\0');
        else
            ++e.moreBytes;
    }
    e.name = QLatin1String(shape->name);
    if (command.id == Cmd::QrCode) {
        const QrBlock qr = parseQrBlock(dataHead);
        if (const char *name = symbolFunctionName(qr.family, qr.function))
            e.name = QLatin1String(name);
        if (!qr.wellFormed)
            sink.inputFault(InputFault::Malformed);
    }
    e.args = describeCommand(command, dataHead);
    if (!allArrived && shape->data == DataRule::NulTerminated) {
        e.args += QStringLiteral(" [no 00 after %1 data bytes]").arg(received);
        sink.inputFault(InputFault::Truncated);
    } else if (!allArrived) {
        e.args += QStringLiteral(" [truncated: %1 of %2 data bytes]").arg(received).arg(command.dataLength);
        sink.inputFault(InputFault::Truncated);
    }
    writeLog(e);
    if (allArrived && command.id == Cmd::DefineDoubleByte && userDoubleByte.size() < maxUserDoubleByte)
        userDoubleByte.insert(uint16_t(command.args[0] << 8 | command.args[1]));
    sink.dataEnd(command, received, allArrived);
    // 1C 71 n: the header of the next of its n pictures follows.
    if (allArrived && command.id == Cmd::NvImages && command.pictureIndex + 1 < command.args[0]) {
        ++command.pictureIndex;
        argCount = 1;
        commandOffset = nextOffset;
        dataHead.clear();
        state = State::Args;
    }
}

void Decoder::finish()
{
    switch (state) {
    case State::Ground: break;
    case State::Args:
        if (completeWithoutArgs())
            break;
        [[fallthrough]];
    case State::Prefix:
    case State::List: {
        LogEntry e;
        e.offset = static_cast<int64_t>(commandOffset);
        e.bytes =
            state == State::Prefix ? QByteArray(reinterpret_cast<const char *>(prefix), prefixLength) : commandBytes();
        e.name = state == State::Prefix ? QStringLiteral("unknown") : QLatin1String(shape->name);
        e.args = QStringLiteral("[truncated: the stream ended inside the command]");
        state = State::Ground;
        sink.inputFault(InputFault::Truncated);
        writeLog(e);
        break;
    }
    case State::Data:
    case State::NulData: endData(false); break;
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
