// The decoder's double-byte pairs and its text and skipped-byte runs:
// characters go to the sink at once, their log entries are gathered into runs
// and written when a run ends.

#include "decoder/decoder.h"

#include <utility>

namespace kvp {

namespace {
constexpr int logBytes = 16; // bytes of an entry shown in hex

// A run's entry keeps where the run began and its first bytes, and counts
// the rest.
void addToRun(LogEntry &run, uint64_t at, uint8_t b)
{
    if (run.offset == LogEntry::noOffset)
        run.offset = static_cast<int64_t>(at);
    if (run.bytes.size() < logBytes)
        run.bytes.append(static_cast<char>(b));
    else
        ++run.moreBytes;
}
} // namespace

// The byte after a double-byte lead: a Shift JIS, GB 2312 or JIS pair, or a
// user-defined character (1C 32) with its own code point.
void Decoder::doubleByteTrail(uint8_t b)
{
    state = State::Ground;
    const bool sjis = shiftJis && TextCodec::isShiftJisLead(lead) && TextCodec::isShiftJisTrail(b);
    const bool gb = !sjis && TextCodec::isGbByte(lead) && TextCodec::isGbByte(b);
    const bool jis = !sjis && TextCodec::isJisByte(lead) && TextCodec::isJisByte(b);
    if (!sjis && !gb && !jis) {
        // Not a valid pair: the lead byte is dropped, this byte is read anew.
        skipByte(lead, leadOffset);
        ground(b);
        return;
    }
    const uint8_t bytes[2] = {lead, b};
    char32_t code = 0;
    if (userDoubleByte.count(uint16_t(lead << 8 | b)))
        code = userDoubleByteBase + (char32_t(lead) << 8) + b;
    else
        code = sjis ? codec.shiftJis(lead, b) : gb ? codec.gb2312(lead, b) : codec.jisX0208(lead, b);
    emitText(code, true, leadOffset, bytes, 2);
}

void Decoder::emitText(char32_t code, bool wide, uint64_t at, const uint8_t *bytes, int count)
{
    flushSkip();
    if (textChars >= maxTextRun)
        flushText();
    for (int i = 0; i < count; ++i)
        addToRun(textRun, at + static_cast<uint64_t>(i), bytes[i]);
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
    addToRun(skipRun, at, b);
}

void Decoder::flushText()
{
    if (textRun.offset == LogEntry::noOffset)
        return;
    LogEntry e = std::exchange(textRun, LogEntry());
    e.name = QStringLiteral("text");
    e.args = QLatin1Char('"') + text + QLatin1Char('"');
    text.clear();
    textChars = 0;
    writeLog(e);
}

void Decoder::flushSkip()
{
    if (skipRun.offset == LogEntry::noOffset)
        return;
    LogEntry e = std::exchange(skipRun, LogEntry());
    e.name = QStringLiteral("skip");
    e.args = QStringLiteral("%1 unknown bytes skipped").arg(static_cast<uint64_t>(e.bytes.size()) + e.moreBytes);
    sink.inputFault(InputFault::SkippedByte);
    writeLog(e);
}

void Decoder::flushLog()
{
    flushText();
    flushSkip();
}

} // namespace kvp
