#include "serial/networklink.h"

#include <QCoreApplication>
#include <QTcpSocket>

#include <linux/sockios.h>
#include <sys/ioctl.h>

namespace serial {

namespace {

QString tr(const char *text) { return QCoreApplication::translate("NetworkLink", text); }

QString openAdvice(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return tr("Nothing takes print jobs on that port: check that the printer is on and the port number in "
                  "Settings (9100 on most printers).");
    case QAbstractSocket::HostNotFoundError: return tr("Check the host name or address in Settings.");
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::NetworkError:
        return tr("Check that the printer is on and on this network, and its address in Settings.");
    default: return {};
    }
}

} // namespace

NetworkLink::NetworkLink(const QString &hostName, quint16 portNumber, int connectTimeoutMs, QObject *parent,
                         timing::Clock &clock)
    : Link(parent)
    , socket(new QTcpSocket(this))
    , host(hostName)
    , port(portNumber)
    , timeoutMs(connectTimeoutMs)
{
    connectTimer = clock.timer(
        [this] {
            refuseOpening(QAbstractSocket::SocketTimeoutError,
                          tr("no answer within %1 s").arg(double(timeoutMs) / 1000));
        },
        true);
    connect(socket, &QAbstractSocket::connected, this, &NetworkLink::finishOpening);
    connect(socket, &QAbstractSocket::errorOccurred, this, &NetworkLink::handleError);
    connect(socket, &QAbstractSocket::disconnected, this,
            [this] { handleError(QAbstractSocket::RemoteHostClosedError); });
}

QString NetworkLink::address() const
{
    const QString name = host.contains(u':') ? u'[' + host + u']' : host;
    return name + u':' + QString::number(port);
}

QString NetworkLink::displayName() const { return tr("%1 (network)").arg(address()); }

QIODevice *NetworkLink::device() const { return socket; }

QString NetworkLink::refusalText(QAbstractSocket::SocketError error, const QString &reason) const
{
    if (host.isEmpty())
        return tr("No printer is chosen.\nType the printer's host name or address in Settings.");
    const QString text = address() + QStringLiteral(": ") + reason;
    const QString hint = openAdvice(error);
    return hint.isEmpty() ? text : text + u'\n' + hint;
}

bool NetworkLink::open(QString *refusal)
{
    close();
    if (host.isEmpty()) {
        *refusal = refusalText(QAbstractSocket::UnknownSocketError, {});
        return false;
    }
    socket->connectToHost(host, port);
    if (!socket->waitForConnected(timeoutMs)) {
        *refusal = refusalText(socket->error(), socket->errorString());
        socket->abort();
        return false;
    }
    connected = true;
    armLoss();
    return true;
}

void NetworkLink::startOpening()
{
    close();
    if (host.isEmpty()) {
        emit refused(refusalText(QAbstractSocket::UnknownSocketError, {}));
        return;
    }
    opening = true;
    connectTimer->start(timeoutMs);
    socket->connectToHost(host, port);
}

void NetworkLink::finishOpening()
{
    if (!opening)
        return; // open() waits for it
    opening = false;
    connectTimer->stop();
    connected = true;
    armLoss();
    emit opened();
}

void NetworkLink::refuseOpening(QAbstractSocket::SocketError error, const QString &reason)
{
    const QString refusal = refusalText(error, reason);
    close();
    emit refused(refusal);
}

void NetworkLink::close()
{
    opening = false;
    connectTimer->stop();
    connected = false;
    // Drops what the socket holds; what the system has already taken still
    // reaches the printer, whole.
    socket->abort();
}

qint64 NetworkLink::bytesQueued() const
{
    qint64 queued = socket->bytesToWrite();
    int inSystem = 0;
    if (socket->state() == QAbstractSocket::ConnectedState
        && ::ioctl(int(socket->socketDescriptor()), SIOCOUTQ, &inSystem) == 0)
        queued += inSystem;
    return queued;
}

void NetworkLink::handleError(QAbstractSocket::SocketError error)
{
    if (opening) {
        refuseOpening(error, socket->errorString());
        return;
    }
    // While open() waits, its refusal says what went wrong; a wait that
    // timed out (waitForBytesWritten, say) leaves the connection as it was.
    if (!connected || error == QAbstractSocket::SocketTimeoutError || error == QAbstractSocket::TemporaryError)
        return;
    connected = false;
    const QString reason = error == QAbstractSocket::RemoteHostClosedError ? tr("the printer closed the connection.")
                                                                           : socket->errorString();
    reportLost(address() + QStringLiteral(": ") + reason + u'\n'
               + tr("The printer was switched off or restarted, or the network went away. Connect again when it "
                    "is back."));
}

} // namespace serial
