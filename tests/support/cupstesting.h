#pragma once

// What the CUPS tests share: a private server folder in which CUPS finds
// the printer's filter, CUPS raster files of chosen pictures, and the
// controller's bytes rendered by the virtual printer's core.

#include "printercore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QList>

#include <cups/raster.h>

#include <fcntl.h>
#include <unistd.h>

namespace cupstest {

// `root`/farm as CUPS's server folder: every entry of the system's
// (backends, daemons, ...) linked, and a filter folder of links to every
// system filter plus a copy of rastertokivo. Run as root, CUPS runs only
// filters owned by root that neither group nor others can write, in folders
// alike, so the folders are made 0755 and the copy 0755.
inline QString makeServerBin(const QString &root, const QString &systemServerBin = QStringLiteral("/usr/lib/cups"))
{
    QString farm = root + QStringLiteral("/farm");
    const QString filters = farm + QStringLiteral("/filter");
    if (!QDir().mkpath(filters))
        return {};
    const QFile::Permissions open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
        | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    for (const QString &dir : {root, farm, filters})
        QFile::setPermissions(dir, open);
    const QDir system(systemServerBin);
    for (const QString &entry : system.entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
        if (entry != QLatin1String("filter"))
            QFile::link(system.filePath(entry), farm + u'/' + entry);
    const QDir systemFilters(system.filePath(QStringLiteral("filter")));
    for (const QString &entry : systemFilters.entryList(QDir::Files | QDir::NoDotAndDotDot))
        QFile::link(systemFilters.filePath(entry), filters + u'/' + entry);
    const QString filter = filters + QStringLiteral("/rastertokivo");
    if (!QFile::copy(QStringLiteral(KIVO_FILTER), filter) || !QFile::setPermissions(filter, open))
        return {};
    return farm;
}

// The private server folder in `root` with cupsd.conf and cups-files.conf
// from tests/data/cups (all of cupsd's folders in `root`); run as root,
// cupsd runs filters as lp.
inline bool makeServerFolder(const QString &root)
{
    bool made = !makeServerBin(root).isEmpty();
    for (const char *sub : {"spool/tmp", "cache", "state", "log"})
        made = made && QDir().mkpath(root + u'/' + QLatin1String(sub));
    const QString user = ::geteuid() == 0 ? QStringLiteral("User lp\nGroup lp\nSystemGroup root") : QString();
    for (const QString &name : {QStringLiteral("cupsd.conf"), QStringLiteral("cups-files.conf")}) {
        QFile in(QStringLiteral(KIVO_TEST_DATA "/cups/") + name), out(root + u'/' + name);
        QString text = in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
        text.replace(QStringLiteral("@ROOT@"), root).replace(QStringLiteral("@USER@"), user);
        made = made && !text.isEmpty() && out.open(QIODevice::WriteOnly) && out.write(text.toUtf8()) > 0;
    }
    return made;
}

// `pages`, 1-bit pictures in the one form (1 = a dot), as a CUPS raster file
// of 1-bit black pages at 203 dpi, as CUPS makes them for the printer.
inline bool writeRaster(const QString &path, const QList<QImage> &pages)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    bool ok = raster != nullptr;
    for (const QImage &page : pages) {
        cups_page_header2_t header = {};
        header.HWResolution[0] = header.HWResolution[1] = 203;
        header.cupsWidth = unsigned(page.width());
        header.cupsHeight = unsigned(page.height());
        header.cupsBitsPerColor = header.cupsBitsPerPixel = 1;
        header.cupsBytesPerLine = unsigned(page.width() + 7) / 8;
        header.cupsColorOrder = CUPS_ORDER_CHUNKED;
        header.cupsColorSpace = CUPS_CSPACE_K;
        ok = ok && cupsRasterWriteHeader2(raster, &header);
        for (int y = 0; ok && y < page.height(); ++y)
            ok = cupsRasterWritePixels(raster, const_cast<uchar *>(page.constScanLine(y)), header.cupsBytesPerLine)
                == header.cupsBytesPerLine;
    }
    if (raster)
        cupsRasterClose(raster);
    return ::close(fd) == 0 && ok;
}

// The pages the controller prints for `bytes`, each ended by a cut or by the
// end of the bytes; white paper is 255, a dot 0.
inline QList<QImage> renderedPages(const QByteArray &bytes)
{
    QList<QImage> pages;
    kvp::PrinterCore core(kvp::PrinterCore::Options{});
    core.paper().onPage = [&pages](const kvp::Page &page) { pages.append(page.image.copy()); };
    core.feed(bytes);
    core.finish();
    return pages;
}

} // namespace cupstest
