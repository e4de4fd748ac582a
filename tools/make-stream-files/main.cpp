// Writes tests/data/demos/*.txt: for each demonstration button, what the
// console shows and every write the button sends, one controller command a
// line (in the notation of tests/support/streamnotation.h), each named as the
// virtual printer's decoder reads it. Run by hand when a demonstration
// changes on purpose, and check the difference before committing it:
//   cmake --build build --target make-stream-files && build/tools/make-stream-files tests/data/demos

#include "support/recordedwindow.h"

#include "demos/pictures.h"
#include "printercore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <map>

namespace {

struct Sample
{
    const char *file;
    const char *title;
    const char *button;
    QStringList setup; // "set <button>", "unset <button>", "also <button>", "before <button>"
};

// NOLINTNEXTLINE(readability-function-size): a table
const QList<Sample> &samples()
{
    static const QList<Sample> list = {
        {"quick-test", "Quick Test (General)", "pushButtonFont", {}},
        {"attributes", "Text attributes (General)", "pushButtonAttributes", {}},
        {"density", "Darkness (General)", "pushButtonDensity", {}},
        {"formatting", "Formatting (General)", "pushButtonFormatting", {}},
        {"alignment", "Alignment and tabs (General)", "pushButtonTabs", {}},
        {"language", "Languages (General)", "pushButtonLanguage", {}},
        {"receipt", "The sample receipt (General)", "pushButtonReceipt", {}},
        {"receipt-full-cut", "The sample receipt with a full cut (Cutter)", "pushButtonReceiptFullCut", {}},
        {"receipt-partial-cut", "The sample receipt with a partial cut (Cutter)", "pushButtonReceiptPartialCut", {}},
        {"qr-bitmap", "The stored QR picture (General)", "pushButtonBitmap", {}},
        {"reset", "Reset (General)", "pushButtonReset", {}},
        {"clear-buffer", "Clear buffer and line feed (General)", "pushButtonClear", {}},
        {"line-feed", "Line feed (Cutter): the console keeps its text", "pushButton_LineFeed", {}},
        {"full-cut", "Full cut (Cutter)", "pushButtonFullCut", {}},
        {"partial-cut", "Partial cut (Cutter)", "pushButtonPartialCut", {}},
        {"power-management", "Sleep (General)", "pushButtonPowerManagment", {}},
        {"next-label", "Next label (General)", "pushButtonNextLabel", {}},
        {"test-label", "Sample label (General)", "pushButtonTestLabel", {}},
        {"version", "Version request (General): the console is cleared for the reply", "pushButtonVersion", {}},
        {"status", "Status request (General): the console is cleared for the reply", "pushButtonStatus", {}},
        {"barcode-upca", "UPC-A (Bar Codes)", "pushButtonBarcodeUPCA", {}},
        {"barcode-upca-margin",
         "UPC-A with the left margin (Bar Codes)",
         "pushButtonBarcodeUPCA",
         {"set checkBoxBarCodeMargin"}},
        {"barcode-upce", "UPC-E (Bar Codes)", "pushButtonBarcodeUPCE", {}},
        {"barcode-ean13", "EAN-13 (Bar Codes)", "pushButtonBarcodeEAN13", {}},
        {"barcode-ean8", "EAN-8 (Bar Codes)", "pushButtonBarcodeEAN8", {}},
        {"barcode-code39", "Code 39 (Bar Codes)", "pushButtonBarcodeCODE39", {}},
        {"barcode-itf", "ITF 2 of 5 (Bar Codes)", "pushButtonBarcodeITF25", {}},
        {"barcode-codabar", "Codabar (Bar Codes)", "pushButtonBarcodeCODABAR", {}},
        {"barcode-code93", "Code 93 (Bar Codes)", "pushButtonBarcodeCODE93", {}},
        {"barcode-code128", "Code 128 (Bar Codes)", "pushButtonBarcodeCODE128A", {}},
        {"barcode-text-on", "Bar code text on (Bar Codes)", "pushButtonYesText", {}},
        {"barcode-text-off", "Bar code text off (Bar Codes)", "pushButtonNoText", {}},
        {"barcode-after-text-off",
         "Code 39 after \"Bar Code without Text\": the choice outlasts the reset (Bar Codes)",
         "pushButtonBarcodeCODE39",
         {"before pushButtonNoText"}},
        {"barcode-after-text-on",
         "EAN-8 with the margin after \"Bar Code with Text\" (Bar Codes)",
         "pushButtonBarcodeEAN8",
         {"before pushButtonYesText", "set checkBoxBarCodeMargin"}},
        {"head-0", "Print head type 0 (Controller)", "pushButtonFTP628", {}},
        {"head-1", "Print head type 1 (Controller)", "pushButtonFTP638", {}},
        {"head-2", "Print head type 2 (Controller)", "pushButtonLTP0213", {}},
        {"head-3", "Print head type 3 (Controller)", "pushButtonLTP02C1", {}},
        {"head-4", "Print head type 4 (Controller)", "pushButton58_384", {}},
        {"head-5", "Print head type 5 (Controller)", "pushButton80_576", {}},
        {"head-6", "Print head type 6 (Controller)", "pushButtonM23_H69", {}},
        {"head-7", "Print head type 7 (Controller)", "pushButtonM23_SX", {}},
        {"head-8", "Print head type 8 (Controller)", "pushButtonSeiko345", {}},
        {"head-9", "Print head type 9 (Controller)", "pushButtonPT486HLV", {}},
        {"head-10", "Print head type 10 (Controller)", "pushButtonJX2R39BQ", {}},
        {"uart-defaults", "Apply with the start-up choice (Controller)", "pushButtonApply", {}},
        {"uart-9600-none",
         "Apply 9600 bit/s, no flow control (Controller)",
         "pushButtonApply",
         {"set radioButton9600", "set radioButtonNoFlow"}},
        {"uart-375000-hardware",
         "Apply 375000 bit/s, RTS/CTS (Controller)",
         "pushButtonApply",
         {"set radioButton375000", "set radioButtonHardFlow"}},
        {"uart-nothing-checked",
         "Apply with no button checked: the start-up setting (Controller)",
         "pushButtonApply",
         {"unset radioButton115200", "unset radioButtonSoftFlow"}},
        {"uart-two-speeds",
         "Apply with two speeds checked: the first in the list wins (Controller)",
         "pushButtonApply",
         {"set radioButton57600", "also radioButton19200"}},
    };
    return list;
}

// The PBM file a write's bytes come from, if they are a stored picture.
QString pictureName(const QByteArray &bytes)
{
    const std::pair<const RasterPicture *, const char *> pictures[] = {
        {&featureLogoBitmap, "feature-logo.pbm"},     {&arrowSymbolsBitmap, "arrow-symbols.pbm"},
        {&circledDigitsBitmap, "circled-digits.pbm"}, {&rasterSampleBitmap, "raster-sample.pbm"},
        {&receiptHeaderBitmap, "receipt-header.pbm"}, {&qrSampleBitmap, "qr-sample.pbm"}};
    for (const auto &[picture, name] : pictures)
        if (bytes.size() == qsizetype(picture->size())
            && bytes == QByteArray::fromRawData(reinterpret_cast<const char *>(picture->data), bytes.size()))
            return QStringLiteral("<%1>").arg(name);
    return {};
}

// How a write reads best: a command's bytes in hex, text and data quoted
// when they are printable, a stored picture by its file.
enum class Part { Command, Text, Data };

QString spelled(const QByteArray &bytes, Part part)
{
    QString picture = pictureName(bytes);
    if (!picture.isEmpty())
        return picture;
    bool printable = part != Part::Command || bytes.isEmpty();
    for (char c : bytes)
        printable = printable && ((c >= 0x20 && c < 0x7F) || c == '\n');
    if (!printable)
        return QString::fromLatin1(bytes.toHex(' ').toUpper());
    QString text = QString::fromLatin1(bytes);
    text.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'"', QStringLiteral("\\\""))
        .replace(u'\n', QStringLiteral("\\n"));
    return u'"' + text + u'"';
}

// The decoder's name for each offset where a command or a text run starts.
std::map<qint64, QString> commandNames(const QByteArray &stream)
{
    kvp::MemoryLog log;
    kvp::PrinterCore printer(kvp::PrinterCore::Options{}, &log);
    printer.feed(stream);
    printer.finish();
    std::map<qint64, QString> names;
    for (const kvp::LogEntry &entry : log.entries())
        if (entry.offset >= 0 && !names.count(entry.offset))
            names[entry.offset] =
                entry.name == QLatin1String("text") ? QString() : (entry.name + ' ' + entry.args).trimmed();
    return names;
}

// One line a command: a write that starts where the decoder starts a command
// or a text run begins a line; one that starts inside a command joins it.
QStringList commandLines(const QStringList &transcript)
{
    QByteArray stream;
    for (const QString &entry : transcript)
        if (entry.startsWith("w "))
            stream += QByteArray::fromHex(entry.mid(2).toLatin1());
    const std::map<qint64, QString> names = commandNames(stream);
    QStringList lines;
    QString comment;
    qint64 offset = 0;
    auto finishLine = [&] {
        if (!comment.isEmpty())
            lines.last() = lines.last().leftJustified(40) + " # " + comment;
        comment.clear();
    };
    bool startLine = true;
    for (const QString &entry : transcript) {
        if (!entry.startsWith("w ")) {
            finishLine();
            lines << (entry.size() > 2 ? entry : QStringLiteral(">"));
            startLine = true;
            continue;
        }
        const QByteArray bytes = QByteArray::fromHex(entry.mid(2).toLatin1());
        const auto name = bytes.isEmpty() ? names.end() : names.find(offset);
        if (startLine || name != names.end()) {
            finishLine();
            comment = name != names.end() ? name->second : QString();
            const bool text = name != names.end() && name->second.isEmpty();
            lines << spelled(bytes, name == names.end() ? Part::Data : text ? Part::Text : Part::Command);
        } else {
            lines.last() += " | " + spelled(bytes, Part::Data);
        }
        startLine = false;
        offset += bytes.size();
    }
    finishLine();
    return lines;
}

bool write(const QDir &dir, const Sample &sample)
{
    RecordedWindow w;
    const QStringList setup = sample.setup + QStringList{QStringLiteral("click %1").arg(sample.button)};
    QAbstractButton *button = prepareClick(w.window, setup);
    w.console()->setPlainText(QStringLiteral("typed by the user"));
    const QStringList lines = commandLines(w.transcript(button));
    QFile file(dir.filePath(QString::fromLatin1(sample.file) + ".txt"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&file);
    out << "# " << sample.title << '\n' << setup.join(u'\n') << '\n' << lines.join(u'\n') << '\n';
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("tests/data/demos"));
    for (const Sample &sample : samples())
        if (!write(dir, sample))
            return 1;
    return 0;
}
