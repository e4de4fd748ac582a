#pragma once

// A file sent as it stands: pieces read as the line takes them, so that
// memory stays flat whatever the file's size.

#include "serial/transfer.h"

#include <QString>

#include <memory>

namespace serial {

// Opens `path` for sending in pieces of `pieceBytes`. Only a regular file is
// taken: a FIFO would hold the window until a writer comes, a device may
// never end. Null with the reason in `error` otherwise.
std::unique_ptr<CommandSource> openFileSource(const QString &path, qsizetype pieceBytes, QString *error);

} // namespace serial
