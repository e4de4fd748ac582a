// kivo-send: the window's jobs from a script. Everything it does is in the
// libraries (script/ and below); this reads the command line and reports.

#include "script/interruption.h"
#include "script/sendjob.h"
#include "script/sendoptions.h"
#include "script/sendrun.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace {

void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// A result before any link was tried: bad arguments, or an action refused.
int refuse(const script::SendOptions &options, script::ExitStatus status, const QString &error)
{
    // Arguments that could not be read may hide --json.
    if (options.json || QCoreApplication::arguments().contains(QStringLiteral("--json")))
        print(stdout, QString::fromUtf8(script::resultJson({status, QString(), error, {}})));
    print(stderr, QStringLiteral("kivo-send: %1\n").arg(error));
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kivo-send"));
    QString error;
    const script::SendOptions options = script::parseSendArguments(app.arguments().mid(1), &error);
    if (!error.isEmpty())
        return refuse(options, script::BadArguments, error);
    if (options.help || options.listDemos || options.programVersion) {
        print(stdout,
              options.help            ? script::usageText()
                  : options.listDemos ? script::demoList()
                                      : QStringLiteral("kivo-send %1\n").arg(QStringLiteral(PROJECT_VERSION)));
        return script::Done;
    }
    std::vector<script::Job> jobs = script::buildJobs(options.actions, serial::lineBaudRate(options.link), &error);
    if (jobs.empty())
        return refuse(options, script::Failed, error);

    script::SendRun run(options.link, std::move(jobs));
    script::Interruption interruption;
    QObject::connect(&interruption, &script::Interruption::interrupted, &run, &script::SendRun::interrupt);
    const bool showProgress = isatty(STDERR_FILENO) != 0;
    QObject::connect(&run, &script::SendRun::progressed, &run,
                     [showProgress](const QString &name, qint64 sent, qint64 total, qint64 msLeft) {
                         if (showProgress)
                             print(stderr, "\r" + script::progressLine(name, sent, total, msLeft) + "\033[K");
                     });
    QObject::connect(&run, &script::SendRun::answered, &run, [&options](const QByteArray &reply) {
        if (!options.json)
            print(stdout, script::replyLine(reply));
    });
    QObject::connect(&run, &script::SendRun::noted, &run, [showProgress](const QString &text) {
        print(stderr, (showProgress ? "\r\033[K" : "") + QStringLiteral("kivo-send: ") + text + "\n");
    });
    QObject::connect(&run, &script::SendRun::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    run.start();
    app.exec();

    const script::RunResult &result = run.result();
    if (showProgress)
        print(stderr, QStringLiteral("\r\033[K"));
    if (options.json)
        print(stdout, QString::fromUtf8(script::resultJson(result)));
    if (!result.error.isEmpty())
        print(stderr, QStringLiteral("kivo-send: %1\n").arg(result.error));
    return result.status;
}
