#include "flashstore.h"

#include "controllerinfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace kvp {

namespace {
const QByteArray headTypeKey = "head-type=";
}

FlashStore::FlashStore(const QString &path)
    : filePath(path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (!line.startsWith(headTypeKey))
            continue;
        bool ok = false;
        const int value = line.mid(headTypeKey.size()).toInt(&ok);
        if (ok && kvp::headType(value))
            storedType = value;
    }
}

bool FlashStore::setHeadType(int type)
{
    if (!kvp::headType(type))
        return false;
    storedType = type;
    if (filePath.isEmpty())
        return true;
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("# Kivo virtual printer: controller flash\n");
    file.write(headTypeKey + QByteArray::number(type) + '\n');
    return file.commit();
}

} // namespace kvp
