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

ParsedLine parseText(const QString &text)
{
    ParsedLine line;
    qsizetype plainFrom = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\')
            continue;
        line.bytes += text.mid(plainFrom, i - plainFrom).toUtf8();
        qsizetype length = 0;
        ParsedLine escaped = escape(text, i, &length);
        if (!escaped.ok())
            return escaped;
        line.bytes += escaped.bytes;
        plainFrom = i + length;
        i = plainFrom - 1;
    }
    line.bytes += text.mid(plainFrom).toUtf8();
    return line;
}

} // namespace

ParsedLine parseCommandLine(const QString &text, bool hex) { return hex ? parseHex(text) : parseText(text); }

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
