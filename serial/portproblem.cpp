#include "serial/portproblem.h"

#include <QCoreApplication>

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

} // namespace

QString openFailureText(const QString &portName, QSerialPort::SerialPortError error, const QString &systemText)
{
    if (portName.isEmpty())
        return tr("No port is chosen.\nPick a port in Settings, or type its path under \"Custom\".");
    const QString text = portName + QStringLiteral(": ") + systemText;
    const QString hint = advice(error);
    return hint.isEmpty() ? text : text + u'\n' + hint;
}

QString lostDeviceText(const QString &portName, const QString &systemText)
{
    return portName + QStringLiteral(": ") + systemText + u'\n'
        + tr("The adapter was unplugged, or the other end closed the line. Connect again when it is back.");
}

} // namespace serial
