#include "script/sendrun.h"

#include "serial/link.h"
#include "serial/transfer.h"

#include <QIODevice>

namespace script {

namespace {

// How long a request waits for the first byte of its answer: the
// controller answers once it has printed what came before, which after a
// long picture takes a while; then how long the answer may pause before it
// counts as complete.
constexpr int answerWaitMs = 10000;
constexpr int answerPauseMs = 200;
// How often the end waits for the line to take what was handed over, and
// for how long at most (flow control may hold the line).
constexpr int drainTickMs = 10;
constexpr int drainGiveUpTicks = 3000;

} // namespace

SendRun::SendRun(const serial::LinkSettings &settings, std::vector<Job> list, QObject *parent)
    : QObject(parent)
    , link(serial::makeLink(settings, this))
    , jobs(std::move(list))
{
    outcome.link = link->displayName();
    for (const Job &job : jobs)
        outcome.actions.append({job.action, job.name, job.bytes, 0, QStringLiteral("not run"), {}});
    transfer = new serial::Transfer(lineOut, timing::Clock::system(), this);
    connect(transfer, &serial::Transfer::progressed, this, [this] {
        if (current < jobs.size())
            emit progressed(jobs[current].name, transfer->sent(), transfer->total(), transfer->msLeft());
    });
    connect(transfer, &serial::Transfer::finished, this,
            [this](serial::Transfer::Outcome end) { jobFinished(int(end)); });
    connect(link.get(), &serial::Link::lost, this, &SendRun::linkLost);
    answerWait.setSingleShot(true);
    connect(&answerWait, &QTimer::timeout, this, &SendRun::endAnswer);
    connect(&drainTicker, &QTimer::timeout, this, &SendRun::drain);
}

SendRun::~SendRun() = default;

void SendRun::start()
{
    QString refusal;
    if (!link->open(&refusal)) {
        finish(Unreachable, refusal);
        return;
    }
    lineOut.useLink(*link);
    connect(link->device(), &QIODevice::readyRead, this, &SendRun::readReplies);
    nextJob();
}

void SendRun::nextJob()
{
    if (done)
        return;
    if (interrupted || current >= jobs.size()) {
        drainTicks = 0;
        drainTicker.start(drainTickMs);
        return;
    }
    Job &job = jobs[current];
    // What came before the request is no part of its answer.
    link->device()->readAll();
    reply.clear();
    if (job.pictureWidth > 0 && headDots > 0 && job.pictureWidth > headDots)
        emit noted(
            QStringLiteral("warning: the last print head type sent prints %1 dots a line: the printer will cut %2 "
                           "at %1 dots")
                .arg(headDots)
                .arg(job.name));
    if (job.headDots > 0)
        headDots = job.headDots;
    transfer->start(std::move(job.source), lineOut.bytesPerSecond());
}

void SendRun::jobFinished(int end)
{
    if (done || current >= jobs.size())
        return;
    ActionResult &action = outcome.actions[qsizetype(current)];
    action.sent = transfer->sent();
    switch (serial::Transfer::Outcome(end)) {
    case serial::Transfer::Outcome::Sent: action.outcome = QStringLiteral("sent"); break;
    case serial::Transfer::Outcome::Stopped: action.outcome = QStringLiteral("stopped"); break;
    case serial::Transfer::Outcome::Abandoned:
        // The link's loss ends the run by itself; a source that failed ends it here.
        if (!transfer->failure().isEmpty()) {
            action.outcome = QStringLiteral("failed");
            finish(Failed, QStringLiteral("%1 not finished: %2").arg(action.name, transfer->failure()));
        }
        return;
    }
    if (jobs[current].asksForAnswer && !interrupted) {
        awaitingAnswer = true;
        readReplies();
        if (awaitingAnswer)
            answerWait.start(reply.isEmpty() ? answerWaitMs : answerPauseMs);
        return;
    }
    ++current;
    nextJob();
}

void SendRun::readReplies()
{
    if (!link->isOpen())
        return;
    // An answer may come before the request's job has seen the line take it.
    const QByteArray bytes = link->device()->readAll();
    reply += bytes;
    if (awaitingAnswer && !bytes.isEmpty())
        answerWait.start(answerPauseMs);
}

void SendRun::endAnswer()
{
    awaitingAnswer = false;
    ActionResult &action = outcome.actions[qsizetype(current)];
    action.reply = reply;
    if (reply.isEmpty()) {
        action.outcome = QStringLiteral("no answer");
        outcome.status = Failed;
        outcome.error = QStringLiteral("no answer from the controller within 10 s");
    } else {
        emit answered(reply);
    }
    ++current;
    nextJob();
}

void SendRun::drain()
{
    // Closing drops what the line has not taken: the controller would be
    // left inside a command.
    if (link->isOpen() && link->bytesQueued() > 0 && ++drainTicks < drainGiveUpTicks)
        return;
    drainTicker.stop();
    if (interrupted)
        finish(Interrupted, QStringLiteral("stopped between two commands: the controller is ready"));
    else
        finish(outcome.status, outcome.error);
}

void SendRun::interrupt()
{
    if (done)
        return;
    if (std::exchange(interrupted, true)) {
        transfer->abandon();
        finish(Interrupted, QStringLiteral("given up at once: the controller may be inside a command"));
        return;
    }
    emit noted(QStringLiteral("stopping after the command on its way (Ctrl+C again gives up at once)"));
    if (transfer->isRunning()) {
        transfer->stop();
    } else if (awaitingAnswer) {
        answerWait.stop();
        awaitingAnswer = false;
        nextJob();
    }
}

void SendRun::linkLost(const QString &reason)
{
    if (done)
        return;
    if (current < jobs.size()) {
        outcome.actions[qsizetype(current)].outcome = QStringLiteral("lost");
        outcome.actions[qsizetype(current)].sent = transfer->sent();
    }
    transfer->abandon();
    finish(Lost, reason);
}

void SendRun::finish(ExitStatus status, const QString &error)
{
    if (std::exchange(done, true))
        return;
    answerWait.stop();
    drainTicker.stop();
    outcome.status = status;
    outcome.error = error;
    if (link->isOpen())
        link->close();
    emit finished();
}

} // namespace script
