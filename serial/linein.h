#pragma once

// The way in from the line: the controller's replies as console text
// (serial/replytext). Nothing parses them.

#include "serial/replytext.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <utility>

class QIODevice;

namespace serial {

class LineIn : public QObject
{
    Q_OBJECT

public:
    // How soon what was read reaches the console.
    enum class Delivery {
        // As the port announces it: a piece within a frame of the last
        // console update waits for the end of that frame.
        Batched,
        // At once, with anything still waiting (a request showing what has
        // already come in).
        Now,
    };

    explicit LineIn(QObject *parent = nullptr);

    // Reads everything `device` holds; each piece is shown as soon as it is
    // decoded, but for the start of a character whose rest is still due.
    void read(QIODevice &device, Delivery delivery);

    // Sees the bytes of every read before they become text (the Traffic
    // record).
    void setObserver(std::function<void(const QByteArray &)> watch) { observer = std::move(watch); }

signals:
    void textArrived(const QString &text);

private:
    void deliver();
    void giveUpPartialCharacter();

    std::function<void(const QByteArray &)> observer;
    ReplyText decoder;
    QString pending;
    QElapsedTimer lastDelivery;
    QTimer frameEnd;
    QTimer partialCharacterEnd;
};

} // namespace serial
