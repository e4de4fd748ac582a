#pragma once
// Bar codes (drawn with zint) and QR codes (encoded with libqrencode) as ink
// masks, one dot per pixel.

#include "inkmask.h"

#include <QByteArray>
#include <QString>

namespace kvp {

constexpr int barcodeSymbologies = 9; // symbology byte 0x41 + n, n = 0..8

struct BarcodeRequest {
    int symbology = 0;   // 0 UPC-A, 1 UPC-E, 2 EAN-13, 3 EAN-8, 4 Code 39, 5 ITF, 6 Codabar, 7 Code 93, 8 Code 128
    QByteArray data;
    int height = 80;     // bar height in dots
    int moduleWidth = 3; // narrow bar width in dots
    bool text = true;    // human-readable line under the bars
    int maxWidth = 384;  // the symbol must fit this many dots
};

struct SymbolResult {
    InkMask mask;
    QString error;        // empty when the symbol was drawn
    int moduleWidth = 0;  // module width used (may be narrower than asked, to fit)
};

const char *barcodeName(int symbology);
SymbolResult renderBarcode(const BarcodeRequest &request);

enum class QrLevel { L = 0, M = 1, Q = 2, H = 3 };

// A QR symbol with its quiet zone of four modules.
SymbolResult renderQrCode(const QByteArray &data, int moduleSize, QrLevel level, int maxWidth);

} // namespace kvp
