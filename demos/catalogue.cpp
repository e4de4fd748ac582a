// The table of named demonstrations: the window's buttons, in the order of
// its tabs, each with the name a script gives it.

#include "demos/catalogue.h"

namespace demos {

namespace {

struct BarcodeButton
{
    printer::Symbology symbology;
    const char *name;
    const char *button;
    const char *label;
};

const BarcodeButton barcodeButtons[] = {
    {printer::UpcA, "upca", "pushButtonBarcodeUPCA", "UPC-A"},
    {printer::UpcE, "upce", "pushButtonBarcodeUPCE", "UPC-E"},
    {printer::Ean13, "ean13", "pushButtonBarcodeEAN13", "EAN-13"},
    {printer::Ean8, "ean8", "pushButtonBarcodeEAN8", "EAN-8"},
    {printer::Code39, "code39", "pushButtonBarcodeCODE39", "Code 39"},
    {printer::Itf, "itf", "pushButtonBarcodeITF25", "ITF 2 of 5"},
    {printer::Codabar, "codabar", "pushButtonBarcodeCODABAR", "Codabar"},
    {printer::Code93, "code93", "pushButtonBarcodeCODE93", "Code 93"},
    {printer::Code128, "code128", "pushButtonBarcodeCODE128A", "Code 128"},
};

const char *const headButtons[printHeadCount] = {
    "pushButtonFTP628",   "pushButtonFTP638",   "pushButtonLTP0213",  "pushButtonLTP02C1",
    "pushButton58_384",   "pushButton80_576",   "pushButtonM23_H69",  "pushButtonM23_SX",
    "pushButtonSeiko345", "pushButtonPT486HLV", "pushButtonJX2R39BQ",
};

// The controller's UART codes are these lists' places.
const char *const uartSpeeds[] = {"9600", "19200", "38400", "57600", "115200", "256000", "375000"};
const char *const uartFlows[] = {"none", "xonxoff", "hardware"};

using Build = std::function<Demo(const Session &)>;

Build fixed(Demo (*make)())
{
    return [make](const Session &) { return make(); };
}

void addGeneral(std::vector<NamedDemo> &table)
{
    const auto add = [&table](const char *name, const char *button, const char *description, Build build) {
        table.push_back({name, button, description, std::move(build), std::nullopt, std::nullopt});
    };
    add("quick-test", "pushButtonFont", "Quick Test: fonts and the feature sample", fixed(quickTest));
    add("attributes", "pushButtonAttributes", "Attributes: bold, underline, sizes, reverse", fixed(attributes));
    add("density", "pushButtonDensity", "Density: the darkness levels", fixed(density));
    add("receipt", "pushButtonReceipt", "Receipt: the sample point-of-sale receipt",
        [](const Session &) { return receipt(Receipt::Plain); });
    add("receipt-full-cut", "pushButtonReceiptFullCut", "Receipt with Full Cut",
        [](const Session &) { return receipt(Receipt::FullCut); });
    add("receipt-partial-cut", "pushButtonReceiptPartialCut", "Receipt with Partial Cut",
        [](const Session &) { return receipt(Receipt::PartialCut); });
    add("formatting", "pushButtonFormatting", "Formatting: spacing, feeds and margins", fixed(formatting));
    add("alignment", "pushButtonTabs", "Alignment: tab stops, positions, justification", fixed(alignment));
    add("language", "pushButtonLanguage", "Language: every character repertoire", fixed(language));
    add("qr-bitmap", "pushButtonBitmap", "QR Bitmap: the stored QR picture", fixed(qrBitmap));
    add("reset", "pushButtonReset", "Reset: initialize the controller", fixed(reset));
    add("clear-buffer", "pushButtonClear", "Clear Buffer & Line Feed", fixed(clearBuffer));
    add("line-feed", "pushButton_LineFeed", "Line Feed", fixed(lineFeed));
    add("full-cut", "pushButtonFullCut", "Full Cut", [](const Session &) { return cut(true); });
    add("partial-cut", "pushButtonPartialCut", "Partial Cut", [](const Session &) { return cut(false); });
    add("power-management", "pushButtonPowerManagment", "Power Management: sleep", fixed(powerManagement));
    add("next-label", "pushButtonNextLabel", "Next Label", fixed(nextLabel));
    add("test-label", "pushButtonTestLabel", "Print Label: the sample label", fixed(sampleLabel));
    add("version", "pushButtonVersion", "Version: ask for the firmware version", fixed(firmwareVersion));
    add("status", "pushButtonStatus", "Status: ask for the status byte", fixed(printerStatus));
}

void addBarcodes(std::vector<NamedDemo> &table)
{
    for (const bool margin : {false, true})
        for (const BarcodeButton &b : barcodeButtons) {
            const QString description = margin ? QStringLiteral("%1 bar code, 4 mm from the left").arg(b.label)
                                               : QStringLiteral("%1 bar code").arg(b.label);
            const printer::Symbology symbology = b.symbology;
            table.push_back({barcodeDemoName(symbology, margin), b.button, description,
                             [symbology, margin](const Session &session) {
                                 return barcode(barcodeSample(symbology), margin, session.barcodeTextPrinted);
                             },
                             std::nullopt, std::nullopt});
        }
    for (const bool on : {true, false})
        table.push_back(
            {on ? "barcode-text-on" : "barcode-text-off", on ? "pushButtonYesText" : "pushButtonNoText",
             on ? "Bar Code with Text (kept for the connection)" : "Bar Code without Text (kept for the connection)",
             [on](const Session &) { return barcodeText(on); }, on, std::nullopt});
}

void addConfiguration(std::vector<NamedDemo> &table)
{
    for (uint8_t head = 0; head < printHeadCount; ++head)
        table.push_back({headDemoName(head), headButtons[head], printHead(head).title,
                         [head](const Session &) { return printHead(head); }, std::nullopt, head});
    // The controller's start-up setting first: Apply with the window's
    // buttons untouched.
    std::vector<std::pair<uint8_t, uint8_t>> uarts = {{defaultUartSpeed, defaultUartFlow}};
    for (size_t speed = 0; speed < std::size(uartSpeeds); ++speed)
        for (size_t flow = 0; flow < std::size(uartFlows); ++flow)
            if (speed != defaultUartSpeed || flow != defaultUartFlow)
                uarts.emplace_back(uint8_t(speed), uint8_t(flow));
    for (const auto &uart : uarts) {
        const uint8_t speed = uart.first, flow = uart.second;
        table.push_back(
            {uartDemoName(speed, flow), "pushButtonApply",
             QStringLiteral("Controller UART: %1 bit/s, flow control %2").arg(uartSpeeds[speed], uartFlows[flow]),
             [speed, flow](const Session &) { return uartSetting(speed, flow); }, std::nullopt, std::nullopt});
    }
}

std::vector<NamedDemo> buildCatalogue()
{
    std::vector<NamedDemo> table;
    addGeneral(table);
    addBarcodes(table);
    addConfiguration(table);
    return table;
}

} // namespace

const std::vector<NamedDemo> &catalogue()
{
    static const std::vector<NamedDemo> table = buildCatalogue();
    return table;
}

const NamedDemo *findDemo(const QString &name)
{
    for (const NamedDemo &demo : catalogue())
        if (demo.name == name)
            return &demo;
    return nullptr;
}

Demo take(const NamedDemo &demo, Session &session)
{
    if (demo.choosesBarcodeText)
        session.barcodeTextPrinted = demo.choosesBarcodeText;
    return demo.build(session);
}

QString barcodeDemoName(printer::Symbology symbology, bool leftMargin)
{
    for (const BarcodeButton &b : barcodeButtons)
        if (b.symbology == symbology)
            return QStringLiteral("barcode-%1%2").arg(QLatin1String(b.name), leftMargin ? "-margin" : "");
    return {};
}

QString headDemoName(uint8_t headIndex) { return QStringLiteral("head-%1").arg(headIndex); }

QString uartDemoName(uint8_t speed, uint8_t flow)
{
    if (speed >= std::size(uartSpeeds) || flow >= std::size(uartFlows))
        return {};
    return QStringLiteral("uart-%1-%2").arg(uartSpeeds[speed], uartFlows[flow]);
}

} // namespace demos
