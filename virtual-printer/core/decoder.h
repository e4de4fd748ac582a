#pragma once
// Push-based reader of the controller's byte stream. Bytes may arrive split
// at any point; the decoder keeps its place between calls, streams data
// blocks to the sink as they arrive (it never allocates from a length taken
// from the stream) and turns every byte into a command, a character, part of
// a data block, or a skipped byte.

#include "commandlog.h"
#include "commands.h"
#include "textcodec.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace kvp {

class DecoderSink {
public:
    virtual ~DecoderSink() = default;
    // A complete command without a data block.
    virtual void execute(const Command &command) = 0;
    virtual void character(const Character &ch) = 0;
    // Commands with a data block: begin, zero or more chunks, end.
    virtual void dataBegin(const Command &) {}
    virtual void dataChunk(const Command &, const std::uint8_t *, std::size_t) {}
    virtual void dataEnd(const Command &, std::uint64_t /*received*/, bool /*complete*/) {}
    // The first byte after the sleep command.
    virtual void wake() {}
};

class Decoder {
public:
    Decoder(DecoderSink &sink, const TextCodec &codec, LogSink *log = nullptr);

    void push(const std::uint8_t *data, std::size_t size);
    void push(const QByteArray &bytes)
    {
        push(reinterpret_cast<const std::uint8_t *>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
    }
    // End of the stream: a command cut short is reported as truncated.
    void finish();
    // Writes the pending text or skipped-byte run to the log now.
    void flushLog();

    std::uint64_t offset() const { return m_offset; }
    bool doubleByteMode() const { return m_doubleByte; }
    bool sleeping() const { return m_sleeping; }
    bool idle() const { return m_state == State::Ground; }

    // Text runs are split into log entries of at most this many characters.
    static constexpr int kMaxTextRun = 128;

private:
    enum class State { Ground, Prefix, Args, Data, List, UnicodeLow, DoubleByteTrail };

    void step(std::uint8_t b);
    void ground(std::uint8_t b);
    void prefixByte(std::uint8_t b);
    void rejectSequence(std::uint8_t b);
    void startCommand(const CommandShape &shape);
    void argByte(std::uint8_t b);
    void afterArgs();
    void listByte(std::uint8_t b);
    void complete();
    void endData(bool complete);
    void emitText(char32_t code, bool wide, std::uint64_t at, const std::uint8_t *bytes, int count);
    void skipByte(std::uint8_t b, std::uint64_t at);
    void flushText();
    void flushSkip();
    QByteArray commandBytes() const;
    void log(const LogEntry &entry);

    DecoderSink &m_sink;
    const TextCodec &m_codec;
    LogSink *m_log;

    State m_state = State::Ground;
    std::uint64_t m_offset = 0;     // offset of the next byte
    std::uint64_t m_byteOffset = 0; // offset of the byte being handled
    bool m_doubleByte = false;
    bool m_sleeping = false;

    // command in progress
    std::uint64_t m_cmdOffset = 0;
    std::uint8_t m_prefix[3] = {};
    int m_prefixLength = 0;
    const CommandShape *m_shape = nullptr;
    Command m_cmd;
    int m_argCount = 0;
    std::uint64_t m_remaining = 0;
    std::uint64_t m_received = 0;
    QByteArray m_dataHead; // the first data bytes, for the log
    bool m_listTerminated = false;

    // two-byte character in progress
    std::uint8_t m_lead = 0;
    std::uint64_t m_leadOffset = 0;

    // pending log runs
    std::int64_t m_textOffset = -1;
    QByteArray m_textBytes;
    std::uint64_t m_textMore = 0;
    QString m_text;
    int m_textChars = 0;
    std::int64_t m_skipOffset = -1;
    QByteArray m_skipBytes;
    std::uint64_t m_skipMore = 0;
};

// Human-readable arguments of a command, as the log shows them.
QString describeCommand(const Command &command, const QByteArray &dataHead);

} // namespace kvp
