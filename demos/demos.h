#pragma once

// The catalogue of demonstrations. Each function returns a demonstration as
// data; the window's button handlers run them.

#include "demos/script.h"

#include <optional>

namespace demos {

// Text attributes, darkness and the feature sample.
Demo quickTest();
Demo attributes();
Demo density();

// The sample point-of-sale receipt, plain or ending in a cut.
enum class Receipt { Plain, FullCut, PartialCut };
Demo receipt(Receipt variant);

// The nine bar code samples.
struct BarcodeSample
{
    const char *consoleText;
    const char *caption;
    printer::Symbology symbology;
    const char *data;
    uint8_t moduleWidth;
};
const BarcodeSample &barcodeSample(printer::Symbology symbology);
// With `leftMargin`, the bar code moves 4 mm to the right; `textPrinted`,
// once the user chose it, follows the reset.
Demo barcode(const BarcodeSample &sample, bool leftMargin, std::optional<bool> textPrinted = std::nullopt);
// The human-readable line under bar codes, on or off.
Demo barcodeText(bool on);

// Line spacing, feeds, carriage return and margins; tab stops, absolute
// position and justification (the "Alignment" button).
Demo formatting();
Demo alignment();

// Samples of every character repertoire the controller accepts, with the
// explanation of its character handling in the console.
Demo language();

// Housekeeping: the stored QR picture, reset, buffer clearing, feeds, cuts,
// sleep, labels and the two requests whose replies the console shows.
Demo qrBitmap();
Demo reset();
Demo clearBuffer();
Demo lineFeed();
Demo cut(bool full);
Demo powerManagement();
Demo nextLabel();
Demo firmwareVersion();
Demo printerStatus();
Demo sampleLabel();

// The controller's own configuration: the print head type (kept in its
// flash) and the speed and flow control of its UART.
constexpr uint8_t printHeadCount = 11;
// `headIndex` below printHeadCount.
Demo printHead(uint8_t headIndex);
// The dots a line that head prints: 384 for the 58 mm heads, 576 for the
// 80 mm ones; 0 for an index the controller does not know.
int printHeadDots(uint8_t headIndex);
// The controller's start-up setting: 115200 bit/s with XON/XOFF.
constexpr uint8_t defaultUartSpeed = 4;
constexpr uint8_t defaultUartFlow = 1;
Demo uartSetting(uint8_t speed, uint8_t flow);

} // namespace demos
