#include "options.h"

#include <QCommandLineParser>
#include <QDir>
#include <QStandardPaths>

#include <cmath>

namespace kvp {

QString defaultFlashPath()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/kivo-virtual-printer/flash.txt");
}

namespace {
const QString programName = QStringLiteral("kivo-virtual-printer");

// The program's options, with the defaults in their help texts.
struct OptionSet
{
    explicit OptionSet(const ServiceSettings &defaults);

    QCommandLineOption help;
    QCommandLineOption link;
    QCommandLineOption output;
    QCommandLineOption flash;
    QCommandLineOption buffer;
    QCommandLineOption speed;
    QCommandLineOption flow;
    QCommandLineOption lineRate;
    QCommandLineOption silence;
    QCommandLineOption maxPage;
    QCommandLineOption tcp;
    QCommandLineOption tcpBind;
    QCommandLineOption tcpIdle;
    QCommandLineOption maxPages;
    QCommandLineOption maxLog;
    QCommandLineOption headless;
    QCommandLineOption verbose;
};

OptionSet::OptionSet(const ServiceSettings &defaults)
    : help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."))
    , link(QStringLiteral("link"),
           QStringLiteral("Symbolic link to the device (default %1); \"\" for none.").arg(defaults.linkPath),
           QStringLiteral("path"), defaults.linkPath)
    , output(QStringLiteral("output"),
             QStringLiteral("Folder for page PNGs and commands.log (default %1).").arg(defaults.outputDir),
             QStringLiteral("folder"), defaults.outputDir)
    , flash(QStringLiteral("flash"),
            QStringLiteral("Flash file that keeps the head type (default %1).").arg(defaultFlashPath()),
            QStringLiteral("path"), defaultFlashPath())
    , buffer(QStringLiteral("buffer"),
             QStringLiteral("Receive buffer size in bytes (default %1).").arg(defaults.printer.bufferSize),
             QStringLiteral("bytes"), QString::number(defaults.printer.bufferSize))
    , speed(QStringLiteral("print-speed"),
            QStringLiteral("Bytes per second the print engine takes from the buffer (default %1).")
                .arg(defaults.printer.printBytesPerSecond),
            QStringLiteral("bytes/s"), QString::number(defaults.printer.printBytesPerSecond))
    , flow(QStringLiteral("flow"),
           QStringLiteral("Start-up flow control: none, xonxoff or hardware (default xonxoff)."),
           QStringLiteral("mode"), QStringLiteral("xonxoff"))
    , lineRate(QStringLiteral("line-rate"),
               QStringLiteral("Line speed in bit/s; 0 follows the host's setting (default 0)."),
               QStringLiteral("bit/s"), QStringLiteral("0"))
    , silence(QStringLiteral("silence"),
              QStringLiteral("Milliseconds of silence that end a page (default %1).").arg(defaults.printer.silenceMs),
              QStringLiteral("ms"), QString::number(defaults.printer.silenceMs))
    , maxPage(QStringLiteral("max-page"),
              QStringLiteral("Longest page in dot rows (default %1).").arg(defaults.printer.core.maxPageDots),
              QStringLiteral("dots"), QString::number(defaults.printer.core.maxPageDots))
    , tcp(QStringLiteral("tcp"), QStringLiteral("Also take print jobs on this TCP port (9100 on network printers)."),
          QStringLiteral("port"))
    , tcpBind(QStringLiteral("tcp-bind"),
              QStringLiteral("Address the TCP port listens on (default %1).").arg(defaults.tcpBind),
              QStringLiteral("address"), defaults.tcpBind)
    , tcpIdle(QStringLiteral("tcp-idle"),
              QStringLiteral("Seconds a TCP connection may stay silent (no byte sent, no answer read) before it is "
                             "closed (default %1).")
                  .arg(defaults.tcpIdleMs / 1000.0),
              QStringLiteral("seconds"), QString::number(defaults.tcpIdleMs / 1000.0))
    , maxPages(
          QStringLiteral("max-pages"),
          QStringLiteral("Pages written per run at most; later ones are dropped (default %1).").arg(defaults.maxPages),
          QStringLiteral("pages"), QString::number(defaults.maxPages))
    , maxLog(QStringLiteral("max-log"),
             QStringLiteral("Size of commands.log in MB at most (default %1).").arg(defaults.maxLogBytes >> 20),
             QStringLiteral("MB"), QString::number(defaults.maxLogBytes >> 20))
    , headless(QStringLiteral("headless"), QStringLiteral("Run without a window (also when there is no display)."))
    , verbose(QStringLiteral("verbose"), QStringLiteral("Print the command log on standard output too."))
{ }

// Reads a number option that must lie in [min, max].
bool readNumber(const QCommandLineParser &parser, const QCommandLineOption &option, double min, double max, double *out,
                QString *message)
{
    bool ok = false;
    const double v = parser.value(option).toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < min || v > max) {
        *message = QStringLiteral("--%1 must be a number from %2 to %3")
                       .arg(option.names().first())
                       .arg(min, 0, 'g', 12)
                       .arg(max, 0, 'g', 12);
        return false;
    }
    *out = v;
    return true;
}

bool readFlow(const QCommandLineParser &parser, const OptionSet &set, ProgramOptions &o, QString *message)
{
    const QString f = parser.value(set.flow).toLower();
    if (f == QLatin1String("none"))
        o.service.printer.flow = FlowMode::None;
    else if (f == QLatin1String("xonxoff"))
        o.service.printer.flow = FlowMode::XonXoff;
    else if (f == QLatin1String("hardware"))
        o.service.printer.flow = FlowMode::Hardware;
    else {
        *message = QStringLiteral("--flow must be none, xonxoff or hardware");
        return false;
    }
    return true;
}

bool readTcp(const QCommandLineParser &parser, const OptionSet &set, ProgramOptions &o, QString *message)
{
    o.service.tcpBind = parser.value(set.tcpBind);
    double idle = 0;
    if (!readNumber(parser, set.tcpIdle, 0.1, 86400, &idle, message))
        return false;
    o.service.tcpIdleMs = static_cast<int>(idle * 1000);
    if (!parser.isSet(set.tcp))
        return true;
    bool ok = false;
    const uint port = parser.value(set.tcp).toUInt(&ok);
    if (!ok || port < 1 || port > 65535) {
        *message = QStringLiteral("--tcp must be a port number from 1 to 65535");
        return false;
    }
    o.service.tcpPort = static_cast<quint16>(port);
    return true;
}

bool readLimits(const QCommandLineParser &parser, const OptionSet &set, ProgramOptions &o, QString *message)
{
    double v = 0;
    if (!readNumber(parser, set.maxPages, 1, 1e9, &v, message))
        return false;
    o.service.maxPages = static_cast<qint64>(v);
    if (!readNumber(parser, set.maxLog, 1, 1e6, &v, message))
        return false;
    o.service.maxLogBytes = static_cast<qint64>(v) << 20;
    return true;
}

bool readSettings(const QCommandLineParser &parser, const OptionSet &set, ProgramOptions &o, QString *message)
{
    o.service.linkPath = parser.value(set.link);
    o.service.outputDir = parser.value(set.output);
    o.service.flashPath = parser.value(set.flash);
    double v = 0;
    if (!readNumber(parser, set.buffer, 16, 64 * 1024 * 1024, &v, message))
        return false;
    o.service.printer.bufferSize = static_cast<size_t>(v);
    if (!readNumber(parser, set.speed, 1, 1e9, &v, message))
        return false;
    o.service.printer.printBytesPerSecond = v;
    if (!readNumber(parser, set.lineRate, 0, 1e8, &v, message))
        return false;
    o.service.lineRate = static_cast<int>(v);
    if (!readNumber(parser, set.silence, 10, 3600 * 1000, &v, message))
        return false;
    o.service.printer.silenceMs = static_cast<int64_t>(v);
    if (!readNumber(parser, set.maxPage, 256, 1000000, &v, message))
        return false;
    o.service.printer.core.maxPageDots = static_cast<int>(v);
    if (!readFlow(parser, set, o, message) || !readTcp(parser, set, o, message) || !readLimits(parser, set, o, message))
        return false;
    o.headless = parser.isSet(set.headless);
    o.verbose = parser.isSet(set.verbose);
    return true;
}
} // namespace

ParseResult parseOptions(const QStringList &arguments, ProgramOptions *options, QString *message)
{
    const ServiceSettings defaults;
    const OptionSet set(defaults);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Virtual VX02x printer controller on a pseudo-terminal. Printer Kivo lists it as a port of its own "
        "(Settings); its link path works as a \"Custom\" port as well. Pages are written as PNG files, the "
        "decoded commands to commands.log."));
    parser.addOptions({set.help, set.link, set.output, set.flash, set.buffer, set.speed, set.flow, set.lineRate,
                       set.silence, set.maxPage, set.tcp, set.tcpBind, set.tcpIdle, set.maxPages, set.maxLog,
                       set.headless, set.verbose});

    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return ParseResult::Error;
    }
    if (parser.isSet(set.help)) {
        // The options are read before the application object exists, so the
        // parser cannot know the program's name.
        *message = parser.helpText().replace(QStringLiteral("<executable_name>"), programName);
        return ParseResult::Help;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return ParseResult::Error;
    }
    ProgramOptions o;
    if (!readSettings(parser, set, o, message))
        return ParseResult::Error;
    *options = o;
    return ParseResult::Run;
}

} // namespace kvp
