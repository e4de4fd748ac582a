#pragma once

// One run of kivo-send: the link opened, each job sent in turn through the
// long send the window uses (serial/transfer), the controller's answers
// collected, and the link closed once everything handed over has left.
// An interruption stops as the window's Stop does: no further command is
// handed over, the one on its way finishes, so the controller is left
// between two commands.

#include "script/sendjob.h"
#include "script/sendresult.h"
#include "serial/lineout.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

namespace serial {
class Link;
class Transfer;
} // namespace serial

namespace script {

class SendRun : public QObject
{
    Q_OBJECT

public:
    SendRun(const serial::LinkSettings &settings, std::vector<Job> jobs, QObject *parent = nullptr);
    ~SendRun() override;

    // Opens the link and sends the jobs; `finished` tells the end.
    void start();
    // The first stops between two commands; a second gives up at once.
    void interrupt();

    const RunResult &result() const { return outcome; }

signals:
    // A long job went on: its name, the bytes taken and in all, the time left
    // (-1: unknown).
    void progressed(const QString &name, qint64 sent, qint64 total, qint64 msLeft);
    // An answer, as soon as it is complete.
    void answered(const QByteArray &reply);
    // A word for the user that does not stop the run: a warning, or that an
    // interruption is being carried out.
    void noted(const QString &text);
    void finished();

private:
    void nextJob();
    void jobFinished(int outcome);
    void readReplies();
    void endAnswer();
    void drain();
    void linkLost(const QString &reason);
    void finish(ExitStatus status, const QString &error = QString());

    std::unique_ptr<serial::Link> link;
    serial::LineOut lineOut{nullptr};
    serial::Transfer *transfer = nullptr;
    std::vector<Job> jobs;
    size_t current = 0;
    RunResult outcome;
    QByteArray reply;
    bool awaitingAnswer = false;
    QTimer answerWait;
    QTimer drainTicker;
    int drainTicks = 0;
    int headDots = 0;
    bool interrupted = false;
    bool done = false;
};

} // namespace script
