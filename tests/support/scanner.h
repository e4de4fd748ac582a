#pragma once

// A bar code scanner (zbarimg) reading a printed page, shared by both test
// suites.

#include <QImage>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// What the scanner reads on a page: one "TYPE:data" per symbol, sorted.
inline QStringList scannedCodes(const QString &pngPath)
{
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--quiet"), pngPath});
    if (!zbar.waitForFinished(30000))
        return {QStringLiteral("(zbarimg did not run; tools/setup-debian.sh installs zbar-tools)")};
    QStringList found = QString::fromUtf8(zbar.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    found.sort();
    return found;
}

inline QStringList scannedCodes(const QImage &page)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("page.png"));
    return page.save(png) ? scannedCodes(png) : QStringList{QStringLiteral("(the page could not be saved)")};
}
