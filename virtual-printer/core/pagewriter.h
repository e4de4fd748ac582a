#pragma once
// Writes finished pages as PNG files (page-0001.png, ...) into the output
// folder, continuing after the highest number already there. The folder is
// locked for one printer at a time; each page is a new file, never written
// through a link nor over an existing entry: a number taken since the start
// is skipped.

#include "paper.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace kvp {

class PageWriter
{
public:
    explicit PageWriter(const QString &folder);
    ~PageWriter();
    PageWriter(const PageWriter &) = delete;
    PageWriter &operator=(const PageWriter &) = delete;

    // Creates the folder, takes its lock and finds the next number; false
    // with the reason when the folder cannot be used.
    bool open(QString *error);
    QString folder() const { return folderPath; }
    // Returns the file written, or an empty string with the reason in `error`.
    QString write(const Page &page, QString *error) { return store(encode(page), error); }
    // The two halves of write(): encoding may run on several threads at
    // once, storing on one at a time.
    static QByteArray encode(const Page &page);
    QString store(const QByteArray &png, QString *error);
    int written() const { return writtenCount; }

    static constexpr qint64 lastNumber = 999999999999;

private:
    QString pagePath(qint64 number) const;

    QString folderPath;
    int lockFd = -1;
    qint64 nextNumber = 1;
    int writtenCount = 0;
};

} // namespace kvp
