#include "serial/filesource.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace serial {

namespace {

class FileSource : public CommandSource
{
public:
    FileSource(qsizetype pieceBytes, qint64 sizeAtOpen)
        : piece(qMax(qsizetype(1), pieceBytes))
        , size(sizeAtOpen)
    { }
    QFile file;

    // The size the file had when it was opened, until its end shows the true one.
    qint64 total() const override { return ended ? done : qMax(size, done); }
    bool atEnd() const override { return ended; }
    bool next(printer::Command &command, QString &error) override
    {
        const QByteArray bytes = file.read(piece);
        if (bytes.isEmpty()) {
            ended = true;
            // QFile reports a failed read as an empty result with an error.
            if (file.error() != QFileDevice::NoError)
                error = QCoreApplication::translate("serial", "the file could not be read: %1").arg(file.errorString());
            return false;
        }
        done += bytes.size();
        command = printer::Command{{bytes}};
        return true;
    }

private:
    qsizetype piece;
    qint64 size;
    qint64 done = 0;
    bool ended = false;
};

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QCoreApplication::translate("serial", "a folder");
    if (S_ISFIFO(mode))
        return QCoreApplication::translate("serial", "a FIFO");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QCoreApplication::translate("serial", "a device");
    return QCoreApplication::translate("serial", "not a regular file");
}

} // namespace

std::unique_ptr<CommandSource> openFileSource(const QString &path, qsizetype pieceBytes, QString *error)
{
    // Not blocking: opening a FIFO waits for a writer otherwise. The kind is
    // taken from what was opened, not from the name, which may change.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    struct stat st
    { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = QCoreApplication::translate("serial", "it is %1; only regular files are sent").arg(kindOf(st.st_mode));
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto source = std::make_unique<FileSource>(pieceBytes, qint64(st.st_size));
    if (!source->file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *error = source->file.errorString();
        ::close(fd);
        return nullptr;
    }
    return source;
}

} // namespace serial
