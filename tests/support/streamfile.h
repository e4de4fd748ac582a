#pragma once

// The expected byte streams of tests/data, read back. A stream is written one
// command a line in the notation of support/streamnotation.h, read with
// picturePayload for <name.pbm>.

#include "support/streamnotation.h"

namespace streamfile {

// <name.pbm>: the raster payload of that picture in demos/pictures.
QByteArray picturePayload(const QString &name, QString *error);

// What the window showed and sent, one entry each: "> " and a console line,
// or "w " and the hex of one write call.
QString consoleEntry(const QString &line);
QString writeEntry(const QByteArray &write);

// Where two transcripts first differ, shortened for a readable failure.
QString firstDifference(const QStringList &actual, const QStringList &expected);

} // namespace streamfile
