#include "decoder/commandlog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvp {

QString hexBytes(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex(' ')).toUpper(); }

QString LogEntry::format() const
{
    QString off =
        offset == noOffset ? QStringLiteral("--------") : QStringLiteral("%1").arg(offset, 8, 10, QLatin1Char('0'));
    QString hex = hexBytes(bytes);
    if (moreBytes > 0)
        hex += QStringLiteral(" ... (+%1 bytes)").arg(moreBytes);
    QString line = QStringLiteral("%1  %2  %3").arg(off, hex.leftJustified(30), name.leftJustified(18));
    if (!args.isEmpty())
        line += QLatin1Char(' ') + args;
    while (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    return line;
}

void LogSink::note(const QString &name, const QString &text)
{
    LogEntry e;
    e.name = name;
    e.args = text;
    add(e);
}

QStringList MemoryLog::lines(bool withEvents) const
{
    QStringList out;
    for (const LogEntry &e : entryList)
        if (withEvents || e.offset != LogEntry::noOffset)
            out << e.format();
    return out;
}

bool MemoryLog::contains(const QString &name) const
{
    for (const LogEntry &e : entryList)
        if (e.name == name)
            return true;
    return false;
}

FileLog::FileLog(const QString &path, qint64 maxBytes)
    : file(path)
    , limit(maxBytes)
{
    const QByteArray encoded = QFile::encodeName(path);
    struct stat old
    { };
    if (lstat(encoded.constData(), &old) == 0 && S_ISREG(old.st_mode) && old.st_size >= limit)
        ::rename(encoded.constData(), (encoded + ".old").constData());
    // Never through a link, and never a FIFO or device that could block.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat st
    { };
    if (fd < 0) {
        openError = QStringLiteral("cannot open the log %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
    } else if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        openError = QStringLiteral("the log %1 is not a regular file").arg(path);
        ::close(fd);
    } else {
        file.open(fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text, QFileDevice::AutoCloseHandle);
        size = st.st_size;
    }
}

void FileLog::add(const LogEntry &entry)
{
    if (!file.isOpen() || capped)
        return;
    const QByteArray line = entry.format().toUtf8() + '\n';
    if (size + line.size() > limit) {
        capped = true;
        LogEntry last;
        last.name = QStringLiteral("log");
        last.args = QStringLiteral("log full (%1 MB): later lines are not written").arg(limit >> 20);
        pending += last.format().toUtf8() + '\n';
        return;
    }
    size += line.size();
    pending += line;
    if (pending.size() >= 1 << 20)
        flush();
}

void FileLog::flush()
{
    if (pending.isEmpty() || !file.isOpen())
        return;
    file.write(pending);
    file.flush();
    pending.clear();
}

namespace {
bool sameButOffset(const LogEntry &a, const LogEntry &b)
{
    return a.name == b.name && a.bytes == b.bytes && a.moreBytes == b.moreBytes && a.args == b.args;
}
} // namespace

void FoldingLog::add(const LogEntry &entry)
{
    if (holding && sameButOffset(held, entry)) {
        ++repeats;
        repeatedSinceCheck = true;
        return;
    }
    flush();
    held = entry;
    holding = true;
}

void FoldingLog::flushIdle()
{
    if (!repeatedSinceCheck)
        flush();
    repeatedSinceCheck = false;
}

void FoldingLog::flush()
{
    if (!holding)
        return;
    holding = false;
    if (repeats > 0) {
        // Digits grouped by thousands with a space, as the controller's counts are read.
        QString count = QString::number(repeats + 1);
        for (int at = static_cast<int>(count.size()) - 3; at > 0; at -= 3)
            count.insert(at, QLatin1Char(' '));
        held.args = (held.args.isEmpty() ? QString() : held.args + QLatin1Char(' ')) + QString::fromUtf8("× ") + count;
    }
    repeats = 0;
    downstream->add(held);
}

void FanOutLog::add(const LogEntry &entry)
{
    for (LogSink *s : sinks)
        s->add(entry);
    if (callback)
        callback(entry);
}

} // namespace kvp
