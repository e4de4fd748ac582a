#include "script/sendoptions.h"

#include <functional>
#include <map>

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
    bitmap::PictureOptions &p = picture->picture;
    QString text;
    if (arg == "--fit")
        p.fitToWidth = true;
    else if (arg == "--invert")
        p.invert = true;
    else if (arg == "--paper" && value(arg, text)) {
        if (text != "384" && text != "576")
            return fail(QStringLiteral("--paper is 384 or 576 dots, not %1").arg(text));
        p.paperWidth = text.toInt();
    } else if (arg == "--dither" && value(arg, text)) {
        const QString level = text.section(u'=', 1);
        const QString kind = text.section(u'=', 0, 0);
        bool ok = true;
        p.greys = kind == "diffusion" ? bitmap::GreyToMono::Diffusion
                  : kind == "ordered" ? bitmap::GreyToMono::Ordered
                                      : bitmap::GreyToMono::Threshold;
        if (kind == "threshold" && !level.isEmpty())
            p.thresholdLevel = level.toInt(&ok);
        if (!ok || p.thresholdLevel < 1 || p.thresholdLevel > 255
            || !(kind == "threshold" || (level.isEmpty() && (kind == "diffusion" || kind == "ordered"))))
            return fail(QStringLiteral("--dither is diffusion, ordered or threshold[=1..255], not %1").arg(text));
    }
    return true;
}

bool Reader::serialOption(const QString &arg)
{
    static const std::map<QString, QSerialPort::FlowControl> flows = {
        {"none", QSerialPort::NoFlowControl}, {"xonxoff", QSerialPort::SoftwareControl},
        {"rtscts", QSerialPort::HardwareControl}};
    static const std::map<QString, QSerialPort::Parity> parities = {
        {"none", QSerialPort::NoParity}, {"even", QSerialPort::EvenParity}, {"odd", QSerialPort::OddParity}};
    QString text;
    bool ok = true;
    if (arg == "--baud" && value(arg, text)) {
        out.baudRate = text.toInt(&ok);
        if (!ok || out.baudRate <= 0)
            fail(QStringLiteral("--baud needs a rate in bit/s, not %1").arg(text));
    } else if (arg == "--flow" && value(arg, text)) {
        const auto it = flows.find(text);
        it == flows.end() ? (void)fail(QStringLiteral("--flow is none, xonxoff or rtscts, not %1").arg(text))
                          : (void)(out.flow = it->second);
    } else if (arg == "--parity" && value(arg, text)) {
        const auto it = parities.find(text);
        it == parities.end() ? (void)fail(QStringLiteral("--parity is none, even or odd, not %1").arg(text))
                             : (void)(out.parity = it->second);
    } else if (arg == "--data-bits" && value(arg, text)) {
        const int bits = text.toInt(&ok);
        ok && bits >= 5 && bits <= 8 ? (void)(out.dataBits = QSerialPort::DataBits(bits))
                                     : (void)fail(QStringLiteral("--data-bits is 5 to 8, not %1").arg(text));
    } else if (arg == "--stop-bits" && value(arg, text)) {
        text == "1" || text == "2" ? (void)(out.stopBits = text == "1" ? QSerialPort::OneStop : QSerialPort::TwoStop)
                                   : (void)fail(QStringLiteral("--stop-bits is 1 or 2, not %1").arg(text));
    } else {
        return arg == "--baud" || arg == "--flow" || arg == "--parity" || arg == "--data-bits"
               || arg == "--stop-bits";
    }
    return true;
}

bool Reader::linkOption(const QString &arg)
{
    static const std::map<QString, SendOptions::LinkKind> kinds = {{"--port", SendOptions::LinkKind::SerialPort},
                                                                   {"--tcp", SendOptions::LinkKind::Network},
                                                                   {"--device", SendOptions::LinkKind::DeviceFile}};
    const auto kind = kinds.find(arg);
    if (kind == kinds.end())
        return false;
    QString text;
    if (!value(arg, text))
        return true;
    if (out.link != SendOptions::LinkKind::None)
        return fail(QStringLiteral("name one printer: --port, --tcp or --device, once"));
    out.link = kind->second;
    out.target = text;
    if (out.link == SendOptions::LinkKind::Network && text.contains(u':')) {
        bool ok = false;
        const uint port = text.section(u':', -1).toUInt(&ok);
        out.target = text.section(u':', 0, -2);
        if (!ok || port == 0 || port > 65535 || out.target.isEmpty())
            return fail(QStringLiteral("--tcp is HOST or HOST:PORT, not %1").arg(text));
        out.networkPort = quint16(port);
    }
    return true;
}

bool Reader::actionOption(const QString &arg)
{
    static const std::map<QString, Action::Kind> kinds = {
        {"--demo", Action::Kind::Demo}, {"--picture", Action::Kind::Picture}, {"--file", Action::Kind::File},
        {"--hex", Action::Kind::Hex},   {"--text", Action::Kind::Text}};
    if (arg == "--status" || arg == "--version") {
        out.actions.append({Action::Kind::Demo, arg.mid(2), {}, encoding});
        return true;
    }
    if (arg == "--encoding") {
        static const std::map<QString, printer::TextEncoding> encodings = {
            {"controller", printer::TextEncoding::Controller},
            {"utf8", printer::TextEncoding::Utf8},
            {"raw", printer::TextEncoding::RawBytes}};
        QString text;
        if (value(arg, text)) {
            const auto it = encodings.find(text);
            it == encodings.end() ? (void)fail(QStringLiteral("--encoding is controller, utf8 or raw, not %1").arg(text))
                                  : (void)(encoding = it->second);
        }
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
        if (options.link == SendOptions::LinkKind::None)
            why = QStringLiteral("name the printer: --port PATH, --tcp HOST[:PORT] or --device PATH");
        else if (options.actions.isEmpty())
            why = QStringLiteral("nothing to send: give an action such as --demo receipt (see --help)");
    }
    if (error)
        *error = why;
    return options;
}

QString linkName(const SendOptions &options)
{
    if (options.link == SendOptions::LinkKind::Network)
        return QStringLiteral("%1:%2").arg(options.target).arg(options.networkPort);
    return options.target;
}

QString usageText()
{
    return QStringLiteral(
        "Usage: kivo-send PRINTER [LINE OPTIONS] ACTION... [--json]\n"
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
        "  --status, --version    ask the controller; the answer goes to standard output\n"
        "\n"
        "  --json                 one JSON result on standard output\n"
        "  --list-demos           the demonstration names\n"
        "  --program-version      kivo-send's own version\n"
        "\n"
        "Exit status: 0 done, 1 an action refused or unanswered, 2 bad arguments,\n"
        "3 the printer could not be reached, 4 the link was lost, 130 stopped by Ctrl+C.\n");
}

} // namespace script
