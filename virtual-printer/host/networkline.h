#pragma once
// The controller's network port, as on a network receipt printer (port 9100
// in the field): raw print jobs over TCP, one connection at a time. A second
// connection waits in the system's listen queue until the current one has
// ended, then it is served. Its bytes go into the same receive buffer as the
// serial line's, so the decoder sees one stream. Flow control is TCP's own:
// while the buffer holds its sender (or is full) the socket is not read, its
// receive window fills and the sender waits. Replies go back on the
// connection whose bytes held the query. A client that shuts down only its
// sending side still gets its answers: the connection ends once the engine
// has answered all its bytes. One that sends and reads nothing for the idle
// time is dropped, so that it cannot hold the port for ever.

#include "tcpsocket.h"
#include "virtualprinter.h"

#include "timing/clock.h"

#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

namespace kvp {

class NetworkLine : public QObject
{
public:
    // `idleMs`: silence after the last byte or answer that ends a connection,
    // measured on `clock`.
    NetworkLine(LogSink *logSink, timing::Clock &clock, int idleMs, QObject *parent = nullptr);
    ~NetworkLine() override;

    // Binds the port; false with the reason when the address cannot be had.
    bool listen(const QString &address, quint16 port, QString *error);

    // The line that drives the printer: its clock in milliseconds, and a
    // wake-up to work off bytes the network port has put in.
    struct Driver
    {
        std::function<qint64()> now;
        std::function<void()> wake;
    };
    // Starts serving connections into `virtualPrinter`. Replies for the
    // serial line go on to the transmit path it had before.
    void attach(VirtualPrinter &virtualPrinter, Driver driver);
    // Stops serving; returns `serialTail` followed by what the connection has
    // delivered (up to drainKeep bytes), and keeps track of whose bytes are
    // whose. What is beyond that, and what connections still waiting their
    // turn had sent, is read and counted in bytesDropped().
    QByteArray drain(const QByteArray &serialTail);
    // Sends what the connection can take now and closes it.
    void close();

    // "ADDRESS:PORT" the port listens on.
    QString endpoint() const { return listener.endpoint(); }
    // Bytes clients had delivered that the stop left undecoded.
    uint64_t bytesDropped() const { return dropped; }

    // What a stop still decodes of a connection; in pieces of 128 bytes
    // within the stop's deadline.
    static constexpr qsizetype drainKeep = qsizetype(1) << 20;

private:
    // Bytes of the received stream up to `end` came from `origin`
    // (0: the serial line, n: the n-th connection).
    struct Segment
    {
        uint64_t end;
        int origin;
    };

    void acceptNext();
    void readConnection();
    void poll();
    void idleExpired();
    void touch();
    bool answered(uint64_t end) const;
    size_t room() const;
    void markThrough(uint64_t end, int origin);
    int originOf(uint64_t position);
    void reply(const QByteArray &bytes);
    void endConnection(const QString &why);
    uint64_t collect(TcpConnection &client, QByteArray *tail);
    void dropWaiting();
    void note(const QString &text);

    LogSink *log;
    TcpListener listener;
    QTimer retry;
    std::unique_ptr<timing::Timer> idleTimer;
    int idleLimitMs;
    VirtualPrinter *printer = nullptr;
    Driver line;
    std::function<void(const QByteArray &)> serialReply;
    TcpConnection *connection = nullptr;
    int connectionNumber = 0;
    uint64_t connectionBytes = 0;
    bool finishing = false;     // the client has sent all it will
    uint64_t connectionEnd = 0; // where its bytes so far end in the stream
    bool stopped = false;
    uint64_t marked = 0;
    std::deque<Segment> segments;
    uint64_t dropped = 0;
};

} // namespace kvp
