#pragma once
// The decoded command log: one entry per command, text run, skipped bytes or
// event, with the stream offset, the bytes (long data blocks abbreviated), a
// short name and the arguments.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace kvp {

struct LogEntry
{
    static constexpr int64_t noOffset = -1;
    int64_t offset = noOffset; // position in the decoded stream; events have none
    QByteArray bytes;          // the first bytes of the entry
    uint64_t moreBytes = 0;    // bytes of the entry not held in `bytes`
    QString name;
    QString args;

    QString format() const;
};

class LogSink
{
public:
    virtual ~LogSink() = default;
    virtual void add(const LogEntry &entry) = 0;

    void note(const QString &name, const QString &text);
};

// Keeps every entry; for tests and the window.
class MemoryLog : public LogSink
{
public:
    void add(const LogEntry &entry) override { entryList.push_back(entry); }
    const std::vector<LogEntry> &entries() const { return entryList; }
    QStringList lines(bool withEvents = true) const;
    bool contains(const QString &name) const;
    void clear() { entryList.clear(); }

private:
    std::vector<LogEntry> entryList;
};

// Appends formatted lines to a file, buffered until flush(). The file is
// opened without following a link and must be a regular file. It stops
// growing at `maxBytes`: a log that reached it in an earlier run is kept as
// PATH.old and started afresh, and in this run the last line says where it
// stopped.
class FileLog : public LogSink
{
public:
    explicit FileLog(const QString &path, qint64 maxBytes = defaultMaxBytes);
    ~FileLog() override { flush(); }
    bool isOpen() const { return file.isOpen(); }
    QString error() const { return openError; } // why it is not open
    QString path() const { return file.fileName(); }
    void add(const LogEntry &entry) override;
    void flush();
    bool full() const { return capped; }

    static constexpr qint64 defaultMaxBytes = qint64(64) << 20;

private:
    QFile file;
    QString openError;
    QByteArray pending;
    qint64 size = 0;
    qint64 limit;
    bool capped = false;
};

// Folds runs of entries that differ only in their offset into the first
// one, "× N" appended ("LF × 4 194 304"), and passes the rest on. An entry
// is held until the next different one or until flushIdle() finds no new
// repeats since its last call.
class FoldingLog : public LogSink
{
public:
    explicit FoldingLog(LogSink *next)
        : downstream(next)
    { }
    void add(const LogEntry &entry) override;
    void flushIdle();
    void flush();

private:
    LogSink *downstream;
    LogEntry held;
    bool holding = false;
    uint64_t repeats = 0;
    bool repeatedSinceCheck = false;
};

// Passes every entry to several sinks, and to an optional callback.
class FanOutLog : public LogSink
{
public:
    void addSink(LogSink *sink) { sinks.push_back(sink); }
    std::function<void(const LogEntry &)> callback;
    void add(const LogEntry &entry) override;

private:
    std::vector<LogSink *> sinks;
};

QString hexBytes(const QByteArray &bytes);

} // namespace kvp
