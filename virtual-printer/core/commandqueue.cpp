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
        push(Kind::Log, position ? position() : 0);
        return;
    }
    push(Kind::Execute, position ? position() : 0).command = command;
}

void CommandQueue::character(const Character &ch) { push(Kind::Character, position ? position() : 0).ch = ch; }

void CommandQueue::dataBegin(const DecodedCommand &command)
{
    push(Kind::DataBegin, position ? position() : 0).command = command;
}

void CommandQueue::dataChunk(const DecodedCommand &, const uint8_t *data, size_t size)
{
    // The decoder counts a chunk's bytes once it has handed them over.
    const uint64_t end = (position ? position() : 0) + size;
    if (!items.empty() && items.back().kind == Kind::DataChunk) { // a block arriving byte by byte
        items.back().data.append(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
        items.back().end = end;
        lastEnd = std::max(lastEnd, end);
        return;
    }
    push(Kind::DataChunk, end).data = QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

void CommandQueue::dataEnd(const DecodedCommand &command, uint64_t received, bool complete)
{
    Item &item = push(Kind::DataEnd, position ? position() : 0);
    item.command = command;
    item.received = received;
    item.complete = complete;
}

void CommandQueue::inputFault(InputFault fault)
{
    if (onFault)
        onFault(fault);
}

void CommandQueue::add(const LogEntry &entry) { push(Kind::Log, 0).entry = entry; }

void CommandQueue::run(DecoderSink &target, LogSink *log, const std::function<uint64_t()> &allowance,
                       const std::function<void(uint64_t)> &cost)
{
    while (!items.empty()) {
        const uint64_t allowed = allowance();
        if (allowed == 0)
            break;
        const uint64_t before = done;
        current = items.front().start;
        if (!carryOutPart(items.front(), target, allowed)) {
            Item item = std::move(items.front());
            items.pop_front();
            done = std::max(done, item.end);
            carryOut(item, target, log);
        }
        if (cost && done > before)
            cost(done - before);
    }
}

// A data block longer than the engine may take now: its first bytes.
bool CommandQueue::carryOutPart(Item &item, DecoderSink &target, uint64_t allowed)
{
    if (item.kind != Kind::DataChunk || static_cast<uint64_t>(item.data.size()) <= allowed)
        return false;
    const auto part = static_cast<qsizetype>(allowed);
    target.dataChunk(dataCommand, reinterpret_cast<const uint8_t *>(item.data.constData()), static_cast<size_t>(part));
    item.data.remove(0, part);
    done = std::max(done, item.end - static_cast<uint64_t>(item.data.size()));
    return true;
}

void CommandQueue::carryOut(Item &item, DecoderSink &target, LogSink *log)
{
    switch (item.kind) {
    case Kind::Log:
        if (log && !item.entry.name.isEmpty())
            log->add(item.entry);
        break;
    case Kind::Execute: target.execute(item.command); break;
    case Kind::Character: target.character(item.ch); break;
    case Kind::DataBegin:
        dataCommand = item.command;
        target.dataBegin(item.command);
        break;
    case Kind::DataChunk:
        target.dataChunk(dataCommand, reinterpret_cast<const uint8_t *>(item.data.constData()),
                         static_cast<size_t>(item.data.size()));
        break;
    case Kind::DataEnd: target.dataEnd(item.command, item.received, item.complete); break;
    }
}

} // namespace kvp
