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
// What may wait for a device that sets the pace itself (a network printer,
// a printer device file): enough to keep it busy, little enough that a stop
// is quick.
constexpr qint64 deviceAheadBytes = qint64(16) * 1024;
// A line that flow control still holds this long after Stop is given up.
constexpr qint64 stopGiveUpMs = 5000;

qint64 sizeOf(const printer::Command &command)
{
    qint64 size = qint64(command.zeroFillWrites);
    for (const QByteArray &bytes : command.writes)
        size += bytes.size();
    return size;
}

class ListSource : public CommandSource
{
public:
    ListSource(const QList<printer::Command> &list, const QByteArray &keep)
        : commands(list)
        , kept(keep)
    {
        for (const printer::Command &command : commands)
            bytes += sizeOf(command);
    }
    qint64 total() const override { return bytes; }
    bool atEnd() const override { return at == commands.size(); }
    bool next(printer::Command &command, QString &) override
    {
        if (at == commands.size())
            return false;
        command = commands.at(at++);
        return true;
    }

private:
    QList<printer::Command> commands;
    QByteArray kept;
    qsizetype at = 0;
    qint64 bytes = 0;
};

} // namespace

std::unique_ptr<CommandSource> listSource(const QList<printer::Command> &commands, const QByteArray &keep)
{
    return std::make_unique<ListSource>(commands, keep);
}

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

void Transfer::start(std::unique_ptr<CommandSource> commands, double bytesPerSecond)
{
    source = std::move(commands);
    failureText.clear();
    pace = bytesPerSecond;
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

qint64 Transfer::total() const { return source ? source->total() : totalBytes; }

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
    return qint64(double(total() - sentBytes) / bytesPerMs);
}

qint64 Transfer::lineBacklog() const
{
    // What the device still holds, or more when the pace says the line has
    // not yet sent what the system took from the device.
    if (pace <= 0)
        return lineOut.queued();
    const qint64 inDevice = lineOut.device()->bytesToWrite();
    const double msOfLine = std::max(0.0, lineFreeAtMs - double(msElapsed()));
    return std::max(inDevice, qint64(msOfLine * pace / 1000));
}

void Transfer::handOver()
{
    const qint64 ahead = pace > 0 ? std::max<qint64>(1, qint64(pace * aheadSeconds)) : deviceAheadBytes;
    printer::Command command;
    while (running && !source->atEnd() && !stopping && lineBacklog() <= ahead) {
        if (!source->next(command, failureText)) {
            // A source that cannot go on ends the job: what it gave goes out.
            if (!failureText.isEmpty())
                finish(Outcome::Abandoned);
            return;
        }
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
    if (!running)
        return;
    const qint64 backlog = lineBacklog();
    sentBytes = std::max(sentBytes, handedBytes - backlog);
    emit progressed();
    const bool allHanded = source->atEnd();
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
    totalBytes = source ? source->total() : totalBytes;
    source.reset();
    emit finished(outcome);
}

} // namespace serial
