#include "flashstore.h"

#include "decoder/controllerinfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvp {

namespace {
const QByteArray headTypeKey = "head-type=";
}

QString FlashStore::problem(const QString &path)
{
    if (path.isEmpty())
        return QString();
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return QStringLiteral("the flash %1 is not a regular file").arg(path);
    if (info.exists() && !info.isWritable())
        return QStringLiteral("the flash %1 cannot be written").arg(path);
    const QString folder = info.absolutePath();
    if (!QDir().mkpath(folder) || ::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return QStringLiteral("the flash %1 cannot be written: no writable folder %2").arg(path, folder);
    return QString();
}

FlashStore::FlashStore(const QString &path)
    : filePath(path)
{
    // At most a few kB, and only of a regular file: a device or a FIFO
    // given by mistake must not hang or flood the start.
    const int fd = path.isEmpty() ? -1 : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st
    { };
    QByteArray text(4096, 0);
    const ssize_t n = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ::read(fd, text.data(), 4096) : 0;
    if (fd >= 0)
        ::close(fd);
    text.truncate(std::max<ssize_t>(0, n));
    for (const QByteArray &raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (!line.startsWith(headTypeKey))
            continue;
        bool ok = false;
        const int value = line.mid(headTypeKey.size()).toInt(&ok);
        if (ok && kvp::headType(value)) {
            storedType = value;
            written = true;
        }
    }
}

bool FlashStore::setHeadType(int type)
{
    if (!kvp::headType(type))
        return false;
    if (type == storedType && written)
        return true; // the controller leaves its flash alone when nothing changes
    storedType = type;
    if (filePath.isEmpty())
        return true;
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("# Kivo virtual printer: controller flash\n");
    file.write(headTypeKey + QByteArray::number(type) + '\n');
    written = file.commit();
    return written;
}

} // namespace kvp
