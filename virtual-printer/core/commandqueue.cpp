#include "commandqueue.h"

namespace kvp {

CommandQueue::Item &CommandQueue::push(Kind kind, uint64_t end)
{
    Item &item = items.emplace_back();
    item.kind = kind;
    item.end = end;
    item.start = commandStart ? commandStart() : 0;
    lastEnd = std::max(lastEnd, end);
    return item;
}

void CommandQueue::execute(const DecodedCommand &command)
{
    if (onArrival && onArrival(command)) {
        // Carried out already; its bytes are worked off in their turn.
        push(Kind::Mark, position ? position() : 0);
        return;
    }
    push(Kind::Execute, position ? position() : 0);
    commands.push_back(command);
}

void CommandQueue::character(const Character &ch) { push(Kind::Character, position ? position() : 0).ch = ch; }

void CommandQueue::dataBegin(const DecodedCommand &command)
{
    push(Kind::DataBegin, position ? position() : 0);
    commands.push_back(command);
}

void CommandQueue::dataChunk(const DecodedCommand &, const uint8_t *data, size_t size)
{
    // The decoder counts a chunk's bytes once it has handed them over.
    const uint64_t end = (position ? position() : 0) + size;
    if (!items.empty() && items.back().kind == Kind::DataChunk) { // a block arriving byte by byte
        chunks.back().append(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
        items.back().end = end;
        lastEnd = std::max(lastEnd, end);
        return;
    }
    push(Kind::DataChunk, end);
    chunks.emplace_back(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

void CommandQueue::dataEnd(const DecodedCommand &command, uint64_t received, bool complete)
{
    Item &item = push(Kind::DataEnd, position ? position() : 0);
    commands.push_back(command);
    item.received = received;
    item.complete = complete;
}

void CommandQueue::inputFault(InputFault fault)
{
    if (onFault)
        onFault(fault);
}

void CommandQueue::add(const LogEntry &entry)
{
    push(Kind::Log, 0);
    entries.push_back(entry);
}

void CommandQueue::clear()
{
    items.clear();
    commands.clear();
    entries.clear();
    chunks.clear();
}

void CommandQueue::run(DecoderSink &target, LogSink *log, const std::function<uint64_t()> &allowance,
                       const std::function<void(uint64_t)> &cost)
{
    while (!items.empty()) {
        const uint64_t allowed = allowance();
        if (allowed == 0)
            break;
        const uint64_t before = done;
        const Item &item = items.front();
        current = item.start;
        if (!carryOutPart(item, target, allowed)) {
            done = std::max(done, item.end);
            carryOut(item, target, log);
            items.pop_front();
        }
        if (cost && done > before)
            cost(done - before);
    }
}

// A data block longer than the engine may take now: its first bytes.
bool CommandQueue::carryOutPart(const Item &item, DecoderSink &target, uint64_t allowed)
{
    if (item.kind != Kind::DataChunk || static_cast<uint64_t>(chunks.front().size()) <= allowed)
        return false;
    QByteArray &data = chunks.front();
    const auto part = static_cast<qsizetype>(allowed);
    target.dataChunk(dataCommand, reinterpret_cast<const uint8_t *>(data.constData()), static_cast<size_t>(part));
    data.remove(0, part);
    done = std::max(done, item.end - static_cast<uint64_t>(data.size()));
    return true;
}

// Carries out the item at the front, and drops what waited beside it.
void CommandQueue::carryOut(const Item &item, DecoderSink &target, LogSink *log)
{
    switch (item.kind) {
    case Kind::Log:
        if (log)
            log->add(entries.front());
        entries.pop_front();
        break;
    case Kind::Mark: break;
    case Kind::Execute:
        target.execute(commands.front());
        commands.pop_front();
        break;
    case Kind::Character: target.character(item.ch); break;
    case Kind::DataBegin:
        dataCommand = commands.front();
        commands.pop_front();
        target.dataBegin(dataCommand);
        break;
    case Kind::DataChunk:
        target.dataChunk(dataCommand, reinterpret_cast<const uint8_t *>(chunks.front().constData()),
                         static_cast<size_t>(chunks.front().size()));
        chunks.pop_front();
        break;
    case Kind::DataEnd:
        target.dataEnd(commands.front(), item.received, item.complete);
        commands.pop_front();
        break;
    }
}

} // namespace kvp
