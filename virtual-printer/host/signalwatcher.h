#pragma once
// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal (through a self-pipe),
// so that the program can remove its link and write its last page.

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace kvp {

class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested(int signal);

private:
    std::unique_ptr<QSocketNotifier> notifier;
};

} // namespace kvp
