#pragma once

// A connection to the controller, whatever carries it: a serial port, a raw
// TCP port of a network printer, or a printer device file. Everything that
// talks to the controller (the window, the long sends, the Traffic record,
// the command-line sender) uses only this.

#include "serial/serialsettings.h"
#include "timing/clock.h"

#include <QObject>
#include <QString>

#include <memory>

class QIODevice;

namespace serial {

// The raw print port of network printers, by convention.
constexpr quint16 defaultNetworkPort = 9100;
// How long opening a network link waits for the printer to accept.
constexpr int networkConnectTimeoutMs = 5000;

// What the user chose: the kind of link and the settings of each kind.
struct LinkSettings
{
    enum class Kind {
        Serial,     // a serial port and its line parameters
        Network,    // a host and a TCP port
        DeviceFile, // a printer device file, such as /dev/usb/lp0
    };

    Kind kind = Kind::Serial;
    SerialSettings serial;
    QString host;
    quint16 port = defaultNetworkPort;
    QString devicePath;
    int connectTimeoutMs = networkConnectTimeoutMs;
};

class Link : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Opens the link. False, with the text for the user in `refusal`, when
    // it cannot be opened; it is then closed.
    virtual bool open(QString *refusal) = 0;
    // Opens the link without waiting for it: reports opened() or refused()
    // once, perhaps before it returns. close() while it is under way drops
    // the attempt and reports nothing. The link opens with open() unless its
    // kind must wait for the other end.
    virtual void startOpening();
    // Closes at once and drops what has not left the program yet. Emits
    // nothing; closing a closed link does nothing.
    virtual void close() = 0;
    bool isOpen() const;

    // What the bytes are written to and the replies read from; the same
    // object for the link's whole life. Its readyRead announces replies.
    virtual QIODevice *device() const = 0;

    // How fast the line carries what the device takes, in bytes per second;
    // 0 when the device itself sets the pace, taking bytes as it can.
    virtual double bytesPerSecond() const = 0;
    bool pacedByDevice() const { return bytesPerSecond() <= 0; }
    // The line's speed in bit/s for a serial line, 0 for the other kinds.
    virtual qint32 baudRate() const { return 0; }

    // The link as the user reads it: "/dev/ttyUSB0",
    // "127.0.0.1:9100 (network)", "/dev/usb/lp0 (device file)".
    virtual QString displayName() const = 0;
    // The status bar's line while connected.
    virtual QString connectedText() const;

    // Bytes written that have not left yet: the device's buffer and what
    // the system still holds for the line.
    virtual qint64 bytesQueued() const;

signals:
    // How startOpening() ended: the link is open, or it is closed and
    // `refusal` is the text for the user, as open() gives it.
    void opened();
    void refused(const QString &refusal);
    // The device went away while open: unplugged, the peer closed the
    // connection, the network went away. `reason` is the text for the user.
    // Emitted once per opening, while the device is still open; the link is
    // closed once the receivers return (a receiver may close it first).
    void lost(const QString &reason);

protected:
    // Reports a loss once, then closes.
    void reportLost(const QString &reason);
    // A new opening may be lost again.
    void armLoss() { lossReported = false; }

private:
    bool lossReported = false;
};

// The line rate long sends size their pieces by: a serial line's bit/s, 0
// for a kind whose device sets the pace.
qint32 lineBaudRate(const LinkSettings &settings);

// A link of the chosen kind, closed. A network link's connect time-out
// runs on `clock`.
std::unique_ptr<Link> makeLink(const LinkSettings &settings, QObject *parent = nullptr,
                               timing::Clock &clock = timing::Clock::system());

// Reads "HOST" or "HOST:PORT" (an IPv6 address in brackets when it has a
// port: "[::1]:9100"). False with the reason when it is not such a text.
bool parseHostPort(const QString &text, QString *host, quint16 *port, QString *error);

// The kind as the settings dialog and the status bar name it.
QString kindName(LinkSettings::Kind kind);

} // namespace serial
