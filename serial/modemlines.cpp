#include "serial/modemlines.h"

#include <sys/ioctl.h>
#include <termios.h>

namespace serial {

namespace {

class TerminalModemLines : public ModemLines
{
public:
    explicit TerminalModemLines(int descriptor)
        : fd(descriptor)
    { }

    bool read(ModemSignals *now) override
    {
        int bits = 0;
        if (::ioctl(fd, TIOCMGET, &bits) != 0)
            return false;
        *now = {(bits & TIOCM_DTR) != 0, (bits & TIOCM_RTS) != 0, (bits & TIOCM_CTS) != 0,
                (bits & TIOCM_DSR) != 0, (bits & TIOCM_CAR) != 0, (bits & TIOCM_RNG) != 0};
        return true;
    }
    bool setDtr(bool on) override { return setBit(TIOCM_DTR, on); }
    bool setRts(bool on) override { return setBit(TIOCM_RTS, on); }
    bool setBreak(bool on) override { return ::ioctl(fd, on ? TIOCSBRK : TIOCCBRK) == 0; }

private:
    bool setBit(int bit, bool on) { return ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0; }

    int fd;
};

} // namespace

std::unique_ptr<ModemLines> terminalModemLines(int fd) { return std::make_unique<TerminalModemLines>(fd); }

} // namespace serial
