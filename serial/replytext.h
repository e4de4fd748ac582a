#pragma once

// The controller's replies as console text. Printable text (UTF-8) shows as
// it is; every other byte shows as a hex token such as <10>, so a status byte
// or a stray control byte is visible. LF, CR and CR LF end a line, TAB stays a
// tab. A character split between two reads is put back together.

#include <QByteArray>
#include <QString>

namespace serial {

class ReplyText
{
public:
    // The text for `bytes`, which follow the bytes given before. The start
    // of a character that may go on in the next read is held back.
    QString decode(const QByteArray &bytes);

    // Whether bytes are held back for the next read.
    bool holdsPartialCharacter() const { return !partial.isEmpty(); }

    // The bytes held back, as hex tokens: no more of them is coming.
    QString flush();

private:
    QByteArray partial;
    bool afterCarriageReturn = false;
};

// The hex token of one byte: "<10>".
QString hexToken(unsigned char byte);

} // namespace serial
