#include "flashstore.h"

#include "controllerinfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace kvp {

namespace {
const QByteArray kKey = "head-type=";
}

FlashStore::FlashStore(const QString &path)
    : m_path(path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (!line.startsWith(kKey))
            continue;
        bool ok = false;
        const int value = line.mid(kKey.size()).toInt(&ok);
        if (ok && kvp::headType(value))
            m_headType = value;
    }
}

bool FlashStore::setHeadType(int type)
{
    if (!kvp::headType(type))
        return false;
    m_headType = type;
    if (m_path.isEmpty())
        return true;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("# Kivo virtual printer: controller flash\n");
    file.write(kKey + QByteArray::number(type) + '\n');
    return file.commit();
}

} // namespace kvp
