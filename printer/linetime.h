#pragma once

// How much a serial line carries in a given time: ten bits a byte (start,
// eight data bits, stop). Long sends cut their work to this measure.

#include <QtGlobal>

namespace printer {

constexpr double lineBytesPerSecond(qint32 baudRate) { return baudRate > 0 ? baudRate / 10.0 : 0.0; }

// A quarter second of line time: the most a long send puts in one command,
// so that a stop waits little for the command on its way.
constexpr qsizetype quarterSecondBytes(qint32 baudRate) { return baudRate > 0 ? qsizetype(baudRate) / 40 : 0; }

} // namespace printer
