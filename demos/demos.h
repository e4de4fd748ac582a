#ifndef PRINTER_KIVO_DEMOS_H
#define PRINTER_KIVO_DEMOS_H

// The catalogue of demonstrations. Each function returns a demonstration as
// data; the window's button handlers run them.

#include "demos/script.h"

namespace demos {

// Text attributes, darkness and the feature sample.
Demo quickTest();
Demo attributes();
Demo density();

// The sample point-of-sale receipt, plain or ending in a cut.
enum class Receipt { Plain, FullCut, PartialCut };
Demo receipt(Receipt variant);

// The nine bar code samples.
struct BarcodeSample {
    const char *consoleText;
    const char *caption;
    printer::Symbology symbology;
    const char *data;
    uint8_t moduleWidth;
};
const BarcodeSample &barcodeSample(printer::Symbology symbology);
// With `leftMargin`, the bar code moves 4 mm to the right.
Demo barcode(const BarcodeSample &sample, bool leftMargin);
// The human-readable line under bar codes, on or off.
Demo barcodeText(bool on);

} // namespace demos

#endif
