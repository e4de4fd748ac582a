#pragma once
// The commands decoded on arrival, waiting for the print engine. The decoder
// reads bytes as they come in (so that a status query is seen at once, and a
// picture's data is never taken for one); what it makes of them, with its
// log entries, waits here in stream order until the engine carries it out.
// Each item knows how far into the stream it reaches, so the engine's
// progress is counted in bytes, as the receive buffer empties.

#include "decoder/commandlog.h"
#include "decoder/decoder.h"

#include <QByteArray>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>

namespace kvp {

class CommandQueue : public DecoderSink, public LogSink
{
public:
    // Where the decoder stands: the stream offset of the next byte.
    std::function<uint64_t()> position;
    // Offset of the first byte of the command being read.
    std::function<uint64_t()> commandStart;
    // A command seen on arrival; returns true when it was carried out then
    // and is not to be queued.
    std::function<bool(const DecodedCommand &)> onArrival;
    // Bad input, known on arrival.
    std::function<void(InputFault)> onFault;

    // Carries out queued items on `target` (log entries go to `log`), one
    // at a time while `allowance()` grants stream bytes (a data block is
    // cut to what it grants); `cost` is told the bytes each took.
    void run(DecoderSink &target, LogSink *log, const std::function<uint64_t()> &allowance,
             const std::function<void(uint64_t)> &cost);
    // Drops everything queued (a stop that ran out of time).
    void clear();

    bool isEmpty() const { return items.empty(); }
    size_t count() const { return items.size(); }
    // Stream bytes worked off so far: up to the end of the last item carried out.
    uint64_t workedOff() const { return done; }
    // Offset of the command being carried out (or last carried out).
    uint64_t currentStart() const { return current; }
    // Stream bytes queued before `offset` that the engine has not worked off.
    uint64_t bytesBefore(uint64_t offset) const { return lastEnd > done && offset > done ? offset - done : 0; }

    // DecoderSink and LogSink: the decoder's output, queued.
    void execute(const DecodedCommand &command) override;
    void character(const Character &ch) override;
    void dataBegin(const DecodedCommand &command) override;
    void dataChunk(const DecodedCommand &command, const uint8_t *data, size_t size) override;
    void dataEnd(const DecodedCommand &command, uint64_t received, bool complete) override;
    void inputFault(InputFault fault) override;
    void add(const LogEntry &entry) override;

private:
    // Mark: bytes carried out on arrival, worked off in their turn.
    enum class Kind : uint8_t { Log, Mark, Execute, Character, DataBegin, DataChunk, DataEnd };
    // Small, one per character; commands, log entries and data wait beside.
    struct Item
    {
        Kind kind = Kind::Log;
        bool complete = false; // of DataEnd
        Character ch;
        uint64_t end = 0;   // stream offset after the bytes it stands for; 0: none
        uint64_t start = 0; // offset of its command
        uint64_t received = 0;
    };
    Item &push(Kind kind, uint64_t end);
    void carryOut(const Item &item, DecoderSink &target, LogSink *log);
    bool carryOutPart(const Item &item, DecoderSink &target, uint64_t allowed);

    std::deque<Item> items;
    std::deque<DecodedCommand> commands; // of Execute, DataBegin and DataEnd
    std::deque<LogEntry> entries;
    std::deque<QByteArray> chunks;
    DecodedCommand dataCommand; // the data block being carried out
    uint64_t done = 0;
    uint64_t lastEnd = 0; // the furthest end of an item queued
    uint64_t current = 0;
};

} // namespace kvp
