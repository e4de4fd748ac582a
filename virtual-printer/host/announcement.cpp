#include "announcement.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kvp {

QString defaultAnnouncementFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/kivo-virtual-printers");
    return QStringLiteral("/tmp/kivo-virtual-printers-%1").arg(getuid());
}

namespace {

// The folder exists, or is made, as a folder of this user's that others
// cannot write: announcements from anyone else would be listed as ports.
bool ownFolder(const QString &folder, QString *error)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        *error = QStringLiteral("cannot make %1: %2").arg(folder, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    struct stat st
    { };
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()
        || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        *error = QStringLiteral("%1 is not a folder of this user's alone; the link is not announced").arg(folder);
        return false;
    }
    return true;
}

// Announcements of printers that ended without withdrawing them (a crash,
// kill -9) go.
void removeStale(QDir folder)
{
    for (const QString &name : folder.entryList(QDir::Files)) {
        bool ok = false;
        const qint64 pid = name.section(u'-', 0, 0).toLongLong(&ok);
        if (ok && pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            folder.remove(name);
    }
}

} // namespace

bool Announcement::announce(const QString &folder, const QString &linkPath, QString *error)
{
    withdraw();
    if (!ownFolder(folder, error))
        return false;
    const QDir dir(folder);
    removeStale(dir);
    // Several printers may run in one process (tests do).
    static std::atomic<int> serial{0};
    const QString path = dir.filePath(QStringLiteral("%1-%2").arg(getpid()).arg(++serial));
    // Written whole or not at all: a reader never sees half an announcement.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)
        || out.write(QStringLiteral("pid %1\nlink %2\n").arg(getpid()).arg(linkPath).toUtf8()) < 0 || !out.commit()) {
        *error = QStringLiteral("cannot announce the link in %1: %2").arg(folder, out.errorString());
        return false;
    }
    file = path;
    return true;
}

void Announcement::withdraw()
{
    if (!file.isEmpty())
        QFile::remove(file);
    file.clear();
}

} // namespace kvp
