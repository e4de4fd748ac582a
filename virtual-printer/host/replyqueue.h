#pragma once
// The controller's transmit buffer. Replies wait here until the line takes
// them; what is written leaves the queue at once, so every byte goes out
// exactly once and in order. XON and XOFF jump the queue, as a UART sends
// them between two bytes of whatever else is going out. The buffer has a
// fixed size: a reply that does not fit whole is dropped and counted.

#include <QByteArray>

#include <cstdint>

namespace kvp {

class ReplyQueue
{
public:
    static constexpr int defaultCapacity = 4096;

    explicit ReplyQueue(int capacity = defaultCapacity)
        : size(capacity)
    { }

    // False (and the reply counted as lost) when it does not fit whole.
    bool push(const QByteArray &reply);
    void pushControl(char byte) { control += byte; }
    // What the line should take next: control bytes first.
    QByteArray front() const { return control + data; }
    // The line took `count` bytes of front().
    void consumed(qsizetype count);
    // Forgets the queued replies (the host has gone); control bytes stay.
    void dropReplies() { data.clear(); }

    bool isEmpty() const { return control.isEmpty() && data.isEmpty(); }
    int capacity() const { return size; }
    uint64_t lost() const { return lostBytes; }

private:
    int size;
    QByteArray control;
    QByteArray data;
    uint64_t lostBytes = 0;
};

} // namespace kvp
