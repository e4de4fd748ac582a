#include "printer/savedcommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace printer {

namespace {

QString tr(const char *text) { return QCoreApplication::translate("printer", text); }

} // namespace

QByteArray formatSavedCommands(const QList<SavedCommand> &commands)
{
    QByteArray text;
    for (const SavedCommand &command : commands) {
        QString line = command.line;
        line.replace(u'\n', QLatin1String("\\n")).replace(u'\r', QLatin1String("\\r"));
        text += savedName(command.name).toUtf8() + '\t' + line.toUtf8() + '\n';
    }
    return text;
}

SavedCommandsText parseSavedCommands(const QByteArray &text)
{
    SavedCommandsText read;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype number = 1; number <= lines.size(); ++number) {
        QByteArray bytes = lines[number - 1];
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        if (bytes.trimmed().isEmpty())
            continue;
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString line = utf8(bytes);
        const qsizetype tab = line.indexOf(u'\t');
        QString problem;
        if (utf8.hasError())
            problem = tr("not UTF-8 text");
        else if (tab < 0)
            problem = tr("no tab between the name and the command line");
        else if (savedName(line.left(tab)).isEmpty())
            problem = tr("no name before the tab");
        if (problem.isEmpty())
            read.commands.append({savedName(line.left(tab)), line.mid(tab + 1)});
        else
            read.problems.append(tr("line %1: %2").arg(number).arg(problem));
    }
    return read;
}

QString savedName(const QString &name)
{
    QString clean = name;
    for (QChar &c : clean)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return clean.trimmed();
}

std::optional<SavedCommandsText> readSavedCommands(const QString &path, QString *why)
{
    QFile file(path);
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        *why = tr("it is no regular file (a device, a FIFO or a folder)");
    else if (info.size() > savedCommandsFileLimit)
        *why = tr("it is larger than %1 KB, too large for a list of commands").arg(savedCommandsFileLimit / 1024);
    else if (!file.open(QIODevice::ReadOnly))
        *why = file.errorString();
    else
        return parseSavedCommands(file.readAll());
    return std::nullopt;
}

QString writeSavedCommands(const QString &path, const QList<SavedCommand> &commands)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return tr("it is no regular file (a device, a FIFO or a folder), and only a regular file is replaced");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        // The new file is made beside the old one.
        if (target.exists())
            return tr("the folder %1 takes no new file (%2)")
                .arg(QDir::toNativeSeparators(target.absolutePath()), file.errorString());
        return file.errorString();
    }
    const QByteArray text = formatSavedCommands(commands);
    if (file.write(text) != text.size() || !file.commit())
        return file.errorString();
    return {};
}

} // namespace printer
