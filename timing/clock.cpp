#include "timing/clock.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace timing {

namespace {

class SystemTimer : public Timer
{
public:
    SystemTimer(std::function<void()> timeout, bool singleShot)
    {
        // Line pacing ticks every few milliseconds: a coarse timer would
        // stretch them by up to a twentieth.
        qtTimer.setTimerType(Qt::PreciseTimer);
        qtTimer.setSingleShot(singleShot);
        QObject::connect(&qtTimer, &QTimer::timeout, std::move(timeout));
    }
    void start(int intervalMs) override { qtTimer.start(intervalMs); }
    void stop() override { qtTimer.stop(); }
    bool isActive() const override { return qtTimer.isActive(); }

private:
    QTimer qtTimer;
};

class SystemClock : public Clock
{
public:
    SystemClock() { elapsed.start(); }
    qint64 nowMs() const override { return elapsed.elapsed(); }
    std::unique_ptr<Timer> timer(std::function<void()> timeout, bool singleShot) override
    {
        return std::make_unique<SystemTimer>(std::move(timeout), singleShot);
    }

private:
    QElapsedTimer elapsed;
};

} // namespace

Clock &Clock::system()
{
    static SystemClock clock;
    return clock;
}

class ManualClock::ManualTimer : public Timer
{
public:
    ManualTimer(ManualClock *owner, std::function<void()> timeout, bool singleShot)
        : clock(owner)
        , callback(std::move(timeout))
        , once(singleShot)
    {
        clock->timers.push_back(this);
    }
    ~ManualTimer() override
    {
        if (clock)
            clock->timers.erase(std::find(clock->timers.begin(), clock->timers.end(), this));
    }
    void start(int intervalMs) override
    {
        // A zero interval would fire for ever without time moving on.
        interval = std::max(1, intervalMs);
        due = clock ? clock->now + interval : 0;
        active = clock != nullptr;
    }
    void stop() override { active = false; }
    bool isActive() const override { return active; }

    ManualClock *clock;
    std::function<void()> callback;
    bool once;
    bool active = false;
    int interval = 1;
    qint64 due = 0;
};

ManualClock::~ManualClock()
{
    // Timers that outlive their clock stop for good.
    for (ManualTimer *timer : timers) {
        timer->clock = nullptr;
        timer->active = false;
    }
}

std::unique_ptr<Timer> ManualClock::timer(std::function<void()> timeout, bool singleShot)
{
    return std::make_unique<ManualTimer>(this, std::move(timeout), singleShot);
}

ManualClock::ManualTimer *ManualClock::nextDue(qint64 until) const
{
    ManualTimer *next = nullptr;
    for (ManualTimer *timer : timers)
        if (timer->active && timer->due <= until && (!next || timer->due < next->due))
            next = timer;
    return next;
}

void ManualClock::advance(qint64 ms)
{
    const qint64 until = now + std::max<qint64>(0, ms);
    // A callback may start, stop, make or destroy timers: look again each time.
    while (ManualTimer *timer = nextDue(until)) {
        now = timer->due;
        if (timer->once)
            timer->active = false;
        else
            timer->due += timer->interval;
        timer->callback();
    }
    now = until;
}

} // namespace timing
