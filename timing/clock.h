#pragma once

// The time that pacing, progress and time-outs are measured in. Both programs
// run on the system's monotonic clock; a ManualClock stands in for it where
// minutes of line time must pass at once and come out the same on any
// machine (tests, benches).

#include <QtGlobal>

#include <functional>
#include <memory>
#include <vector>

namespace timing {

// A timer of a Clock: calls back after its interval, once or every interval.
class Timer
{
public:
    virtual ~Timer() = default;
    // (Re)starts: the first call comes `intervalMs` from now.
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

class Clock
{
public:
    virtual ~Clock() = default;
    // Milliseconds from a fixed point; never goes back.
    virtual qint64 nowMs() const = 0;
    virtual std::unique_ptr<Timer> timer(std::function<void()> timeout, bool singleShot = false) = 0;

    // The system's monotonic clock, its timers run by the thread's event loop.
    static Clock &system();
};

// Time that moves only when told to. Its timers fire inside advance(), in
// the order they fall due, each at its own time.
class ManualClock : public Clock
{
public:
    ManualClock() = default;
    ~ManualClock() override;
    ManualClock(const ManualClock &) = delete;
    ManualClock &operator=(const ManualClock &) = delete;

    qint64 nowMs() const override { return now; }
    std::unique_ptr<Timer> timer(std::function<void()> timeout, bool singleShot = false) override;

    // Moves time on by `ms`, firing every timer due on the way.
    void advance(qint64 ms);

private:
    class ManualTimer;
    ManualTimer *nextDue(qint64 until) const;

    qint64 now = 0;
    std::vector<ManualTimer *> timers; // in the order they were made
};

} // namespace timing
