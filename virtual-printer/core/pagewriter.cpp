#include "pagewriter.h"

#include <QDir>
#include <QRegularExpression>

namespace kvp {

PageWriter::PageWriter(const QString &folder)
    : m_folder(folder)
{
    QDir dir;
    m_ready = dir.mkpath(folder);
    static const QRegularExpression pattern(QStringLiteral("^page-(\\d+)\\.png$"));
    const QStringList existing = QDir(folder).entryList({QStringLiteral("page-*.png")}, QDir::Files);
    for (const QString &name : existing) {
        const auto match = pattern.match(name);
        if (match.hasMatch())
            m_next = std::max(m_next, match.captured(1).toInt() + 1);
    }
}

QString PageWriter::write(const Page &page)
{
    QString path = QDir(m_folder).filePath(QStringLiteral("page-%1.png").arg(m_next, 4, 10, QLatin1Char('0')));
    if (!page.image.save(path, "PNG"))
        return QString();
    ++m_next;
    ++m_written;
    return path;
}

} // namespace kvp
