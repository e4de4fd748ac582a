#include "pagewriter.h"

#include "pngencoder.h"

#include <QDir>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kvp {

namespace {
QString errnoText() { return QString::fromLocal8Bit(strerror(errno)); }

bool writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            return false;
        done += std::max<ssize_t>(0, n);
    }
    return true;
}

} // namespace

PageWriter::PageWriter(const QString &folder)
    : folderPath(folder)
{ }

PageWriter::~PageWriter()
{
    if (lockFd >= 0)
        ::close(lockFd);
}

bool PageWriter::open(QString *error)
{
    if (!QDir().mkpath(folderPath)) {
        *error = QStringLiteral("cannot create the output folder %1").arg(folderPath);
        return false;
    }
    const QString lockPath = QDir(folderPath).filePath(QStringLiteral(".kivo-virtual-printer.lock"));
    lockFd =
        ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (lockFd < 0) {
        *error = QStringLiteral("cannot write to the output folder %1 (%2: %3)").arg(folderPath, lockPath, errnoText());
        return false;
    }
    if (flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        *error = QStringLiteral("the output folder %1 is in use by another virtual printer").arg(folderPath);
        return false;
    }
    static const QRegularExpression pattern(QStringLiteral("^page-(\\d+)\\.png$"));
    for (const QString &name : QDir(folderPath).entryList(QDir::AllEntries | QDir::System | QDir::Hidden)) {
        const auto match = pattern.match(name);
        bool ok = false;
        const qint64 number = match.hasMatch() ? match.captured(1).toLongLong(&ok) : 0;
        nextNumber = std::max(nextNumber, ok ? std::min(number, lastNumber) + 1 : 1);
    }
    return true;
}

QString PageWriter::pagePath(qint64 number) const
{
    return QDir(folderPath).filePath(QStringLiteral("page-%1.png").arg(number, 4, 10, QLatin1Char('0')));
}

QByteArray PageWriter::encode(const Page &page) { return encodePagePng(page.image); }

QString PageWriter::store(const QByteArray &png, QString *error)
{
    if (png.isEmpty()) {
        *error = QStringLiteral("the page could not be encoded as PNG");
        return QString();
    }
    for (; nextNumber <= lastNumber; ++nextNumber) {
        QString path = pagePath(nextNumber);
        const QByteArray encoded = QFile::encodeName(path);
        const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST)
            continue; // taken since the start: a file, a folder or a link
        if (fd < 0) {
            *error = QStringLiteral("%1: %2").arg(path, errnoText());
            return QString();
        }
        const bool written = writeAll(fd, png);
        const QString why = errnoText();
        if (::close(fd) != 0 || !written) {
            ::unlink(encoded.constData());
            *error = QStringLiteral("%1: %2").arg(path, written ? errnoText() : why);
            return QString();
        }
        ++nextNumber;
        ++writtenCount;
        return path;
    }
    *error = QStringLiteral("no page number left after %1").arg(pagePath(lastNumber));
    return QString();
}

} // namespace kvp
