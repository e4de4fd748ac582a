#pragma once

// The record of a connection's traffic: every write and every read as it
// happens, with its time and all of its bytes, and for writes the
// controller commands the virtual printer's decoder finds in the outgoing
// stream. The record keeps the latest entries only (so many of them, and so
// many bytes), so a day on the line takes bounded memory; the rest are
// counted as dropped. An observer (a recording to a file, say) sees every
// entry as it is made.

#include "timing/clock.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>

class QIODevice;

namespace traffic {

enum class Direction : quint8 { Out, In };

struct Entry
{
    // The list shows a longer write or read as its first bytes and its size.
    static constexpr int headMax = 16;

    qint64 ms = 0; // since connect
    qint64 size = 0;
    quint64 streamOffset = 0; // where a write starts in the outgoing stream
    QString name;             // the commands that start in this write
    QByteArray bytes;         // all of them
    Direction direction = Direction::Out;

    QByteArray head() const { return bytes.left(headMax); }
    // "  +12.345 s  >  1B 40  |.@|  initialize": the time right-aligned, so
    // that the columns stay in line for more than a day.
    QString format() const;
};

// Every byte of `entry` at the absolute time `at` (ISO 8601 with
// milliseconds and the offset from UTC), sixteen bytes a line: the first
// line with the time, the direction, the size of a longer entry and `names`;
// the others under its bytes.
QString fullText(const Entry &entry, const QDateTime &at, const QString &names);

class Record
{
public:
    static constexpr std::size_t defaultCapacity = 100000;
    // About a quarter of an hour of the fastest line, both ways.
    static constexpr qint64 defaultByteCapacity = qint64(32) << 20;

    // Sees the record as it grows.
    class Observer
    {
    public:
        virtual ~Observer() = default;
        // `entry` was just made. `begunAbove` names the commands that this
        // write ends but an earlier one started (the entry where they start
        // has been seen already).
        virtual void added(const Record &record, const Entry &entry, const QString &begunAbove) = 0;
        // The connection ended.
        virtual void ended() = 0;
    };

    explicit Record(std::size_t capacity = defaultCapacity, qint64 byteCapacity = defaultByteCapacity);
    ~Record();
    Record(const Record &) = delete;
    Record &operator=(const Record &) = delete;

    // Times are measured on `clock` from the wall time that `wallNow` gives
    // at start() (a steady clock: a change of the system's time in the
    // middle of a session does not make entries go back).
    void setClocks(timing::Clock &clock, std::function<QDateTime()> wallNow);
    void setObserver(Observer *observer) { watcher = observer; }

    // A new connection: an empty record, the clock at zero, a fresh stream.
    void start();
    // The connection is gone; the record stays as it is.
    void end();
    void written(const char *data, qint64 size);
    void read(const QByteArray &bytes);
    // Empties the record; the clock and the stream go on.
    void clear();

    // Entries are numbered from the start; those before firstIndex() are
    // gone (dropped or cleared).
    quint64 firstIndex() const { return first; }
    quint64 endIndex() const { return first + entries.size(); }
    const Entry &at(quint64 index) const { return entries[std::size_t(index - first)]; }
    std::size_t size() const { return entries.size(); }
    quint64 dropped() const { return droppedCount; }
    // Goes up whenever an entry is added or named.
    quint64 revision() const { return changes; }
    // The wall time of `ms` since connect, and of now.
    QDateTime wallTime(qint64 ms) const { return startWall.addMSecs(ms); }
    QDateTime wallNow() const { return wallTime(clock->nowMs() - startMs); }

    // Every entry in full, after a line that counts the dropped ones.
    bool writeTo(QIODevice &out) const;

private:
    class Namer;
    friend class Namer;

    Entry &add(Direction direction, const char *data, qint64 size);
    void name(quint64 offset, const QString &command);

    std::size_t capacity;
    qint64 byteCapacity;
    std::deque<Entry> entries;
    qint64 bytesKept = 0;
    quint64 first = 0;
    quint64 droppedCount = 0;
    quint64 changes = 0;
    quint64 outOffset = 0;
    timing::Clock *clock = &timing::Clock::system();
    std::function<QDateTime()> wallClock;
    QDateTime startWall;
    qint64 startMs = 0;
    std::unique_ptr<Namer> namer;
    Observer *watcher = nullptr;
    // Names found for earlier writes while the decoder reads this one.
    QString begunAbove;
};

} // namespace traffic
