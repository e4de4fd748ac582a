#pragma once

// The virtual printers running on this machine (kivo-virtual-printer), found
// by their links so that the settings dialog lists them as ports: the
// default link, and every link that a running printer announced in its
// announcement folder (a file per printer holding "pid N" and "link PATH").

#include <QList>
#include <QString>
#include <QStringList>

namespace serial {

struct VirtualPrinterPort
{
    QString link;   // what the port is opened by, as a typed path would be
    qint64 pid = 0; // the printer's process
    QString device; // the pseudo-terminal behind the link
    bool operator==(const VirtualPrinterPort &other) const
    {
        return link == other.link && pid == other.pid && device == other.device;
    }
};

// Where a virtual printer started without --link makes its link.
QString defaultVirtualPrinterLink();
// $XDG_RUNTIME_DIR/kivo-virtual-printers, or /tmp/kivo-virtual-printers-<uid>.
QString virtualPrinterAnnouncements();

// The link's printer, if it is alive: the link leads to a descriptor of a
// running process (/proc/<pid>/fd/<n>) that is a terminal. A printer that is
// gone leaves at most a dangling link.
bool liveVirtualPrinter(const QString &link, VirtualPrinterPort *port);

// The live printers at `knownLinks` and those announced in `folder`, each
// link once, in the order found (known links first, then by link path).
// An announcement whose process is gone, or whose link now belongs to
// another process, is skipped.
QList<VirtualPrinterPort> liveVirtualPrinters(const QString &folder = virtualPrinterAnnouncements(),
                                              const QStringList &knownLinks = {defaultVirtualPrinterLink()});

} // namespace serial
