#pragma once

// The line's control signals: the outputs DTR and RTS, a break, and the
// inputs CTS, DSR, DCD and RI. A UART has them; a pseudo-terminal (the
// virtual printer's line) has none, and says so by failing to read them.

#include <memory>

namespace serial {

struct ModemSignals
{
    bool dtr = false;
    bool rts = false;
    bool cts = false;
    bool dsr = false;
    bool dcd = false;
    bool ri = false;
    bool operator==(const ModemSignals &o) const
    {
        return dtr == o.dtr && rts == o.rts && cts == o.cts && dsr == o.dsr && dcd == o.dcd && ri == o.ri;
    }
    bool operator!=(const ModemSignals &o) const { return !(*this == o); }
};

// The signals of one open port. Each call says whether the device did it.
class ModemLines
{
public:
    virtual ~ModemLines() = default;
    virtual bool read(ModemSignals *now) = 0;
    virtual bool setDtr(bool on) = 0;
    virtual bool setRts(bool on) = 0;
    // A break holds the line at space (logical 0) until it is cleared.
    virtual bool setBreak(bool on) = 0;
};

// The modem-line requests of a terminal's descriptor (TIOCMGET, TIOCMBIS,
// TIOCMBIC, TIOCSBRK, TIOCCBRK); the descriptor stays the caller's.
std::unique_ptr<ModemLines> terminalModemLines(int fd);

} // namespace serial
