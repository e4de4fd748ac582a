#include "support/streamnotation.h"

#include <QFile>

namespace streamnotation {

namespace {

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
        } else if (const qsizetype i = QStringLiteral("nrt\\\"").indexOf(c); i >= 0) {
            text += "\n\r\t\\\""[i];
        } else {
            *error = QStringLiteral("unknown escape \\%1").arg(c);
        }
    }
    if (pos >= line.size())
        *error = QStringLiteral("unterminated text");
    ++pos;
    return text;
}

QByteArray token(const QString &word, const FileBytes &fileBytes, QString *error)
{
    if (word.startsWith(u'<') && word.endsWith(u'>'))
        return fileBytes(word.mid(1, word.size() - 2), error);
    const QStringList parts = word.split(u'*');
    bool hex = false;
    const int byte = parts[0].toInt(&hex, 16);
    const int count = parts.size() == 2 ? parts[1].toInt() : 1;
    if (!hex || parts.size() > 2 || parts[0].size() != 2 || count < 0)
        *error = "not a byte: " + word;
    return QByteArray(count, char(byte));
}

} // namespace

QByteArrayList writes(const QString &line, const FileBytes &fileBytes, QString *error)
{
    QByteArrayList result{QByteArray()};
    bool pending = false;
    for (qsizetype pos = 0; pos < line.size() && error->isEmpty();) {
        const QChar c = line[pos];
        if (c == u'#')
            break;
        if (c.isSpace()) {
            ++pos;
        } else if (c == u'|') {
            result.append(QByteArray());
            ++pos;
        } else if (c == u'"') {
            result.last() += quoted(line, pos, error);
            pending = true;
        } else {
            qsizetype end = pos;
            while (end < line.size() && !line[end].isSpace() && line[end] != u'|')
                ++end;
            result.last() += token(line.mid(pos, end - pos), fileBytes, error);
            pending = true;
            pos = end;
        }
    }
    if (!pending && result.size() == 1)
        return {};
    return result;
}

FileBytes filesIn(const QString &folder)
{
    return [folder](const QString &name, QString *error) {
        QFile file(folder + u'/' + name);
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
        *error = "cannot read " + file.fileName();
        return QByteArray();
    };
}

QStringList lines(const QString &path)
{
    QFile file(path);
    QStringList result;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("cannot read %s", qPrintable(path));
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith(u'#'))
            result << line;
    }
    return result;
}

} // namespace streamnotation
