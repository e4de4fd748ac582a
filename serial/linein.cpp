#include "serial/linein.h"

#include <QIODevice>

#include <utility>

namespace serial {

namespace {

// Replies that follow each other this closely share one console update.
constexpr qint64 replyFrameMs = 20;

// The rest of a character comes within a few byte times even at 9600 bit/s;
// after this long, the bytes held back show as hex tokens.
constexpr int partialCharacterMs = 100;

} // namespace

LineIn::LineIn(QObject *parent)
    : QObject(parent)
{
    frameEnd.setSingleShot(true);
    connect(&frameEnd, &QTimer::timeout, this, &LineIn::deliver);
    partialCharacterEnd.setSingleShot(true);
    partialCharacterEnd.setInterval(partialCharacterMs);
    connect(&partialCharacterEnd, &QTimer::timeout, this, &LineIn::giveUpPartialCharacter);
}

void LineIn::read(QIODevice &device, Delivery delivery)
{
    // Each piece read is decoded as it comes, so a status byte shows at once.
    const QByteArray bytes = device.readAll();
    if (observer)
        observer(bytes);
    pending += decoder.decode(bytes);
    if (decoder.holdsPartialCharacter())
        partialCharacterEnd.start();
    else
        partialCharacterEnd.stop();

    // Every console insertion lays out and repaints the console, which costs
    // far more than the decoding: a peer that floods the line would keep the
    // window busy with one update per piece. A piece that comes within a
    // frame of the last update waits for the end of that frame and goes in
    // together with the pieces that follow it, in order. The first piece
    // after a quiet spell goes in at once.
    if (delivery == Delivery::Batched && lastDelivery.isValid() && lastDelivery.elapsed() < replyFrameMs) {
        if (!frameEnd.isActive())
            frameEnd.start(int(replyFrameMs - lastDelivery.elapsed()));
        return;
    }
    deliver();
}

void LineIn::giveUpPartialCharacter()
{
    pending += decoder.flush();
    deliver();
}

void LineIn::deliver()
{
    frameEnd.stop();
    if (pending.isEmpty())
        return;
    emit textArrived(std::exchange(pending, QString()));
    lastDelivery.start();
}

} // namespace serial
