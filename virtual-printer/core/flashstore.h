#pragma once
// The controller's flash: the print head type, kept in a small text file so
// that it survives restarts.

#include <QString>

namespace kvp {

class FlashStore
{
public:
    explicit FlashStore(const QString &path);
    // Why the flash at `path` could not be kept (not a regular file, no
    // writable folder), or an empty string.
    static QString problem(const QString &path);

    QString path() const { return filePath; }
    // Head type from the file; 0 when the file is missing or unreadable.
    int headType() const { return storedType; }
    // Writes the file at once unless it already holds `headType`; returns
    // false if it could not be written.
    bool setHeadType(int headType);

private:
    QString filePath;
    int storedType = 0;
    bool written = false; // the file holds storedType
};

} // namespace kvp
