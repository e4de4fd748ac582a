#pragma once

// Ctrl+C (SIGINT) delivered to the event loop: the signal handler only
// writes a byte to a pipe, which the loop reads and reports.

#include <QObject>

class QSocketNotifier;

namespace script {

class Interruption : public QObject
{
    Q_OBJECT

public:
    // One at a time: it takes SIGINT over until it is destroyed.
    explicit Interruption(QObject *parent = nullptr);
    ~Interruption() override;

signals:
    void interrupted();

private:
    void readPipe();

    QSocketNotifier *notifier = nullptr;
};

} // namespace script
