#pragma once
// Writes finished pages as PNG files (page-0001.png, ...) into the output
// folder, continuing after the highest number already there.

#include "paper.h"

#include <QString>

namespace kvp {

class PageWriter {
public:
    explicit PageWriter(const QString &folder);

    bool isReady() const { return m_ready; }
    QString folder() const { return m_folder; }
    // Returns the file written, or an empty string on failure.
    QString write(const Page &page);
    int written() const { return m_written; }

private:
    QString m_folder;
    bool m_ready = false;
    int m_next = 1;
    int m_written = 0;
};

} // namespace kvp
