#pragma once
// The controller's network port, as on a network receipt printer (port 9100
// in the field): raw print jobs over TCP, one connection at a time. A second
// connection waits in the listen queue until the current one closes, then it
// is served. Its bytes go into the same receive buffer as the serial line's,
// so the decoder sees one stream. Flow control is TCP's own: while the
// buffer holds its sender (or is full) the socket is not read, its receive
// window fills and the sender waits. Replies go back on the connection whose
// bytes held the query; answers for a connection that has closed are dropped.

#include "linepump.h"
#include "virtualprinter.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <deque>
#include <functional>

class QTcpSocket;

namespace kvp {

class NetworkLine : public QObject
{
    Q_OBJECT
public:
    explicit NetworkLine(LogSink *logSink, QObject *parent = nullptr);
    ~NetworkLine() override;

    // Binds the port; false with the reason when the address cannot be had.
    bool listen(const QString &address, quint16 port, QString *error);
    // Starts serving connections into `virtualPrinter`, whose line pump is
    // woken to work off what arrives. Replies for the serial line go on to
    // the pump's transmit path.
    void attach(VirtualPrinter &virtualPrinter, LinePump &pump);
    // Stops listening; returns `serialTail` followed by what the connection
    // still has unread, and keeps track of whose bytes are whose (for shutdown).
    QByteArray drain(const QByteArray &serialTail);
    // Sends what the connection has not taken yet and closes it.
    void close();

    // "ADDRESS:PORT" the port listens on.
    QString endpoint() const;

    // The socket's own buffer: small, so that holding off reading reaches
    // the kernel's receive window and the sender soon.
    static constexpr qint64 socketBufferSize = 4096;

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
    size_t room() const;
    void markThrough(uint64_t end, int origin);
    int originOfCurrentQuery();
    void reply(const QByteArray &bytes);
    void endConnection();
    void note(const QString &text);

    LogSink *log;
    QTcpServer server;
    QTimer retry;
    VirtualPrinter *printer = nullptr;
    LinePump *linePump = nullptr;
    std::function<void(const QByteArray &)> serialReply;
    QTcpSocket *connection = nullptr;
    int connectionNumber = 0;
    uint64_t connectionBytes = 0;
    uint64_t marked = 0;
    std::deque<Segment> segments;
    uint64_t repliesLost = 0;
};

} // namespace kvp
