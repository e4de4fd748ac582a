#pragma once

// The test process's own memory, as the system counts it.

#include <QByteArray>
#include <QFile>

// Resident memory now ("VmRSS:") or the most since the peak was last reset
// ("VmHWM:"), in MB; -1 when the system does not tell.
inline double residentMb(const QByteArray &key = "VmRSS:")
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}
