#pragma once

// A port is this program's alone while it is connected, as with other serial
// tools: besides the lock file that the serial port takes, an exclusive
// flock on the device (tools that lock so, such as picocom, find it taken
// and are found taking it) and TIOCEXCL (further opens of the terminal
// fail, except for root).

#include <QSerialPort>
#include <QString>

#include <optional>

namespace serial {

// The device path of a port name as the serial port opens it: "ttyUSB0" is
// /dev/ttyUSB0, a path stays as it is.
QString portPath(const QString &portName);

// A process that holds a device.
struct PortHolder
{
    qint64 pid = 0;
    QString name; // its command name, as ps shows it
};

// Who holds the device at `path`, if it can be found: the process with a
// lock on it, else the process a lock file of the port names, else another
// process with the device open; of those, the terminal's other end (the
// pseudo-terminal's owner, the process a link leads into) holds nothing.
std::optional<PortHolder> findPortHolder(const QString &path);

// Opens the port (its name and line settings set) for this program alone.
// False, with the text for the user, when it cannot be opened or another
// program holds it; the port is then closed.
bool openExclusive(QSerialPort &port, const QString &portName, QString *refusal);

// Takes the open port for this program alone. Fails, leaving the port as it
// is, when another process holds an exclusive flock on the device.
bool claimPort(QSerialPort &port);
// Lets go of the claim; the port stays open. Closing the port lets go of
// it too.
void releasePort(QSerialPort &port);

} // namespace serial
