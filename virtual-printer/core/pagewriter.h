#pragma once
// Writes finished pages as PNG files (page-0001.png, ...) into the output
// folder, continuing after the highest number already there.

#include "paper.h"

#include <QString>

namespace kvp {

class PageWriter
{
public:
    explicit PageWriter(const QString &folder);

    bool isReady() const { return ready; }
    QString folder() const { return folderPath; }
    // Returns the file written, or an empty string on failure.
    QString write(const Page &page);
    int written() const { return writtenCount; }

private:
    QString folderPath;
    bool ready = false;
    int nextNumber = 1;
    int writtenCount = 0;
};

} // namespace kvp
