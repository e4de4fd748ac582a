#include "script/sendjob.h"

#include "bitmap/imagefile.h"
#include "bitmap/printjob.h"
#include "serial/filesource.h"

namespace script {

namespace {

bool demoJob(Job &job, demos::Session &session, QString *error)
{
    const demos::NamedDemo *named = demos::findDemo(job.name);
    if (!named) {
        *error = QStringLiteral("no demonstration is called %1 (--list-demos names them)").arg(job.name);
        return false;
    }
    const demos::Demo demo = demos::take(*named, session);
    QList<printer::Command> commands;
    for (const demos::Step &step : demo.script)
        if (!step.isConsoleLine)
            commands.append(step.command);
    job.source = serial::listSource(commands, QByteArray());
    job.asksForAnswer = demo.readRepliesAfterSending;
    job.headDots = named->head ? demos::printHeadDots(*named->head) : 0;
    return true;
}

bool pictureJob(Job &job, const Action &action, qint32 baudRate, QString *error)
{
    const bitmap::ImageFile file = bitmap::readImageFile(action.value, action.picture);
    if (file.image.isNull()) {
        *error = QStringLiteral("cannot load %1: %2").arg(action.value, file.error);
        return false;
    }
    const int paper = action.picture.paperWidth;
    const bitmap::PrintJob print = bitmap::printJob(file.image, bitmap::linkBandBytes(baudRate), paper);
    if (print.refusal == bitmap::PrintJob::Refusal::TooWide) {
        *error = QStringLiteral("%1 is %2 dots wide, wider than the paper's %3: add --fit%4")
                     .arg(action.value)
                     .arg(file.image.width())
                     .arg(paper)
                     .arg(paper < bitmap::widePrintWidth ? ", or --paper 576 for an 80 mm head" : "");
        return false;
    }
    if (print.refusal == bitmap::PrintJob::Refusal::NothingLoaded) {
        *error = QStringLiteral("%1 has no pixels").arg(action.value);
        return false;
    }
    job.source = serial::listSource(print.commands, print.rows);
    job.pictureWidth = file.image.width();
    return true;
}

bool lineJob(Job &job, const Action &action, QString *error)
{
    const printer::ParsedLine line =
        printer::parseCommandLine(action.value, action.kind == Action::Kind::Hex, action.encoding);
    if (!line.ok()) {
        // Columns count from 1, as a user counts them.
        *error = QStringLiteral("cannot send \"%1\": column %2: %3")
                     .arg(action.value)
                     .arg(line.position + 1)
                     .arg(line.error);
        return false;
    }
    job.source = serial::listSource({printer::Command{{line.bytes}}}, QByteArray());
    job.asksForAnswer = printer::asksForAnswer(line.bytes);
    return true;
}

} // namespace

std::optional<Job> buildJob(const Action &action, qint32 baudRate, demos::Session &session, QString *error)
{
    static const char *const actions[] = {"demo", "picture", "file", "hex", "text"};
    Job job;
    job.action = QLatin1String(actions[int(action.kind)]);
    job.name = action.value;
    bool ok = false;
    switch (action.kind) {
    case Action::Kind::Demo: ok = demoJob(job, session, error); break;
    case Action::Kind::Picture: ok = pictureJob(job, action, baudRate, error); break;
    case Action::Kind::File:
        job.source = serial::openFileSource(action.value, printer::filePieceBytes(baudRate), error);
        if (!job.source)
            *error = QStringLiteral("cannot send %1: %2").arg(action.value, *error);
        ok = job.source != nullptr;
        break;
    case Action::Kind::Hex:
    case Action::Kind::Text: ok = lineJob(job, action, error); break;
    }
    if (!ok)
        return std::nullopt;
    job.bytes = job.source->total();
    return job;
}

std::vector<Job> buildJobs(const QList<Action> &actions, qint32 baudRate, QString *error)
{
    std::vector<Job> jobs;
    demos::Session session;
    for (const Action &action : actions) {
        std::optional<Job> job = buildJob(action, baudRate, session, error);
        if (!job)
            return {};
        jobs.push_back(std::move(*job));
    }
    return jobs;
}

QString demoList()
{
    QString text;
    for (const demos::NamedDemo &demo : demos::catalogue())
        text += QStringLiteral("%1  %2\n").arg(demo.name, -22).arg(demo.description);
    return text;
}

} // namespace script
