#pragma once

// The Command tab's saved commands: named lines kept in a plain text file
// that the user chooses, one "name<TAB>line" a line in UTF-8, so that it can
// be written by hand and kept under version control.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace printer {

struct SavedCommand
{
    QString name;
    QString line; // read as the Command tab reads text: escapes are bytes
    bool operator==(const SavedCommand &other) const { return name == other.name && line == other.line; }
};

// A list as its file holds it. A line end in a command's line is written as
// its escape, which stands for the same byte.
QByteArray formatSavedCommands(const QList<SavedCommand> &commands);

// A file's text read back. Empty lines are skipped; every other line without
// a tab, with nothing before its tab or not in UTF-8 is a problem, named by
// its line number.
struct SavedCommandsText
{
    QList<SavedCommand> commands;
    QStringList problems; // "line 3: ...", in the order of the lines
};
SavedCommandsText parseSavedCommands(const QByteArray &text);

// A name as the file can keep it: without tabs or line ends (spaces instead)
// and without spaces around it. Empty when nothing is left.
QString savedName(const QString &name);

// The largest file opened as a list: anything larger was chosen by mistake.
constexpr qint64 savedCommandsFileLimit = 1 << 20;

// Reads a list's file; nothing and the reason when it cannot be read (what
// it holds may still have problems).
std::optional<SavedCommandsText> readSavedCommands(const QString &path, QString *why);

// Writes the list to `path`, replacing only a regular file: the old one stays
// whole until the new one is complete. The reason when it fails.
QString writeSavedCommands(const QString &path, const QList<SavedCommand> &commands);

} // namespace printer
