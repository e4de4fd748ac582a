#pragma once

// A recording of the line to a file as it happens: every entry of the record
// in full with its absolute time, written and flushed as it is made, until
// it is stopped or the connection ends. A file that takes no more stops the
// recording, and says why.

#include "traffic/record.h"

#include <QFile>
#include <QObject>
#include <QString>

namespace traffic {

class Recording : public QObject, private Record::Observer
{
    Q_OBJECT

public:
    // Records what `record` sees from start() on; `record` must outlive it.
    explicit Recording(Record &record, QObject *parent = nullptr);
    ~Recording() override;

    // Starts writing to `path`: a new file, or one that replaces a regular
    // file of that name (a device, a FIFO or a folder stays as it is).
    // Returns why it could not start, empty when it did.
    QString start(const QString &path);
    // Ends the file with the time it stopped.
    void stop() { finish(QString()); }
    bool isActive() const { return file.isOpen(); }
    QString fileName() const { return file.fileName(); }

signals:
    // Started or stopped.
    void activeChanged(bool active);
    // The file took no more: the recording has stopped.
    void failed(const QString &path, const QString &why);

private:
    void added(const Record &record, const Entry &entry, const QString &begunAbove) override;
    void ended() override;
    // Writes `text` and hands it to the system; on an error the recording
    // stops.
    bool put(const QString &text);
    void finish(const QString &why);

    Record &recorded;
    QFile file;
};

// Why `path` is not to be written over: it exists and is no regular file.
// Empty when it may be.
QString notRegularFile(const QString &path);

} // namespace traffic
