#include "support/streamfile.h"

namespace streamfile {

// The raster payload of a PBM (P4) file: the bytes after its header.
QByteArray picturePayload(const QString &name, QString *error)
{
    const QByteArray bytes = streamnotation::filesIn(QStringLiteral(KIVO_PICTURES_DIR))(name, error);
    if (!error->isEmpty())
        return {};
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
