#pragma once

// The record of a connection's traffic: every write and every read as it
// happens, with the time since connect, its first bytes and its size, and
// for writes the controller commands the virtual printer's decoder finds in
// the outgoing stream. The record keeps the latest entries only, so a day
// on the line takes bounded memory; the rest are counted as dropped.

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <array>
#include <cstddef>
#include <deque>
#include <memory>

class QIODevice;

namespace traffic {

enum class Direction : quint8 { Out, In };

struct Entry
{
    // A longer write or read is kept as its first bytes and its size.
    static constexpr int headMax = 16;

    qint64 ms = 0; // since connect
    qint64 size = 0;
    quint64 streamOffset = 0; // where a write starts in the outgoing stream
    QString name;             // the commands that start in this write
    std::array<char, headMax> headBytes{};
    quint8 headSize = 0;
    Direction direction = Direction::Out;

    QByteArray head() const { return QByteArray(headBytes.data(), headSize); }
    // "+12.345 s  >  1B 40  |.@|  initialize"
    QString format() const;
};

class Record
{
public:
    static constexpr std::size_t defaultCapacity = 100000;

    explicit Record(std::size_t capacity = defaultCapacity);
    ~Record();
    Record(const Record &) = delete;
    Record &operator=(const Record &) = delete;

    // A new connection: an empty record, the clock at zero, a fresh stream.
    void start();
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

    // One line per entry, after a line that counts the dropped ones.
    bool writeTo(QIODevice &out) const;

private:
    class Namer;
    friend class Namer;

    Entry &add(Direction direction, const char *data, qint64 size);
    void name(quint64 offset, const QString &command);

    std::size_t capacity;
    std::deque<Entry> entries;
    quint64 first = 0;
    quint64 droppedCount = 0;
    quint64 changes = 0;
    quint64 outOffset = 0;
    QElapsedTimer clock;
    std::unique_ptr<Namer> namer;
};

} // namespace traffic
