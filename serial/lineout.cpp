#include "serial/lineout.h"

#include "printer/commands.h"

#include <QIODevice>

namespace serial {

bool LineOut::isOpen() const { return line->isOpen(); }

void LineOut::write(const char *data, qint64 size) { line->write(data, size); }

void LineOut::send(const printer::Command &command)
{
    for (const QByteArray &bytes : command.writes)
        line->write(bytes.constData(), bytes.size());
    // The no-buffer form of a data block: 00 bytes, one write each.
    for (quint64 i = 0; i < command.zeroFillWrites; ++i)
        line->write("", 1);
}

} // namespace serial
