#include "serial/virtualprinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace serial {

QString defaultVirtualPrinterLink() { return QStringLiteral("/tmp/kivo-virtual-printer"); }

QString virtualPrinterAnnouncements()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/kivo-virtual-printers");
    return QStringLiteral("/tmp/kivo-virtual-printers-%1").arg(getuid());
}

bool liveVirtualPrinter(const QString &link, VirtualPrinterPort *port)
{
    static const QRegularExpression descriptor(QStringLiteral("^/proc/(\\d+)/fd/\\d+$"));
    const QFileInfo info(link);
    const QRegularExpressionMatch m = descriptor.match(info.symLinkTarget());
    struct stat st
    { };
    // stat() follows the link: it fails once the process or its descriptor is gone.
    if (!info.isSymLink() || !m.hasMatch() || ::stat(QFile::encodeName(link).constData(), &st) != 0
        || !S_ISCHR(st.st_mode))
        return false;
    *port = {link, m.captured(1).toLongLong(), info.canonicalFilePath()};
    return true;
}

namespace {

// The announcement's process id and link; pid 0 if it cannot be read.
VirtualPrinterPort readAnnouncement(const QString &path)
{
    QFile file(path);
    VirtualPrinterPort announced;
    if (!file.open(QIODevice::ReadOnly) || file.size() > 4096)
        return announced;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(QLatin1String("pid ")))
            announced.pid = line.mid(4).toLongLong();
        else if (line.startsWith(QLatin1String("link ")))
            announced.link = line.mid(5);
    }
    return announced;
}

} // namespace

QList<VirtualPrinterPort> liveVirtualPrinters(const QString &folder, const QStringList &knownLinks)
{
    QList<VirtualPrinterPort> found;
    auto listed = [&found](const QString &link) {
        return std::any_of(found.begin(), found.end(), [&](const VirtualPrinterPort &p) { return p.link == link; });
    };
    VirtualPrinterPort port;
    for (const QString &link : knownLinks)
        if (!listed(link) && liveVirtualPrinter(link, &port))
            found << port;

    QList<VirtualPrinterPort> announced;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const VirtualPrinterPort claim = readAnnouncement(dir.filePath(name));
        if (claim.pid > 0 && !claim.link.isEmpty() && liveVirtualPrinter(claim.link, &port) && port.pid == claim.pid)
            announced << port;
    }
    std::sort(announced.begin(), announced.end(),
              [](const VirtualPrinterPort &a, const VirtualPrinterPort &b) { return a.link < b.link; });
    for (const VirtualPrinterPort &p : announced)
        if (!listed(p.link))
            found << p;
    return found;
}

} // namespace serial
