#include "support/streamfile.h"

#include <QFile>

namespace streamfile {

namespace {

// The raster payload of a PBM (P4) file: the bytes after its header.
QByteArray picturePayload(const QString &name, QString *error)
{
    QFile file(QStringLiteral(KIVO_PICTURES_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = "cannot read " + file.fileName();
        return {};
    }
    const QByteArray bytes = file.readAll();
    // "P4", width and height, each after blanks or "#" comment lines, then
    // one blank and the dots.
    qsizetype pos = 2;
    int numbers[2] = {0, 0};
    for (int &number : numbers) {
        while (pos < bytes.size() && (QChar(bytes[pos]).isSpace() || bytes[pos] == '#'))
            pos = bytes[pos] == '#' ? bytes.indexOf('\n', pos) : pos + 1;
        for (; pos >= 0 && pos < bytes.size() && QChar(bytes[pos]).isDigit(); ++pos)
            number = number * 10 + (bytes[pos] - '0');
    }
    if (!bytes.startsWith("P4") || pos < 0 || numbers[1] == 0) {
        *error = name + " is not a PBM file";
        return {};
    }
    return bytes.mid(pos + 1, (numbers[0] + 7) / 8 * qsizetype(numbers[1]));
}

// Quoted text from `line` at `pos` (on the opening quote); moves `pos` past it.
QByteArray quoted(const QString &line, qsizetype &pos, QString *error)
{
    QByteArray text;
    for (++pos; pos < line.size() && line[pos] != u'"'; ++pos) {
        if (line[pos] != u'\\') {
            text += line[pos].toLatin1();
            continue;
        }
        ++pos;
        const QChar c = pos < line.size() ? line[pos] : QChar();
        if (c == u'x') {
            text += char(line.mid(pos + 1, 2).toInt(nullptr, 16));
            pos += 2;
        } else {
            const QString plain = QStringLiteral("nrt\\\""), meant = QStringLiteral("\n\r\t\\\"");
            const qsizetype i = plain.indexOf(c);
            if (i < 0)
                *error = QStringLiteral("unknown escape \\%1").arg(c);
            text += meant[i < 0 ? 0 : i].toLatin1();
        }
    }
    if (pos >= line.size())
        *error = QStringLiteral("unterminated text");
    ++pos;
    return text;
}

QByteArray token(const QString &word, QString *error)
{
    if (word.startsWith(u'<') && word.endsWith(u'>'))
        return picturePayload(word.mid(1, word.size() - 2), error);
    const QStringList parts = word.split(u'*');
    bool hex = false;
    const int byte = parts[0].toInt(&hex, 16);
    const int count = parts.size() == 2 ? parts[1].toInt() : 1;
    if (!hex || parts.size() > 2 || parts[0].size() != 2 || count < 0)
        *error = "not a byte: " + word;
    return QByteArray(count, char(byte));
}

} // namespace

QList<QByteArray> writes(const QString &line, QString *error)
{
    QList<QByteArray> result{QByteArray()};
    bool pending = false;
    for (qsizetype pos = 0; pos < line.size() && error->isEmpty();) {
        const QChar c = line[pos];
        if (c == u'#')
            break;
        if (c.isSpace()) {
            ++pos;
        } else if (c == u'|') {
            result.append(QByteArray());
            pending = false;
            ++pos;
        } else if (c == u'"') {
            result.last() += quoted(line, pos, error);
            pending = true;
        } else {
            qsizetype end = pos;
            while (end < line.size() && !line[end].isSpace() && line[end] != u'|')
                ++end;
            result.last() += token(line.mid(pos, end - pos), error);
            pending = true;
            pos = end;
        }
    }
    if (!pending && result.size() == 1)
        return {};
    return result;
}

QStringList lines(const QString &path)
{
    QFile file(path);
    QStringList result;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return result;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith(u'#'))
            result << line;
    }
    return result;
}

QString consoleEntry(const QString &line) { return "> " + line; }

QString writeEntry(const QByteArray &write) { return "w " + QString::fromLatin1(write.toHex(' ')); }

QString firstDifference(const QStringList &actual, const QStringList &expected)
{
    qsizetype i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
        ++i;
    auto shown = [](const QStringList &list, qsizetype at) {
        return at < list.size() ? list[at].left(120) + (list[at].size() > 120 ? "..." : "") : QStringLiteral("(end)");
    };
    return QStringLiteral("entry %1 of %2/%3: got [%4], expected [%5]")
        .arg(i)
        .arg(actual.size())
        .arg(expected.size())
        .arg(shown(actual, i), shown(expected, i));
}

} // namespace streamfile
