// The nine bar code samples and the text line switch.

#include "demos/demos.h"

#include <cstring>

namespace demos {

using namespace printer;

namespace {

constexpr uint8_t barcodeHeight = 64;

// The data go as they stand: no check digit is added, the Codabar sample
// carries its own start and stop characters, the Code 128 sample no code set.
const BarcodeSample barcodeSamples[] = {
    {"Printing UPC-A bar code: 01234567890", "UPCA height=64 width=3", UpcA, "01234567890", 3},
    {"Printing UPC-E bar code: 012345", "UPC-E height=64 width=3", UpcE, "012345", 3},
    {"Printing EAN-13 bar code: 012345678901", "EAN13 height=64 width=3", Ean13, "012345678901", 3},
    {"Printing EAN-8 bar code: 0123456", "EAN-8 height=64 width=3", Ean8, "0123456", 3},
    {"Printing Code 39 bar code: 123456VX022", "Code 39 height=64 width=2", Code39, "123456VX022", 2},
    {"Printing ITF 2 5 bar code: 12345678", "ITF 2 5 height=64 width=3", Itf, "12345678", 3},
    {"Printing CODA BAR bar code: a123456a", "CODA BAR height=64 width=3", Codabar, "a123456a", 3},
    {"Printing CODE 93 bar code: 12345678", "CODE 93 height=64 width=3", Code93, "12345678", 3},
    {"Printing CODE 128A bar code: 12345678", "CODE 128A height=64 width=2", Code128, "12345678", 2},
};

} // namespace

const BarcodeSample &barcodeSample(Symbology symbology) { return barcodeSamples[symbology]; }

Demo barcode(const BarcodeSample &sample, bool leftMargin, std::optional<bool> textPrinted)
{
    Demo demo{Demo::Console::Replace, sample.consoleText, {}, {printerSoftInit()}};
    // The reset brings the text line back to the controller's default.
    if (textPrinted)
        demo.script.push_back(barcodeTextYesNo(*textPrinted ? 1 : 0));
    demo.script.insert(demo.script.end(), {print_with_font(sample.caption, mode::Normal), printAndFeedNFontLine(2)});
    if (leftMargin) {
        demo.script.push_back(ConsoleLine{"Adding 4 to left margin - Bar Code will be moved 4mm to the right"});
        demo.script.push_back(setLeftMargin(4));
    }
    const auto length = uint8_t(std::strlen(sample.data));
    demo.script.push_back(barcodeWidthSet(sample.moduleWidth));
    demo.script.push_back(barcodeHeightSet(barcodeHeight));
    demo.script.push_back(barcodePrint(sample.symbology, reinterpret_cast<const uint8_t *>(sample.data), length));
    demo.script.push_back(printAndFeedNFontLine(2));
    // Always back to no margin, whether or not one was set.
    demo.script.push_back(setLeftMargin(0));
    return demo;
}

Demo barcodeText(bool on)
{
    return {Demo::Console::Replace,
            on ? "Enable Bar Code Text printing - Default" : "Disable Bar Code Text printing",
            {},
            {barcodeTextYesNo(on ? 1 : 0)}};
}

} // namespace demos
