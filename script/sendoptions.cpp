#include "script/sendoptions.h"

#include <map>
#include <utility>

namespace script {

namespace {

// Reads the arguments one by one; a value-taking option takes the next.
class Reader
{
public:
    Reader(const QStringList &arguments, SendOptions &options, QString &error)
        : args(arguments)
        , out(options)
        , error(error)
    { }
    void run();

private:
    bool value(const QString &option, QString &into);
    bool pictureOption(const QString &arg);
    template<typename T>
    void choose(const QString &option, const std::map<QString, T> &table, const char *what, T &into,
                QString *text = nullptr);
    bool serialOption(const QString &arg);
    bool linkOption(const QString &arg);
    bool actionOption(const QString &arg);
    Action *lastPicture();
    bool fail(const QString &text)
    {
        if (error.isEmpty())
            error = text;
        return true;
    }

    const QStringList &args;
    SendOptions &out;
    QString &error;
    qsizetype at = 0;
    printer::TextEncoding encoding = printer::TextEncoding::Controller;
};

bool Reader::value(const QString &option, QString &into)
{
    if (at + 1 >= args.size()) {
        fail(QStringLiteral("%1 needs a value").arg(option));
        return false;
    }
    into = args.at(++at);
    return true;
}

Action *Reader::lastPicture()
{
    if (out.actions.isEmpty() || out.actions.last().kind != Action::Kind::Picture)
        return nullptr;
    return &out.actions.last();
}

bool Reader::pictureOption(const QString &arg)
{
    static const QStringList names = {"--paper", "--fit", "--dither", "--invert"};
    if (!names.contains(arg))
        return false;
    Action *picture = lastPicture();
    if (!picture)
        return fail(QStringLiteral("%1 goes after the --picture it is for").arg(arg));
    static const std::map<QString, int> papers = {{"384", bitmap::maxPrintWidth}, {"576", bitmap::widePrintWidth}};
    static const std::map<QString, bitmap::GreyToMono> greys = {{"diffusion", bitmap::GreyToMono::Diffusion},
                                                                {"ordered", bitmap::GreyToMono::Ordered},
                                                                {"threshold", bitmap::GreyToMono::Threshold}};
    bitmap::PictureOptions &p = picture->picture;
    if (arg == "--fit") {
        p.fitToWidth = true;
    } else if (arg == "--invert") {
        p.invert = true;
    } else if (arg == "--paper") {
        choose(arg, papers, "384 or 576", p.paperWidth);
    } else if (at + 1 < args.size() && args.at(at + 1).startsWith(QLatin1String("threshold="))) {
        // --dither threshold=N: the level, 1 to 255.
        bool ok = false;
        p.greys = bitmap::GreyToMono::Threshold;
        p.thresholdLevel = args.at(++at).section(u'=', 1).toInt(&ok);
        if (!ok || p.thresholdLevel < 1 || p.thresholdLevel > 255)
            fail(QStringLiteral("--dither threshold=N takes a level from 1 to 255, not %1").arg(args.at(at)));
    } else {
        choose(arg, greys, "diffusion, ordered or threshold[=N]", p.greys);
    }
    return true;
}

// Reads one value of a table into `into`; `what` says which values there are.
template<typename T>
void Reader::choose(const QString &option, const std::map<QString, T> &table, const char *what, T &into, QString *text)
{
    QString chosen;
    if (!value(option, chosen))
        return;
    const auto it = table.find(chosen);
    if (it == table.end()) {
        fail(QStringLiteral("%1 is %2, not %3").arg(option, QLatin1String(what), chosen));
        return;
    }
    into = it->second;
    if (text)
        *text = chosen;
}

bool Reader::serialOption(const QString &arg)
{
    static const std::map<QString, QSerialPort::FlowControl> flows = {{"none", QSerialPort::NoFlowControl},
                                                                      {"xonxoff", QSerialPort::SoftwareControl},
                                                                      {"rtscts", QSerialPort::HardwareControl}};
    static const std::map<QString, QSerialPort::Parity> parities = {
        {"none", QSerialPort::NoParity}, {"even", QSerialPort::EvenParity}, {"odd", QSerialPort::OddParity}};
    static const std::map<QString, QSerialPort::DataBits> dataBits = {
        {"5", QSerialPort::Data5}, {"6", QSerialPort::Data6}, {"7", QSerialPort::Data7}, {"8", QSerialPort::Data8}};
    static const std::map<QString, QSerialPort::StopBits> stopBits = {{"1", QSerialPort::OneStop},
                                                                      {"2", QSerialPort::TwoStop}};
    SerialSettings &line = out.link.serial;
    QString text;
    if (arg == "--baud") {
        bool ok = false;
        if (value(arg, text) && ((line.baudRate = text.toInt(&ok)) <= 0 || !ok))
            fail(QStringLiteral("--baud needs a rate in bit/s, not %1").arg(text));
        line.baudRateText = text;
    } else if (arg == "--flow") {
        choose(arg, flows, "none, xonxoff or rtscts", line.flowControl, &line.flowControlText);
    } else if (arg == "--parity") {
        choose(arg, parities, "none, even or odd", line.parity, &line.parityText);
    } else if (arg == "--data-bits") {
        choose(arg, dataBits, "5 to 8", line.dataBits, &line.dataBitsText);
    } else if (arg == "--stop-bits") {
        choose(arg, stopBits, "1 or 2", line.stopBits, &line.stopBitsText);
    } else {
        return false;
    }
    return true;
}

bool Reader::linkOption(const QString &arg)
{
    using Kind = serial::LinkSettings::Kind;
    static const std::map<QString, Kind> kinds = {
        {"--port", Kind::Serial}, {"--tcp", Kind::Network}, {"--device", Kind::DeviceFile}};
    const auto kind = kinds.find(arg);
    if (kind == kinds.end())
        return false;
    QString text;
    if (!value(arg, text))
        return true;
    if (std::exchange(out.linkNamed, true))
        return fail(QStringLiteral("name one printer: --port, --tcp or --device, once"));
    out.link.kind = kind->second;
    QString why;
    if (kind->second == Kind::Serial)
        out.link.serial.portName = text;
    else if (kind->second == Kind::DeviceFile)
        out.link.devicePath = text;
    else if (!serial::parseHostPort(text, &out.link.host, &out.link.port, &why))
        fail(QStringLiteral("--tcp %1: %2").arg(text, why));
    return true;
}

bool Reader::actionOption(const QString &arg)
{
    static const std::map<QString, Action::Kind> kinds = {{"--demo", Action::Kind::Demo},
                                                          {"--picture", Action::Kind::Picture},
                                                          {"--file", Action::Kind::File},
                                                          {"--hex", Action::Kind::Hex},
                                                          {"--text", Action::Kind::Text}};
    if (arg == "--status" || arg == "--version") {
        out.actions.append({Action::Kind::Demo, arg.mid(2), {}, encoding});
        return true;
    }
    if (arg == "--encoding") {
        static const std::map<QString, printer::TextEncoding> encodings = {
            {"controller", printer::TextEncoding::Controller},
            {"utf8", printer::TextEncoding::Utf8},
            {"raw", printer::TextEncoding::RawBytes}};
        choose(arg, encodings, "controller, utf8 or raw", encoding);
        return true;
    }
    const auto kind = kinds.find(arg);
    if (kind == kinds.end())
        return false;
    QString text;
    if (value(arg, text))
        out.actions.append({kind->second, text, {}, encoding});
    return true;
}

void Reader::run()
{
    for (at = 0; at < args.size() && error.isEmpty(); ++at) {
        const QString &arg = args.at(at);
        if (arg == "--json")
            out.json = true;
        else if (arg == "--list-demos")
            out.listDemos = true;
        else if (arg == "--help" || arg == "-h")
            out.help = true;
        else if (arg == "--program-version")
            out.programVersion = true;
        else if (!linkOption(arg) && !serialOption(arg) && !pictureOption(arg) && !actionOption(arg))
            fail(QStringLiteral("unknown option %1 (see --help)").arg(arg));
    }
}

} // namespace

SendOptions parseSendArguments(const QStringList &arguments, QString *error)
{
    SendOptions options;
    QString why;
    Reader(arguments, options, why).run();
    if (why.isEmpty() && !options.help && !options.listDemos && !options.programVersion) {
        if (!options.linkNamed)
            why = QStringLiteral("name the printer: --port PATH, --tcp HOST[:PORT] or --device PATH");
        else if (options.actions.isEmpty())
            why = QStringLiteral("nothing to send: give an action such as --demo receipt (see --help)");
    }
    if (error)
        *error = why;
    return options;
}

serial::LinkSettings defaultLink()
{
    serial::LinkSettings link;
    link.serial = {QString(), 115200,
                   "115200",  QSerialPort::Data8,
                   "8",       QSerialPort::NoParity,
                   "None",    QSerialPort::OneStop,
                   "1",       QSerialPort::SoftwareControl,
                   "XON/XOFF"};
    return link;
}

QString usageText()
{
    return QStringLiteral("Usage: kivo-send PRINTER [LINE OPTIONS] ACTION... [--json]\n"
                          "\n"
                          "Sends the demonstrations, pictures, files and command lines of Printer Kivo,\n"
                          "byte for byte as its window sends them, in the order given.\n"
                          "\n"
                          "Printer (one of):\n"
                          "  --port PATH            a serial port, e.g. /dev/ttyUSB0\n"
                          "      --baud N           bit/s (115200)\n"
                          "      --flow none|xonxoff|rtscts   (xonxoff)\n"
                          "      --parity none|even|odd, --data-bits 5..8, --stop-bits 1|2  (8N1)\n"
                          "  --tcp HOST[:PORT]      a network printer's raw port (9100)\n"
                          "  --device PATH          a printer device file, e.g. /dev/usb/lp0\n"
                          "\n"
                          "Actions:\n"
                          "  --demo NAME            a demonstration button (--list-demos names them)\n"
                          "  --picture FILE         an image printed as raster bands, followed by\n"
                          "      --paper 384|576 --fit --dither diffusion|threshold[=N]|ordered --invert\n"
                          "  --file FILE            a file's bytes as they stand\n"
                          "  --hex \"1B 40\"          bytes in hex, as the Command tab's Hex line\n"
                          "  --text \"...\"           a Command tab line (escapes \\n \\r \\t \\\\ \\xHH);\n"
                          "      --encoding controller|utf8|raw before it (controller)\n"
                          "  --status, --version    ask the controller; its answer (waited for up to 10 s)\n"
                          "                         goes to standard output\n"
                          "\n"
                          "  --json                 one JSON result on standard output\n"
                          "  --list-demos           the demonstration names\n"
                          "  --program-version      kivo-send's own version\n"
                          "\n"
                          "Exit status: 0 done, 1 an action refused or unanswered, 2 bad arguments,\n"
                          "3 the printer could not be reached, 4 the link was lost, 130 stopped by Ctrl+C.\n");
}

} // namespace script
