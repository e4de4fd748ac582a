#include "pagewriter.h"

#include <QDir>
#include <QRegularExpression>

namespace kvp {

PageWriter::PageWriter(const QString &folder)
    : folderPath(folder)
{
    QDir dir;
    ready = dir.mkpath(folder);
    static const QRegularExpression pattern(QStringLiteral("^page-(\\d+)\\.png$"));
    const QStringList existing = QDir(folder).entryList({QStringLiteral("page-*.png")}, QDir::Files);
    for (const QString &name : existing) {
        const auto match = pattern.match(name);
        if (match.hasMatch())
            nextNumber = std::max(nextNumber, match.captured(1).toInt() + 1);
    }
}

QString PageWriter::write(const Page &page)
{
    QString path = QDir(folderPath).filePath(QStringLiteral("page-%1.png").arg(nextNumber, 4, 10, QLatin1Char('0')));
    if (!page.image.save(path, "PNG"))
        return QString();
    ++nextNumber;
    ++writtenCount;
    return path;
}

} // namespace kvp
