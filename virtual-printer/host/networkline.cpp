#include "networkline.h"

#include "replyqueue.h"

#include <QTcpSocket>

#include <algorithm>

namespace kvp {

NetworkLine::NetworkLine(LogSink *logSink, QObject *parent)
    : QObject(parent)
    , log(logSink)
{
    retry.setSingleShot(true);
    retry.setInterval(LinePump::tickMs);
    connect(&retry, &QTimer::timeout, this, &NetworkLine::readConnection);
}

NetworkLine::~NetworkLine()
{
    if (printer)
        printer->transmit = serialReply;
}

bool NetworkLine::listen(const QString &address, quint16 port, QString *error)
{
    QHostAddress host;
    QString why;
    if (!host.setAddress(address))
        why = QStringLiteral("--tcp-bind %1 is not an IP address").arg(address);
    else if (!server.listen(host, port))
        why = QStringLiteral("cannot listen on %1 port %2: %3").arg(address).arg(port).arg(server.errorString());
    if (error && !why.isEmpty())
        *error = why;
    return why.isEmpty();
}

QString NetworkLine::endpoint() const
{
    const QHostAddress address = server.serverAddress();
    const QString host = address.toString();
    return (address.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2"))
        .arg(host)
        .arg(server.serverPort());
}

void NetworkLine::attach(VirtualPrinter &virtualPrinter, LinePump &pump)
{
    printer = &virtualPrinter;
    linePump = &pump;
    serialReply = printer->transmit;
    printer->transmit = [this](const QByteArray &bytes) { reply(bytes); };
    connect(&server, &QTcpServer::newConnection, this, &NetworkLine::acceptNext);
    acceptNext();
}

// Serves the next waiting connection, if none is open; while one is, new
// ones stay in the listen queue.
void NetworkLine::acceptNext()
{
    if (connection || !printer)
        return;
    connection = server.nextPendingConnection();
    if (!connection) {
        server.resumeAccepting();
        return;
    }
    server.pauseAccepting();
    ++connectionNumber;
    connectionBytes = 0;
    repliesLost = 0;
    connection->setReadBufferSize(socketBufferSize);
    note(QStringLiteral("connection %1 from %2 port %3")
             .arg(connectionNumber)
             .arg(connection->peerAddress().toString())
             .arg(connection->peerPort()));
    connect(connection, &QTcpSocket::readyRead, this, &NetworkLine::readConnection);
    connect(connection, &QTcpSocket::disconnected, this, &NetworkLine::readConnection);
    readConnection();
}

// What the receive buffer takes now: nothing while it holds its sender, and
// no more than brings it to the mark where it starts to, so the hold comes
// at the same fill as on the serial line.
size_t NetworkLine::room() const
{
    const ReceiveBuffer &buffer = printer->buffer();
    if (buffer.holding())
        return 0;
    const size_t free = buffer.capacity() - buffer.size();
    const size_t beforeHold = printer->bytesBeforeHold();
    return beforeHold > 0 ? std::min(free, beforeHold) : free;
}

void NetworkLine::readConnection()
{
    if (!connection)
        return;
    uint8_t chunk[4096];
    bool took = false;
    for (size_t space = room(); space > 0 && connection->bytesAvailable() > 0; space = room()) {
        const qint64 got =
            connection->read(reinterpret_cast<char *>(chunk), static_cast<qint64>(std::min(sizeof chunk, space)));
        if (got <= 0)
            break;
        markThrough(printer->buffer().received(), 0);
        printer->receive(chunk, static_cast<size_t>(got), linePump->now());
        markThrough(printer->buffer().received(), connectionNumber);
        connectionBytes += static_cast<uint64_t>(got);
        took = true;
    }
    if (took)
        linePump->wake();
    if (connection->bytesAvailable() > 0) {
        // The buffer holds: look again once the engine has worked (bytes
        // arriving meanwhile must not put that off).
        if (!retry.isActive())
            retry.start();
    } else if (connection->state() != QAbstractSocket::ConnectedState) {
        endConnection();
    }
}

void NetworkLine::endConnection()
{
    note(QStringLiteral("connection %1 closed after %2 bytes%3")
             .arg(connectionNumber)
             .arg(connectionBytes)
             .arg(repliesLost > 0 ? QStringLiteral(", %1 reply bytes lost").arg(repliesLost) : QString()));
    connection->disconnect(this);
    connection->deleteLater();
    connection = nullptr;
    acceptNext();
}

void NetworkLine::markThrough(uint64_t end, int origin)
{
    if (end <= marked)
        return;
    if (!segments.empty() && segments.back().origin == origin)
        segments.back().end = end;
    else
        segments.push_back({end, origin});
    marked = end;
}

// The source of the byte the decoder has just read: a query is answered
// when the decoder reaches it, later than it arrived.
int NetworkLine::originOfCurrentQuery()
{
    markThrough(printer->buffer().received(), 0);
    const uint64_t decoded = printer->decodedBytes();
    const uint64_t position = decoded > 0 ? decoded - 1 : 0;
    while (!segments.empty() && segments.front().end <= position)
        segments.pop_front();
    return segments.empty() ? 0 : segments.front().origin;
}

void NetworkLine::reply(const QByteArray &bytes)
{
    const int origin = originOfCurrentQuery();
    if (origin == 0) {
        if (serialReply)
            serialReply(bytes);
        return;
    }
    if (!connection || origin != connectionNumber || connection->state() != QAbstractSocket::ConnectedState)
        return; // the connection that asked has closed
    // The same transmit buffer as on the serial line: a client that never
    // reads does not make the program hold its answers without limit.
    if (connection->bytesToWrite() + bytes.size() > ReplyQueue::defaultCapacity) {
        if (repliesLost == 0)
            note(QStringLiteral("transmit buffer full (%1 bytes): replies to connection %2 are being lost")
                     .arg(ReplyQueue::defaultCapacity)
                     .arg(connectionNumber));
        repliesLost += static_cast<uint64_t>(bytes.size());
        return;
    }
    connection->write(bytes);
}

QByteArray NetworkLine::drain(const QByteArray &serialTail)
{
    server.close();
    retry.stop();
    if (!printer)
        return serialTail;
    markThrough(printer->buffer().received(), 0);
    markThrough(marked + static_cast<uint64_t>(serialTail.size()), 0);
    QByteArray tail;
    if (connection) {
        // What the client sent before the stop, but not what it keeps sending.
        connection->setReadBufferSize(0);
        for (bool more = true; more && tail.size() < qsizetype(1024) * 1024; more = connection->waitForReadyRead(0))
            tail += connection->readAll();
        markThrough(marked + static_cast<uint64_t>(tail.size()), connectionNumber);
    }
    return serialTail + tail;
}

void NetworkLine::close()
{
    if (!connection)
        return;
    connection->disconnect(this);
    connection->flush();
    connection->disconnectFromHost();
    connection = nullptr; // the server deletes it
}

void NetworkLine::note(const QString &text)
{
    if (log)
        log->note(QStringLiteral("tcp"), text);
}

} // namespace kvp
