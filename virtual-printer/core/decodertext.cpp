// The decoder's text and skipped-byte runs: characters go to the sink at
// once, their log entries are gathered into runs and written when a run ends.

#include "decoder.h"

namespace kvp {

namespace {
constexpr int logBytes = 16; // bytes of an entry shown in hex
} // namespace

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
    sink.inputFault(InputFault::SkippedByte);
    writeLog(e);
}

void Decoder::flushLog()
{
    flushText();
    flushSkip();
}

} // namespace kvp
