#pragma once
// The arguments of a decoded command in words, as the command log shows them.

#include "decoder/commands.h"

#include <QByteArray>
#include <QString>

namespace kvp {

// `dataHead` holds the first bytes of the command's data block, if it has one.
QString describeCommand(const DecodedCommand &command, const QByteArray &dataHead);

} // namespace kvp
