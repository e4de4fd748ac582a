#include "serial/portproblem.h"

#include <QCoreApplication>
#include <QFile>

#include <unistd.h>

namespace serial {

namespace {

QString tr(const char *text) { return QCoreApplication::translate("PortProblem", text); }

QString advice(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return tr("Check the cable and that the adapter is plugged in, or correct the port's path in Settings.");
    case QSerialPort::PermissionError:
        return tr("Another program may hold the port (close it, then connect again), or your user is not in the "
                  "group that owns the port (often \"dialout\").");
    case QSerialPort::UnsupportedOperationError:
        return tr("This path is not a serial port: check the port's path in Settings.");
    default: return {};
    }
}

QString holderText(const PortHolder &holder) { return tr("%1 (process %2)").arg(holder.name).arg(holder.pid); }

// A port that cannot be opened although the user may open it is in use;
// its holder is named where it can be found.
std::optional<PortHolder> heldBy(const QString &portName, QSerialPort::SerialPortError error)
{
    const QString path = portPath(portName);
    if (error != QSerialPort::PermissionError || ::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0)
        return std::nullopt;
    return findPortHolder(path);
}

} // namespace

QString openFailureText(const QString &portName, QSerialPort::SerialPortError error, const QString &systemText)
{
    if (portName.isEmpty())
        return tr("No port is chosen.\nPick a port in Settings, or type its path under \"Custom\".");
    const QString text = portName + QStringLiteral(": ") + systemText;
    if (const auto holder = heldBy(portName, error))
        return text + u'\n' + tr("%1 holds the port: close it there, then connect again.").arg(holderText(*holder));
    const QString hint = advice(error);
    return hint.isEmpty() ? text : text + u'\n' + hint;
}

QString heldPortText(const QString &portName, const std::optional<PortHolder> &holder)
{
    const QString held = portName + QStringLiteral(": ") + tr("the port is in use by another program.") + u'\n';
    if (!holder)
        return held + tr("Close it in the program that holds it, then connect again.");
    return held + tr("%1 holds the port: close it there, then connect again.").arg(holderText(*holder));
}

QString lostDeviceText(const QString &portName, const QString &systemText)
{
    return portName + QStringLiteral(": ") + systemText + u'\n'
        + tr("The adapter was unplugged, or the other end closed the line. Connect again when it is back.");
}

} // namespace serial
