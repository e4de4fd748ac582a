#include "script/sendresult.h"

#include "serial/replytext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace script {

QString statusName(ExitStatus status)
{
    switch (status) {
    case Done: return QStringLiteral("done");
    case Failed: return QStringLiteral("failed");
    case BadArguments: return QStringLiteral("bad arguments");
    case Unreachable: return QStringLiteral("unreachable");
    case Lost: return QStringLiteral("lost");
    case Interrupted: return QStringLiteral("interrupted");
    }
    return {};
}

QByteArray resultJson(const RunResult &result)
{
    QJsonArray actions;
    for (const ActionResult &a : result.actions) {
        QJsonObject action{
            {"action", a.action}, {"name", a.name}, {"bytes", a.bytes}, {"sent", a.sent}, {"outcome", a.outcome}};
        if (!a.reply.isEmpty()) {
            action.insert("reply", replyLine(a.reply).chopped(1));
            action.insert("replyHex", QString::fromLatin1(a.reply.toHex(' ').toUpper()));
        }
        actions.append(action);
    }
    QJsonObject root{{"exitStatus", int(result.status)},
                     {"outcome", statusName(result.status)},
                     {"link", result.link},
                     {"actions", actions}};
    if (!result.error.isEmpty())
        root.insert("error", result.error);
    return QJsonDocument(root).toJson(QJsonDocument::Compact) + '\n';
}

QString replyLine(const QByteArray &reply)
{
    serial::ReplyText text;
    QString line = text.decode(reply) + text.flush();
    if (!line.endsWith(u'\n'))
        line += u'\n';
    return line;
}

QString progressLine(const QString &name, qint64 sent, qint64 total, qint64 msLeft)
{
    const int percent = total > 0 ? int(sent * 100 / total) : 100;
    QString line = QStringLiteral("%1: %2 of %3 bytes (%4%)").arg(name).arg(sent).arg(total).arg(percent);
    if (msLeft >= 0)
        line += QStringLiteral(", %1 s left").arg(double(msLeft) / 1000, 0, 'f', 1);
    return line;
}

} // namespace script
