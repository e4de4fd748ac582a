#pragma once

// Drives the window the way a user does: through the settings dialog and the
// actions, by object name.

#include "support/kivotestaccess.h"

#include <QString>

class QAction;

namespace driver {

// Settings → "Custom", type `path`, choose the flow control by its text
// ("XON/XOFF", "None", "RTS/CTS"), Apply.
void chooseCustomPort(MainWindow &window, const QString &path, const QString &flowControl = "XON/XOFF");

// chooseCustomPort, then Serial → Connect. True when the port opened.
bool connectTo(MainWindow &window, const QString &path, const QString &flowControl = "XON/XOFF");

// Settings → "Network" with `host` and `port`, or "Device file" with
// `path`, Apply, then Connect. True when the link opened; the network
// printer gets 20 s of the event loop to answer.
bool connectToNetwork(MainWindow &window, const QString &host, quint16 port);
// The same Connect, returning while the network printer has not answered.
void startConnectingToNetwork(MainWindow &window, const QString &host, quint16 port);
bool connectToDevice(MainWindow &window, const QString &path);

QString statusText(MainWindow &window);
QString console(MainWindow &window);

// "connect/disconnect/configure" as three letters, upper case when enabled:
// "cDF" reads connect disabled, disconnect and configure enabled.
QString actionStates(MainWindow &window);

// Runs a slot of the window by name, the way its button would.
void press(MainWindow &window, const char *slot);

} // namespace driver
