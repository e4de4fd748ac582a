#pragma once

// What a run of kivo-send did: the exit status with its meaning, and each
// action's outcome and reply, as text for people or as one JSON object.

#include <QByteArray>
#include <QList>
#include <QString>

namespace script {

enum ExitStatus : int {
    Done = 0,
    Failed = 1, // an action was refused, or a request had no answer
    BadArguments = 2,
    Unreachable = 3, // no such port, nothing listening, refused
    Lost = 4,        // the link went away in the middle
    Interrupted = 130,
};

struct ActionResult
{
    QString action;
    QString name;
    qint64 bytes = 0;
    qint64 sent = 0;
    // "sent", "stopped", "lost", "no answer", "not run"
    QString outcome = QStringLiteral("not run");
    QByteArray reply;
};

struct RunResult
{
    ExitStatus status = Done;
    QString link;
    QString error;
    QList<ActionResult> actions;
};

// "done", "failed", "bad arguments", "unreachable", "lost", "interrupted".
QString statusName(ExitStatus status);

// The whole result as one JSON object, ending in a newline.
QByteArray resultJson(const RunResult &result);

// An answer as the console shows it, ending in a line end.
QString replyLine(const QByteArray &reply);

// The progress line of a long action: bytes, share and time left.
QString progressLine(const QString &name, qint64 sent, qint64 total, qint64 msLeft);

} // namespace script
