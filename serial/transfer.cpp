#include "serial/transfer.h"

#include "serial/lineout.h"

#include <QIODevice>

#include <algorithm>

namespace serial {

namespace {

// How often the transfer looks at the line.
constexpr int tickMs = 10;
// How much may wait for the line beyond what it is sending, in seconds of
// line time: enough that the line never runs dry between two ticks, little
// enough that a stop is quick.
constexpr double aheadSeconds = 0.1;
// A line that flow control still holds this long after Stop is given up.
constexpr qint64 stopGiveUpMs = 5000;

qint64 sizeOf(const printer::Command &command)
{
    qint64 size = qint64(command.zeroFillWrites);
    for (const QByteArray &bytes : command.writes)
        size += bytes.size();
    return size;
}

} // namespace

Transfer::Transfer(LineOut &out, timing::Clock &clock, QObject *parent)
    : QObject(parent)
    , lineOut(out)
{
    setClock(clock);
}

void Transfer::setClock(timing::Clock &newClock)
{
    Q_ASSERT(!running);
    clock = &newClock;
    ticker = clock->timer([this] { pump(); });
}

void Transfer::start(const QList<printer::Command> &list, const QByteArray &keep, double bytesPerSecond)
{
    commands = list;
    kept = keep;
    next = 0;
    pace = bytesPerSecond;
    totalBytes = 0;
    for (const printer::Command &command : commands)
        totalBytes += sizeOf(command);
    handedBytes = sentBytes = 0;
    lineFreeAtMs = 0;
    stopping = false;
    running = true;
    startMs = clock->nowMs();
    ticker->start(tickMs);
    pump();
}

void Transfer::stop()
{
    if (!running || stopping)
        return;
    stopping = true;
    stopAtMs = msElapsed();
    pump();
}

void Transfer::abandon()
{
    if (running)
        finish(Outcome::Abandoned);
}

qint64 Transfer::msLeft() const
{
    const qint64 elapsed = msElapsed();
    // The pace seen so far once there is some, else the line's own.
    const double bytesPerMs = elapsed >= 500 && sentBytes > 0 ? double(sentBytes) / double(elapsed) : pace / 1000;
    if (!running || bytesPerMs <= 0)
        return -1;
    return qint64(double(totalBytes - sentBytes) / bytesPerMs);
}

qint64 Transfer::lineBacklog() const
{
    // What the device still holds, or more when the pace says the line has
    // not yet sent what the system took from the device.
    const qint64 inDevice = lineOut.device()->bytesToWrite();
    if (pace <= 0)
        return inDevice;
    const double msOfLine = std::max(0.0, lineFreeAtMs - double(msElapsed()));
    return std::max(inDevice, qint64(msOfLine * pace / 1000));
}

void Transfer::handOver()
{
    const qint64 ahead = pace > 0 ? std::max<qint64>(1, qint64(pace * aheadSeconds)) : 0;
    while (next < commands.size() && !stopping && (pace <= 0 || lineBacklog() <= ahead)) {
        const printer::Command &command = commands.at(next++);
        const qint64 size = sizeOf(command);
        lineOut.send(command);
        handedBytes += size;
        if (pace > 0)
            lineFreeAtMs = std::max(lineFreeAtMs, double(msElapsed())) + double(size) * 1000 / pace;
    }
}

void Transfer::pump()
{
    if (!running)
        return;
    handOver();
    const qint64 backlog = lineBacklog();
    sentBytes = std::max(sentBytes, handedBytes - backlog);
    emit progressed();
    const bool allHanded = next == commands.size();
    if ((allHanded || stopping) && backlog == 0)
        finish(allHanded ? Outcome::Sent : Outcome::Stopped);
    else if (stopping && msElapsed() - stopAtMs > stopGiveUpMs)
        finish(Outcome::Stopped);
}

void Transfer::finish(Outcome outcome)
{
    running = false;
    stopping = false;
    ticker->stop();
    commands.clear();
    kept.clear();
    emit finished(outcome);
}

} // namespace serial
