#pragma once
// Command-line options of kivo-virtual-printer.

#include "service.h"

#include <QString>
#include <QStringList>

namespace kvp {

struct ProgramOptions
{
    ServiceSettings service;
    bool headless = false;
    bool verbose = false; // log lines also on standard output
};

enum class ParseResult { Run, Help, Error };

QString defaultFlashPath();
ParseResult parseOptions(const QStringList &arguments, ProgramOptions *options, QString *message);

} // namespace kvp
