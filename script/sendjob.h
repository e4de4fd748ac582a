#pragma once

// An action of kivo-send as the commands the window sends for it: a
// demonstration from the named table, a picture in raster bands, a file in
// pieces, a Command tab line. Built before the printer is reached, so that
// an action that cannot go refuses before any byte is sent.

#include "demos/catalogue.h"
#include "script/sendoptions.h"
#include "serial/transfer.h"

#include <memory>
#include <optional>
#include <vector>

namespace script {

struct Job
{
    QString action; // "demo", "picture", "file", "hex", "text"
    QString name;   // the demonstration, the file, the line
    std::unique_ptr<serial::CommandSource> source;
    qint64 bytes = 0;
    // The controller answers it (Version, Status, a typed request).
    bool asksForAnswer = false;
    // The dots a line of the print head type it stores, if it stores one;
    // a picture's width.
    int headDots = 0;
    int pictureWidth = 0;
};

// `baudRate` sizes the pieces as the window does for that line (0: a link
// without a line rate). `session` carries what one demonstration chooses
// for the next ones. Null with the reason in `error` when it cannot go.
std::optional<Job> buildJob(const Action &action, qint32 baudRate, demos::Session &session, QString *error);

// Every action in order; stops at the first that cannot go.
std::vector<Job> buildJobs(const QList<Action> &actions, qint32 baudRate, QString *error);

// The --list-demos text: one "name  description" line each.
QString demoList();

} // namespace script
