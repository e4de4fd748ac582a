// kivo-virtual-printer: a virtual VX02x controller on a pseudo-terminal.

#include "options.h"
#include "outputlines.h"
#include "paperwindow.h"
#include "service.h"
#include "signalwatcher.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {
void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

// What a started printer tells on standard output; "ready" comes last.
QStringList startLines(const kvp::Service &service)
{
    QStringList lines{
        QStringLiteral("device: %1").arg(service.devicePath()),
        QStringLiteral("link: %1").arg(service.linkPath().isEmpty() ? QStringLiteral("(none)") : service.linkPath())};
    if (!service.tcpEndpoint().isEmpty())
        lines << QStringLiteral("tcp: %1").arg(service.tcpEndpoint());
    return lines << QStringLiteral("output: %1").arg(service.settings().outputDir)
                 << QStringLiteral("flash: %1").arg(service.settings().flashPath) << QStringLiteral("ready");
}

void complain(const QString &message) { std::fprintf(stderr, "kivo-virtual-printer: %s\n", qPrintable(message)); }
} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    kvp::ProgramOptions options;
    QString message;
    switch (kvp::parseOptions(arguments, &options, &message)) {
    case kvp::ParseResult::Help: say(message); return 0;
    case kvp::ParseResult::Error: complain(message); return 2;
    case kvp::ParseResult::Run: break;
    }

    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || (!platform.isEmpty() && platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"));
    const bool headless = options.headless || !display;
    if (headless && platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen"); // fonts and painting still need a GUI application

    std::unique_ptr<QGuiApplication> app(headless ? new QGuiApplication(argc, argv) : new QApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("kivo-virtual-printer"));

    kvp::OutputLines out(STDOUT_FILENO);
    auto tell = [&out](const QString &line) { out.say(line); };
    kvp::Service service(options.service);
    kvp::SignalWatcher watcher;
    QObject::connect(&watcher, &kvp::SignalWatcher::terminationRequested, app.get(), [&](int) {
        service.stop();
        QCoreApplication::quit();
    });
    if (options.verbose)
        QObject::connect(&service, &kvp::Service::logLine, tell);
    QObject::connect(&service, &kvp::Service::pageWritten,
                     [&](const QString &path) { tell(QStringLiteral("page: %1").arg(path)); });
    QObject::connect(&service, &kvp::Service::pageLost, complain);
    QObject::connect(&service, &kvp::Service::limitReached, complain);

    QString error;
    if (!service.start(&error)) {
        complain(error);
        return 1;
    }
    for (const QString &line : startLines(service))
        tell(line);

    std::unique_ptr<PaperWindow> window;
    if (!headless) {
        window = std::make_unique<PaperWindow>(service);
        window->show();
    }
    const int rc = app->exec();
    window.reset();
    service.stop();
    tell(QStringLiteral("stopped"));
    out.flush(500);
    return rc;
}
