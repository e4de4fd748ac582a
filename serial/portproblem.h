#pragma once

// What the user reads when the port cannot be opened or goes away: the
// port's name before the system's own words, and one line of advice where
// the cause is known.

#include "serial/portclaim.h"

#include <QSerialPort>
#include <QString>

#include <optional>

namespace serial {

// A port refused as in use names the program that holds it, where it can
// be found.
QString openFailureText(const QString &portName, QSerialPort::SerialPortError error, const QString &systemText);
QString heldPortText(const QString &portName, const std::optional<PortHolder> &holder);
QString lostDeviceText(const QString &portName, const QString &systemText);

} // namespace serial
