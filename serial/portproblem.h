#pragma once

// What the user reads when the port cannot be opened or goes away: the
// port's name before the system's own words, and one line of advice where
// the cause is known.

#include <QSerialPort>
#include <QString>

namespace serial {

QString openFailureText(const QString &portName, QSerialPort::SerialPortError error, const QString &systemText);
QString lostDeviceText(const QString &portName, const QString &systemText);

} // namespace serial
