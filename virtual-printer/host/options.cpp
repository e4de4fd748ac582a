#include "options.h"

#include <QCommandLineParser>
#include <QDir>
#include <QStandardPaths>

namespace kvp {

QString defaultFlashPath()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/kivo-virtual-printer/flash.txt");
}

ParseResult parseOptions(const QStringList &arguments, ProgramOptions *options, QString *message)
{
    const ServiceSettings defaults;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Virtual VX02x printer controller on a pseudo-terminal. Connect Printer Kivo to the link path "
        "(Settings, port \"Custom\"). Pages are written as PNG files, the decoded commands to commands.log."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption link(QStringLiteral("link"), QStringLiteral("Symbolic link to the device (default %1); \"\" for none.").arg(defaults.linkPath), QStringLiteral("path"), defaults.linkPath);
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("Folder for page PNGs and commands.log (default %1).").arg(defaults.outputDir), QStringLiteral("folder"), defaults.outputDir);
    const QCommandLineOption flash(QStringLiteral("flash"), QStringLiteral("Flash file that keeps the head type (default %1).").arg(defaultFlashPath()), QStringLiteral("path"), defaultFlashPath());
    const QCommandLineOption buffer(QStringLiteral("buffer"), QStringLiteral("Receive buffer size in bytes (default %1).").arg(defaults.printer.bufferSize), QStringLiteral("bytes"), QString::number(defaults.printer.bufferSize));
    const QCommandLineOption speed(QStringLiteral("print-speed"), QStringLiteral("Bytes per second the print engine takes from the buffer (default %1).").arg(defaults.printer.printBytesPerSecond), QStringLiteral("bytes/s"), QString::number(defaults.printer.printBytesPerSecond));
    const QCommandLineOption flow(QStringLiteral("flow"), QStringLiteral("Start-up flow control: none, xonxoff or hardware (default xonxoff)."), QStringLiteral("mode"), QStringLiteral("xonxoff"));
    const QCommandLineOption lineRate(QStringLiteral("line-rate"), QStringLiteral("Line speed in bit/s; 0 follows the host's setting (default 0)."), QStringLiteral("bit/s"), QStringLiteral("0"));
    const QCommandLineOption silence(QStringLiteral("silence"), QStringLiteral("Milliseconds of silence that end a page (default %1).").arg(defaults.printer.silenceMs), QStringLiteral("ms"), QString::number(defaults.printer.silenceMs));
    const QCommandLineOption maxPage(QStringLiteral("max-page"), QStringLiteral("Longest page in dot rows (default %1).").arg(defaults.printer.core.maxPageDots), QStringLiteral("dots"), QString::number(defaults.printer.core.maxPageDots));
    const QCommandLineOption headless(QStringLiteral("headless"), QStringLiteral("Run without a window (also when there is no display)."));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Print the command log on standard output too."));
    parser.addOptions({help, link, output, flash, buffer, speed, flow, lineRate, silence, maxPage, headless, verbose});

    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return ParseResult::Error;
    }
    if (parser.isSet(help)) {
        *message = parser.helpText();
        return ParseResult::Help;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return ParseResult::Error;
    }
    auto number = [&](const QCommandLineOption &option, double min, double max, double *out) {
        bool ok = false;
        const double v = parser.value(option).toDouble(&ok);
        if (!ok || v < min || v > max) {
            *message = QStringLiteral("--%1 must be a number from %2 to %3").arg(option.names().first()).arg(min).arg(max);
            return false;
        }
        *out = v;
        return true;
    };
    ProgramOptions o;
    o.service.linkPath = parser.value(link);
    o.service.outputDir = parser.value(output);
    o.service.flashPath = parser.value(flash);
    double v = 0;
    if (!number(buffer, 16, 64 * 1024 * 1024, &v))
        return ParseResult::Error;
    o.service.printer.bufferSize = static_cast<size_t>(v);
    if (!number(speed, 1, 1e9, &v))
        return ParseResult::Error;
    o.service.printer.printBytesPerSecond = v;
    if (!number(lineRate, 0, 1e8, &v))
        return ParseResult::Error;
    o.service.lineRate = static_cast<int>(v);
    if (!number(silence, 10, 3600 * 1000, &v))
        return ParseResult::Error;
    o.service.printer.silenceMs = static_cast<int64_t>(v);
    if (!number(maxPage, 256, 1000000, &v))
        return ParseResult::Error;
    o.service.printer.core.maxPageDots = static_cast<int>(v);
    const QString f = parser.value(flow).toLower();
    if (f == QLatin1String("none"))
        o.service.printer.flow = FlowMode::None;
    else if (f == QLatin1String("xonxoff"))
        o.service.printer.flow = FlowMode::XonXoff;
    else if (f == QLatin1String("hardware"))
        o.service.printer.flow = FlowMode::Hardware;
    else {
        *message = QStringLiteral("--flow must be none, xonxoff or hardware");
        return ParseResult::Error;
    }
    o.headless = parser.isSet(headless);
    o.verbose = parser.isSet(verbose);
    *options = o;
    return ParseResult::Run;
}

} // namespace kvp
