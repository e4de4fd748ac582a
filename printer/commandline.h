#pragma once

// The Command tab's raw way to the controller: a typed line read as the
// bytes it stands for, the lines sent in this run, and a file's bytes cut
// into commands so that a long send can stop between them.

#include "printer/commands.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace printer {

// A typed line as bytes, or the reason it cannot be sent.
struct ParsedLine
{
    QByteArray bytes;
    QString error;           // empty when the line is good
    qsizetype position = -1; // the first offending character of the text
    qsizetype length = 1;    // and how many QChars it takes (2: a surrogate pair)
    bool ok() const { return error.isEmpty(); }
};

// How typed characters become bytes; the escapes are bytes as they stand.
// The values are the places in the Command tab's list.
enum class TextEncoding : uint8_t {
    // As the controller reads text: basic Latin and Latin-1 one byte each,
    // the euro sign its byte 0x80, the other characters it has glyphs for
    // as their UTF-16 code unit, high byte first. Anything else is refused.
    Controller,
    Utf8,
    // Bytes only: typed text must be ASCII, every other byte an escape.
    RawBytes,
};

// With `hex`: pairs of hex digits, separated by spaces, commas or nothing,
// each pair with or without 0x ("1B 40", "1b,40", "0x1B0x40"). Otherwise the
// text in `encoding` with the escapes \n \r \t \\ and \xHH; any other
// backslash is refused, so that a typo never reaches the controller as bytes.
ParsedLine parseCommandLine(const QString &text, bool hex, TextEncoding encoding = TextEncoding::Utf8);

// Whether `bytes` are one of the requests the controller answers (its
// firmware version, its status).
bool asksForAnswer(const QByteArray &bytes);

// `bytes` as a text line that stands for them whatever the encoding: every
// byte as \xHH.
QString escapedBytes(const QByteArray &bytes);

// A quarter second of line time at `baudRate`, between 256 bytes and 4 KB:
// small enough that Stop takes effect soon, large enough to keep the line
// busy. Any other rate (0: no line pace) gets 4 KB.
qsizetype filePieceBytes(qint32 baudRate);

// The lines sent in this run, for walking back and forth as in a shell.
class CommandHistory
{
public:
    // A new line ends any walk; an empty one or a repeat of the last is not
    // kept twice.
    void add(const QString &line);
    // One line back or forward from where the walk stands. `shown` is what
    // the field holds: at the start of a walk it is kept and comes back when
    // the walk returns past the newest line. Returns what to show.
    QString older(const QString &shown);
    QString newer(const QString &shown);

private:
    QStringList lines;
    qsizetype position = 0; // lines.size(): not walking
    QString draft;
};

} // namespace printer
