#include "serial/link.h"

#include "serial/devicelink.h"
#include "serial/networklink.h"
#include "serial/seriallink.h"

#include <QCoreApplication>
#include <QIODevice>

namespace serial {

namespace {

QString tr(const char *text) { return QCoreApplication::translate("Link", text); }

} // namespace

bool Link::isOpen() const { return device()->isOpen(); }

QString Link::connectedText() const { return tr("Connected to %1").arg(displayName()); }

void Link::startOpening()
{
    QString refusal;
    if (open(&refusal))
        emit opened();
    else
        emit refused(refusal);
}

qint64 Link::bytesQueued() const { return device()->bytesToWrite(); }

void Link::reportLost(const QString &reason)
{
    if (lossReported)
        return;
    lossReported = true;
    emit lost(reason);
    close();
}

qint32 lineBaudRate(const LinkSettings &settings)
{
    return settings.kind == LinkSettings::Kind::Serial ? settings.serial.baudRate : 0;
}

std::unique_ptr<Link> makeLink(const LinkSettings &settings, QObject *parent, timing::Clock &clock)
{
    switch (settings.kind) {
    case LinkSettings::Kind::Network:
        return std::make_unique<NetworkLink>(settings.host, settings.port, settings.connectTimeoutMs, parent, clock);
    case LinkSettings::Kind::DeviceFile: return std::make_unique<DeviceLink>(settings.devicePath, parent);
    case LinkSettings::Kind::Serial: break;
    }
    auto link = std::make_unique<SerialLink>(parent);
    link->setSettings(settings.serial);
    return link;
}

bool parseHostPort(const QString &text, QString *host, quint16 *port, QString *error)
{
    QString name = text.trimmed();
    QString portText;
    if (name.startsWith(u'[')) {
        const qsizetype close = name.indexOf(u']');
        if (close < 0) {
            *error = tr("\"%1\" has no closing bracket").arg(text);
            return false;
        }
        const QString rest = name.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':')) {
            *error = tr("\"%1\" is not HOST:PORT").arg(text);
            return false;
        }
        portText = rest.mid(1);
        name = name.mid(1, close - 1);
    } else if (name.count(u':') == 1) {
        portText = name.section(u':', 1);
        name = name.section(u':', 0, 0);
    }
    if (name.isEmpty()) {
        *error = tr("no host is named");
        return false;
    }
    bool ok = true;
    const uint number = portText.isEmpty() ? defaultNetworkPort : portText.toUInt(&ok);
    if (!ok || number < 1 || number > 65535) {
        *error = tr("the port must be a number from 1 to 65535");
        return false;
    }
    *host = name;
    *port = quint16(number);
    return true;
}

QString kindName(LinkSettings::Kind kind)
{
    switch (kind) {
    case LinkSettings::Kind::Network: return tr("network");
    case LinkSettings::Kind::DeviceFile: return tr("device file");
    case LinkSettings::Kind::Serial: break;
    }
    return tr("serial port");
}

} // namespace serial
