#pragma once

// The control signals of the connected port as the window shows them: DTR
// and RTS to switch, a break of a chosen length, and the input lines read
// every pollMs while connected. On a device without them (a pseudo-terminal)
// everything stays off, quietly.

#include "serial/modemlines.h"
#include "timing/clock.h"

#include <QObject>

#include <memory>

namespace serial {

class LineSignals : public QObject
{
    Q_OBJECT

public:
    enum class Availability {
        Disconnected, // no port open
        Unsupported,  // the port has no modem lines (or they stopped answering)
        Available,
    };

    static constexpr int pollMs = 100;

    explicit LineSignals(timing::Clock &clock = timing::Clock::system(), QObject *parent = nullptr);
    ~LineSignals() override;

    // Starts on the lines of a port just opened. With RTS/CTS flow control
    // the system drives RTS, so it is not the user's to switch.
    void attach(std::unique_ptr<ModemLines> lines, bool rtsByFlowControl);
    // Before the port closes: a break under way ends, reading stops.
    void detach();

    Availability availability() const { return state; }
    bool rtsSwitchable() const { return state == Availability::Available && !rtsDriven; }
    const ModemSignals &signalState() const { return now; }
    bool isBreaking() const { return breakTimer->isActive(); }

    void setDtr(bool on);
    void setRts(bool on);
    // Holds the line in break for `ms` milliseconds.
    void sendBreak(int ms);

signals:
    // The availability, a signal or the break changed.
    void changed();

private:
    void poll();
    void endBreak();

    std::unique_ptr<ModemLines> modem;
    std::unique_ptr<timing::Timer> pollTimer;
    std::unique_ptr<timing::Timer> breakTimer;
    Availability state = Availability::Disconnected;
    ModemSignals now;
    bool rtsDriven = false;
};

} // namespace serial
