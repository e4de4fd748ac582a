#include "serial/linesignals.h"

#include <utility>

namespace serial {

LineSignals::LineSignals(timing::Clock &clock, QObject *parent)
    : QObject(parent)
    , pollTimer(clock.timer([this] { poll(); }))
    , breakTimer(clock.timer([this] { endBreak(); }, true))
{ }

LineSignals::~LineSignals() = default;

void LineSignals::attach(std::unique_ptr<ModemLines> lines, bool rtsByFlowControl)
{
    detach();
    modem = std::move(lines);
    rtsDriven = rtsByFlowControl;
    // A device whose lines cannot be read has none to switch either.
    state = modem && modem->read(&now) ? Availability::Available : Availability::Unsupported;
    if (state == Availability::Available)
        pollTimer->start(pollMs);
    emit changed();
}

void LineSignals::detach()
{
    if (!modem)
        return;
    if (isBreaking())
        endBreak();
    pollTimer->stop();
    modem.reset();
    now = {};
    state = Availability::Disconnected;
    emit changed();
}

void LineSignals::setDtr(bool on)
{
    if (state == Availability::Available)
        modem->setDtr(on);
    poll(); // shows what the device made of it
}

void LineSignals::setRts(bool on)
{
    if (rtsSwitchable())
        modem->setRts(on);
    poll();
}

void LineSignals::sendBreak(int ms)
{
    if (state != Availability::Available || isBreaking() || !modem->setBreak(true))
        return;
    breakTimer->start(ms);
    emit changed();
}

void LineSignals::endBreak()
{
    breakTimer->stop();
    if (modem)
        modem->setBreak(false);
    emit changed();
}

void LineSignals::poll()
{
    if (state != Availability::Available)
        return;
    ModemSignals read;
    if (!modem->read(&read)) {
        // Gone quiet (an adapter pulled out): the port's own error says so.
        pollTimer->stop();
        now = {};
        state = Availability::Unsupported;
        emit changed();
        return;
    }
    if (read != now) {
        now = read;
        emit changed();
    }
}

} // namespace serial
