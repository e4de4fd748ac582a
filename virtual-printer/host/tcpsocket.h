#pragma once
// TCP for the network port on plain socket descriptors. QTcpSocket closes the
// whole connection as soon as the client shuts down its sending side, but
// print clients that do so (nc -N, many spoolers) still read the answers to
// their queries; here reading ends at the client's end of data while
// answers still go out. The listening socket is plain too, so that a
// connection is taken from the system's queue only when it is served.

#include "replyqueue.h"

#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace kvp {

// "multicast" or "broadcast" for an address the system lets a socket listen
// on though no client can connect to it; empty for any other.
QString unconnectableKind(const QHostAddress &address);

class TcpListener
{
public:
    TcpListener() = default;
    ~TcpListener() { close(); }
    TcpListener(const TcpListener &) = delete;
    TcpListener &operator=(const TcpListener &) = delete;

    // False with the system's reason when the address or port cannot be had.
    bool listen(const QHostAddress &address, quint16 port, QString *reason);
    void close();
    // The next connection waiting in the system's queue; -1 when none is.
    int accept();
    // While on, `onIncoming` is called when a connection waits.
    void watch(bool on);
    // "ADDRESS:PORT", the address in brackets for IPv6.
    QString endpoint() const;

    std::function<void()> onIncoming;

private:
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
};

// One client's connection. A QObject so that it can be deleted later when it
// ends inside one of its own notifications.
class TcpConnection : public QObject
{
public:
    explicit TcpConnection(int descriptor, QObject *parent = nullptr);
    ~TcpConnection() override { close(); }

    // "ADDRESS port PORT" of the client.
    QString peer() const { return peerName; }
    // Reads at most `max` bytes; 0 when none wait now or the client has finished sending.
    qint64 read(uint8_t *out, qint64 max);
    // Bytes the system holds for reading.
    qint64 waiting() const;
    // The client has sent all it will (it shut down its sending side, closed
    // or reset the connection).
    bool doneSending() const { return endOfData; }
    // Nothing more can reach the client.
    bool broken() const { return failed; }
    // While on, `onReadable` is called when bytes or the end of data arrive.
    void watchReads(bool on);

    // Queues an answer; false (and counted as lost) when it does not fit the
    // transmit buffer. What the system does not take now goes out as it can.
    bool send(const QByteArray &bytes);
    bool hasUnsent() const { return !replies.isEmpty(); }
    uint64_t repliesLost() const { return replies.lost() + unsentDropped; }
    // Drops what is unsent (counted as lost) and closes the descriptor.
    void close();

    std::function<void()> onReadable;
    // Some answer bytes went out.
    std::function<void()> onSent;

private:
    void flush();
    void dropUnsent();

    int fd;
    QString peerName;
    ReplyQueue replies;
    uint64_t unsentDropped = 0;
    bool endOfData = false;
    bool failed = false;
    QSocketNotifier readNotifier;
    QSocketNotifier writeNotifier;
};

} // namespace kvp
