#pragma once

// A long send: commands handed to the line one at a time, no faster than
// the line drains them, so that what waits between the program and the
// controller stays small. That keeps Stop quick: it hands over no further
// command and lets the ones already handed over finish, so the controller
// never sees a command cut short. Progress is counted in bytes the line has
// taken; nothing here blocks the event loop.

#include "printer/commands.h"
#include "timing/clock.h"

#include <QList>
#include <QObject>

#include <memory>

class QIODevice;

namespace serial {

class LineOut;

// Where a long send takes its commands from: one at a time, as the line
// takes them, so that a long job is never held in memory twice.
class CommandSource
{
public:
    virtual ~CommandSource() = default;
    // The bytes in all, as far as known so far.
    virtual qint64 total() const = 0;
    // True once every command has been given.
    virtual bool atEnd() const = 0;
    // The next command; false at the end, or when the source failed, with
    // the reason in `error`.
    virtual bool next(printer::Command &command, QString &error) = 0;
};

// Commands made beforehand; `keep` holds data they borrow.
std::unique_ptr<CommandSource> listSource(const QList<printer::Command> &commands, const QByteArray &keep);

class Transfer : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Sent,      // every command went out
        Stopped,   // stopped between two commands
        Abandoned, // given up at once: the line is gone, or the source failed
    };

    explicit Transfer(LineOut &out, timing::Clock &clock = timing::Clock::system(), QObject *parent = nullptr);

    // The clock that paces the line and measures the time left; only
    // between two transfers.
    void setClock(timing::Clock &clock);

    // Sends the commands of `source` in order. `bytesPerSecond` is the
    // line's pace (0: as fast as the device takes them, for a device that
    // is not a line: a network printer, a printer device file).
    void start(std::unique_ptr<CommandSource> source, double bytesPerSecond);
    // No further command; those handed over finish. Ends with Stopped.
    void stop();
    // Ends at once with Abandoned, whatever is on its way.
    void abandon();

    bool isRunning() const { return running; }
    bool isStopping() const { return running && stopping; }
    qint64 total() const;
    // Bytes the line has taken so far (an estimate: what the system still
    // holds for the line is counted from the pace).
    qint64 sent() const { return sentBytes; }
    // Milliseconds until the end at the pace seen so far; -1 while unknown.
    qint64 msLeft() const;
    qint64 msElapsed() const { return startMs < 0 ? 0 : clock->nowMs() - startMs; }
    // Why the source failed, when it did.
    QString failure() const { return failureText; }

signals:
    void progressed();
    void finished(serial::Transfer::Outcome outcome);

private:
    void pump();
    void handOver();
    qint64 lineBacklog() const;
    void finish(Outcome outcome);

    LineOut &lineOut;
    timing::Clock *clock = nullptr;
    std::unique_ptr<timing::Timer> ticker;
    qint64 startMs = -1;
    std::unique_ptr<CommandSource> source;
    bool sourceEnded = false;
    QString failureText;
    double pace = 0;
    qint64 totalBytes = 0; // once the source is let go
    qint64 handedBytes = 0;
    qint64 sentBytes = 0;
    // When the line, at its pace, will have sent everything handed over.
    double lineFreeAtMs = 0;
    qint64 stopAtMs = 0;
    bool running = false;
    bool stopping = false;
};

} // namespace serial
