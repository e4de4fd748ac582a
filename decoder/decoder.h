#pragma once
// Push-based reader of the controller's byte stream. Bytes may arrive split
// at any point; the decoder keeps its place between calls, streams data
// blocks to the sink as they arrive (it never allocates from a length taken
// from the stream) and turns every byte into a command, a character, part of
// a data block, or a skipped byte.

#include "decoder/commandlog.h"
#include "decoder/commands.h"
#include "decoder/textcodec.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>

namespace kvp {

// Input the decoder could not read as it stands. Each is reported when its
// log entry is written: a run of skipped bytes when the run ends, a data
// block cut short or a command cut off when the stream ends.
enum class InputFault {
    SkippedByte,    // bytes that are no command and no text
    UnknownCommand, // a prefix with an unknown command byte
    Truncated,      // a command or data block cut short
    Malformed,      // a QR command without 31, a function and its parameter
};

class DecoderSink
{
public:
    virtual ~DecoderSink() = default;
    // A complete command without a data block.
    virtual void execute(const DecodedCommand &command) = 0;
    virtual void character(const Character &ch) = 0;
    // Commands with a data block: begin, zero or more chunks, end.
    virtual void dataBegin(const DecodedCommand &) { }
    virtual void dataChunk(const DecodedCommand &, const uint8_t *, size_t) { }
    virtual void dataEnd(const DecodedCommand &, uint64_t /*received*/, bool /*complete*/) { }
    // The first byte after the sleep command.
    virtual void wake() { }
    virtual void inputFault(InputFault) { }
};

class Decoder
{
public:
    Decoder(DecoderSink &output, const TextCodec &textCodec, LogSink *logSink = nullptr);

    void push(const uint8_t *data, size_t size);
    void push(const QByteArray &bytes)
    {
        push(reinterpret_cast<const uint8_t *>(bytes.constData()), static_cast<size_t>(bytes.size()));
    }
    // End of the stream: a command cut short is reported as truncated.
    void finish();
    // Writes the pending text or skipped-byte run to the log now.
    void flushLog();

    uint64_t offset() const { return nextOffset; }
    // Offset of the first byte of the command being read or just carried
    // out: an answer belongs to whoever sent that byte, not the byte read
    // after it to tell 10 04 from 10 04 n.
    uint64_t commandStart() const { return commandOffset; }
    bool doubleByteMode() const { return doubleByte; }
    bool sleeping() const { return asleep; }
    bool idle() const { return state == State::Ground; }
    // Bytes the command under way still needs: exactly the rest of a data
    // block, at least the arguments left (a data block may follow), one
    // where a byte ends it (a prefix, a list, a character). 0 when idle.
    uint64_t bytesOwed() const;
    // A command that may or may not have an argument (10 04, 1B 6D) waits
    // for the next byte; when the line falls silent it is taken without one.
    bool awaitingOptionalArgument() const;
    // The command taken if no argument comes, while one is awaited.
    std::optional<Cmd> pendingWithoutArgument() const;
    void resolvePending();

    // Text runs are split into log entries of at most this many characters.
    static constexpr int maxTextRun = 128;

private:
    enum class State { Ground, Prefix, Args, Data, NulData, List, UnicodeLow, DoubleByteTrail };

    void step(uint8_t b);
    void ground(uint8_t b);
    void doubleByteTrail(uint8_t b);
    void prefixByte(uint8_t b);
    void rejectSequence(uint8_t b);
    void startCommand(const CommandShape &matched);
    void argByte(uint8_t b);
    bool chooseShape(uint8_t firstArg);
    bool completeWithoutArgs();
    void nulDataByte(uint8_t b);
    void afterArgs();
    void listByte(uint8_t b);
    void complete();
    void endData(bool allArrived);
    void emitText(char32_t code, bool wide, uint64_t at, const uint8_t *bytes, int count);
    void skipByte(uint8_t b, uint64_t at);
    void flushText();
    void flushSkip();
    QByteArray commandBytes() const;
    void writeLog(const LogEntry &entry);

    DecoderSink &sink;
    const TextCodec &codec;
    LogSink *log;

    State state = State::Ground;
    uint64_t nextOffset = 0; // offset of the next byte
    uint64_t byteOffset = 0; // offset of the byte being handled
    bool doubleByte = false;
    bool shiftJis = false;             // 1C 43 1: Shift JIS pairs
    std::set<uint16_t> userDoubleByte; // c1 * 256 + c2 of the characters 1C 32 defined
    bool asleep = false;
    int codePage = -1; // -1: the controller's own character table

    // command in progress
    uint64_t commandOffset = 0;
    uint8_t prefix[3] = {};
    int prefixLength = 0;
    const CommandShape *shape = nullptr;
    DecodedCommand command;
    int argCount = 0;
    uint64_t remaining = 0;
    uint64_t received = 0;
    QByteArray dataHead; // the first data bytes, for the log
    bool listTerminated = false;
    bool dataTerminated = false;

    // two-byte character in progress
    uint8_t lead = 0;
    uint64_t leadOffset = 0;

    // pending log runs: where each began, its first bytes, how many more
    LogEntry textRun;
    QString text;
    int textChars = 0;
    LogEntry skipRun;
};

} // namespace kvp
