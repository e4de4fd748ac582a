#include "printer/commandline.h"

#include "printer/linetime.h"

#include <QtGlobal>

namespace printer {

namespace {

int hexValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// The byte a pair of hex digit values stands for, the first the high one.
char hexByte(int high, int low) { return char(high * 16 + low); }

bool isSeparator(QChar c) { return c == u' ' || c == u',' || c == u'\t'; }

ParsedLine refused(qsizetype position, const QString &reason)
{
    ParsedLine line;
    line.error = reason;
    line.position = position;
    return line;
}

ParsedLine parseHex(const QString &text)
{
    ParsedLine line;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size;) {
        if (isSeparator(text[i])) {
            ++i;
            continue;
        }
        if (text[i] == u'0' && i + 1 < size && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
            if (i + 2 >= size || hexValue(text[i + 2]) < 0)
                return refused(i, QStringLiteral("0x needs two hex digits right after it"));
            i += 2;
        }
        const int high = hexValue(text[i]);
        if (high < 0)
            return refused(i, QStringLiteral("'%1' is not a hex digit").arg(text[i]));
        const int low = i + 1 < size ? hexValue(text[i + 1]) : -1;
        if (low < 0 && i + 1 < size && !isSeparator(text[i + 1]))
            return refused(i + 1, QStringLiteral("'%1' is not a hex digit").arg(text[i + 1]));
        if (low < 0)
            return refused(i, QStringLiteral("'%1' has no second digit: hex digits go in pairs").arg(text[i]));
        line.bytes.append(hexByte(high, low));
        i += 2;
    }
    return line;
}

// The escape at `at` (a backslash) as its byte and length, or a refusal.
ParsedLine escape(const QString &text, qsizetype at, qsizetype *length)
{
    const qsizetype size = text.size();
    const QChar code = at + 1 < size ? text[at + 1] : QChar();
    ParsedLine line;
    *length = 2;
    if (code == u'n' || code == u'r' || code == u't' || code == u'\\') {
        line.bytes.append(code == u'n' ? '\n' : code == u'r' ? '\r' : code == u't' ? '\t' : '\\');
        return line;
    }
    if (code == u'x') {
        const int high = at + 2 < size ? hexValue(text[at + 2]) : -1;
        const int low = at + 3 < size ? hexValue(text[at + 3]) : -1;
        if (high < 0 || low < 0)
            return refused(at, QStringLiteral("\\x needs two hex digits right after it"));
        line.bytes.append(hexByte(high, low));
        *length = 4;
        return line;
    }
    if (code.isNull())
        return refused(at, QStringLiteral("a lone \\ at the end: write \\\\ for a backslash"));
    return refused(at, QStringLiteral("unknown escape \\%1 (known: \\n \\r \\t \\\\ \\xHH)").arg(code));
}

// The characters the controller prints outside double-byte mode, and their
// bytes.
struct CharacterRange
{
    char32_t first;
    char32_t last;
    int firstByte; // one byte a character, `first` being this one; or twoBytes
};
constexpr int twoBytes = -1; // the UTF-16 code unit, high byte first

constexpr CharacterRange controllerCharacters[] = {
    {0x0009, 0x0009, 0x09},     // a typed tab is the controller's tab
    {0x0020, 0x007E, 0x20},     // basic Latin
    {0x00A0, 0x00FF, 0xA0},     // Latin-1
    {0x20AC, 0x20AC, 0x80},     // the euro sign, where Windows-1252 has it
    {0x0100, 0x017F, twoBytes}, // Latin Extended-A
    {0x01A0, 0x01CF, twoBytes}, // parts of Latin Extended-B
    {0x01F0, 0x01FF, twoBytes}, {0x0210, 0x021F, twoBytes}, {0x1EA0, 0x1EF9, twoBytes}, // Latin Extended Additional
    {0x0374, 0x0375, twoBytes}, // Greek (firmware of April 2020 and newer)
    {0x037A, 0x037E, twoBytes}, {0x0384, 0x038A, twoBytes}, {0x038C, 0x038C, twoBytes}, {0x038E, 0x03A1, twoBytes},
    {0x03A3, 0x03CE, twoBytes}, {0x060C, 0x060C, twoBytes}, // Arabic (the same firmware)
    {0x061B, 0x061B, twoBytes}, {0x061F, 0x061F, twoBytes}, {0x0621, 0x063A, twoBytes}, {0x0640, 0x0655, twoBytes},
    {0x0660, 0x066F, twoBytes}, {0x0671, 0x06ED, twoBytes}, {0x06F0, 0x06FE, twoBytes},
};

// A character as a message names it: itself if it shows, and its code.
QString characterName(char32_t code)
{
    QString hex = QStringLiteral("U+%1").arg(uint(code), 4, 16, QLatin1Char('0')).toUpper();
    if (!QChar::isPrint(code))
        return hex;
    return QStringLiteral("'%1' (%2)").arg(QString::fromUcs4(&code, 1), hex);
}

// Appends the controller's bytes for `code`; the reason if it has none.
QString appendControllerCharacter(char32_t code, QByteArray &bytes)
{
    for (const CharacterRange &range : controllerCharacters) {
        if (code < range.first || code > range.last)
            continue;
        if (range.firstByte == twoBytes) {
            bytes.append(char(code >> 8));
            bytes.append(char(code & 0xFF));
        } else {
            bytes.append(char(range.firstByte + int(code - range.first)));
        }
        return {};
    }
    if (code < 0x100)
        return QStringLiteral("%1 is a control character: write its byte as \\x%2")
            .arg(characterName(code), QString::number(uint(code), 16).rightJustified(2, u'0').toUpper());
    return QStringLiteral("%1 is not in the controller's character set").arg(characterName(code));
}

QString appendRawCharacter(char32_t code, QByteArray &bytes)
{
    if (code >= 0x80)
        return QStringLiteral("%1 is no byte: type bytes as \\xHH, or choose a text encoding").arg(characterName(code));
    bytes.append(char(code));
    return {};
}

// Appends `text`, found at `offset` of the typed line, in `encoding`. On a
// character the encoding has no bytes for, `line` becomes the refusal.
void appendText(QStringView text, qsizetype offset, TextEncoding encoding, ParsedLine &line)
{
    if (encoding == TextEncoding::Utf8) {
        line.bytes += text.toUtf8();
        return;
    }
    for (qsizetype i = 0; i < text.size();) {
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const char32_t code = pair ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode();
        const QString why = encoding == TextEncoding::Controller ? appendControllerCharacter(code, line.bytes)
                                                                 : appendRawCharacter(code, line.bytes);
        if (!why.isEmpty()) {
            line = refused(offset + i, why);
            line.length = pair ? 2 : 1;
            return;
        }
        i += pair ? 2 : 1;
    }
}

ParsedLine parseText(const QString &text, TextEncoding encoding)
{
    ParsedLine line;
    qsizetype plainFrom = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != u'\\')
            continue;
        appendText(QStringView(text).mid(plainFrom, i - plainFrom), plainFrom, encoding, line);
        if (!line.ok() || i == text.size())
            return line;
        qsizetype length = 0;
        ParsedLine escaped = escape(text, i, &length);
        if (!escaped.ok())
            return escaped;
        line.bytes += escaped.bytes;
        plainFrom = i + length;
        i = plainFrom - 1;
    }
    return line;
}

} // namespace

ParsedLine parseCommandLine(const QString &text, bool hex, TextEncoding encoding)
{
    return hex ? parseHex(text) : parseText(text, encoding);
}

bool asksForAnswer(const QByteArray &bytes)
{
    return bytes == printerState().bytes() || bytes == getFirmwareInfo().bytes();
}

QString escapedBytes(const QByteArray &bytes)
{
    const QString hex = QString::fromLatin1(bytes.toHex().toUpper());
    QString line;
    for (qsizetype at = 0; at < hex.size(); at += 2)
        line += QStringLiteral("\\x") + hex.mid(at, 2);
    return line;
}

qsizetype filePieceBytes(qint32 baudRate)
{
    constexpr qsizetype least = 256, most = 4096;
    return baudRate > 0 ? qBound(least, quarterSecondBytes(baudRate), most) : most;
}

void CommandHistory::add(const QString &line)
{
    if (!line.isEmpty() && (lines.isEmpty() || lines.last() != line))
        lines.append(line);
    position = lines.size();
    draft.clear();
}

QString CommandHistory::older(const QString &shown)
{
    if (position == lines.size())
        draft = shown;
    if (position == 0)
        return lines.isEmpty() ? shown : lines.first();
    return lines.at(--position);
}

QString CommandHistory::newer(const QString &shown)
{
    if (position == lines.size())
        return shown;
    ++position;
    return position == lines.size() ? draft : lines.at(position);
}

} // namespace printer
