#pragma once

// The network kind of link: the raw print port of a network printer (TCP,
// 9100 by convention). The printer's replies come back on the same
// connection; a connection that drops is a lost device. startOpening()
// waits for the printer to accept on the event loop, its time-out on the
// link's clock.

#include "serial/link.h"

#include <QAbstractSocket>

#include <memory>

class QTcpSocket;

namespace serial {

class NetworkLink : public Link
{
    Q_OBJECT

public:
    NetworkLink(const QString &host, quint16 port, int connectTimeoutMs = networkConnectTimeoutMs,
                QObject *parent = nullptr, timing::Clock &clock = timing::Clock::system());

    // Waits up to the connect time-out for the printer to accept.
    bool open(QString *refusal) override;
    void startOpening() override;
    void close() override;
    QIODevice *device() const override;
    double bytesPerSecond() const override { return 0; }
    QString displayName() const override;
    // The socket's buffer and what the system has not yet seen the printer
    // take (sent but unacknowledged, or not sent).
    qint64 bytesQueued() const override;

private:
    void handleError(QAbstractSocket::SocketError error);
    void finishOpening();
    void refuseOpening(QAbstractSocket::SocketError error, const QString &reason);
    QString refusalText(QAbstractSocket::SocketError error, const QString &reason) const;
    QString address() const;

    QTcpSocket *socket;
    QString host;
    quint16 port;
    int timeoutMs;
    std::unique_ptr<timing::Timer> connectTimer;
    bool opening = false; // startOpening() waits for the printer
    bool connected = false;
};

} // namespace serial
