#pragma once
// A running printer announces its link, so that Printer Kivo lists it as a
// port of its own instead of the user typing the path: one small file per
// running printer in a folder of the user's (announcementFolder()), holding
// two lines, "pid N" and "link PATH". The file goes at the stop; one left by
// a crash names a process that is gone, which readers skip and the next
// printer's announcement removes.

#include <QString>

namespace kvp {

// $XDG_RUNTIME_DIR/kivo-virtual-printers, or /tmp/kivo-virtual-printers-<uid>
// where there is no runtime folder.
QString defaultAnnouncementFolder();

class Announcement
{
public:
    Announcement() = default;
    ~Announcement() { withdraw(); }
    Announcement(const Announcement &) = delete;
    Announcement &operator=(const Announcement &) = delete;

    // Writes this process's announcement of `linkPath` into `folder` (made
    // for the user alone if missing). False, with the reason, when the
    // folder is not the user's own or cannot be written; the printer runs
    // all the same, reachable by its path.
    bool announce(const QString &folder, const QString &linkPath, QString *error);
    void withdraw();

private:
    QString file;
};

} // namespace kvp
