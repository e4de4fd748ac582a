#include "serial/lineout.h"

#include "printer/commands.h"
#include "serial/controllermodel.h"
#include "serial/link.h"

#include <QIODevice>

namespace serial {

bool LineOut::isOpen() const { return line->isOpen(); }

void LineOut::useLink(const Link &link)
{
    setDevice(link.device(), link.bytesPerSecond(), [&link] { return link.bytesQueued(); });
}

qint64 LineOut::queued() const { return queueOf ? queueOf() : bytesQueued(line); }

void LineOut::put(const char *data, qint64 size)
{
    const qint64 taken = line->write(data, size);
    if (observer && taken > 0)
        observer(data, taken);
}

void LineOut::write(const char *data, qint64 size) { put(data, size); }

void LineOut::send(const printer::Command &command)
{
    for (const QByteArray &bytes : command.writes)
        put(bytes.constData(), bytes.size());
    // The no-buffer form of a data block: 00 bytes, one write each.
    for (quint64 i = 0; i < command.zeroFillWrites; ++i)
        put("", 1);
}

} // namespace serial
