#include "traffic/recording.h"

#include <QFileInfo>

namespace traffic {

namespace {

// A write the system takes in part is continued: the next part is refused
// with the system's reason (a full disk, say).
bool writeAll(QFile &file, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

} // namespace

QString notRegularFile(const QString &path)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return Recording::tr("it is no regular file (a device, a FIFO or a folder), and only a regular file is "
                             "replaced");
    return {};
}

Recording::Recording(Record &record, QObject *parent)
    : QObject(parent)
    , recorded(record)
{
    recorded.setObserver(this);
}

Recording::~Recording()
{
    finish(tr("the program ended"));
    recorded.setObserver(nullptr);
}

QString Recording::start(const QString &path)
{
    finish(QString());
    if (QString why = notRegularFile(path); !why.isEmpty())
        return why;
    file.setFileName(path);
    // Unbuffered: each entry goes to the system as it is made.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text | QIODevice::Unbuffered))
        return file.errorString();
    if (!writeAll(file, tr("Recording started at %1\n").arg(recorded.wallNow().toString(Qt::ISODateWithMs)).toUtf8())) {
        QString why = file.errorString();
        file.close();
        return why;
    }
    emit activeChanged(true);
    return {};
}

void Recording::added(const Record &record, const Entry &entry, const QString &begunAbove)
{
    if (!isActive())
        return;
    QString names = entry.name;
    if (!begunAbove.isEmpty())
        names += (names.isEmpty() ? QString() : QStringLiteral("  ")) + tr("begun above: %1").arg(begunAbove);
    put(fullText(entry, record.wallTime(entry.ms), names));
}

void Recording::ended() { finish(tr("the connection ended")); }

bool Recording::put(const QString &text)
{
    if (writeAll(file, text.toUtf8()))
        return true;
    const QString why = file.errorString();
    file.close();
    emit activeChanged(false);
    emit failed(file.fileName(), why);
    return false;
}

void Recording::finish(const QString &why)
{
    if (!isActive())
        return;
    const QString time = recorded.wallNow().toString(Qt::ISODateWithMs);
    const QString line =
        why.isEmpty() ? tr("Recording stopped at %1\n").arg(time) : tr("Recording stopped at %1: %2\n").arg(time, why);
    if (!put(line))
        return;
    file.close();
    emit activeChanged(false);
}

} // namespace traffic
