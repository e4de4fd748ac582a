#pragma once
// Bar codes and PDF417 (drawn with zint) and QR codes (encoded with libqrencode) as ink
// masks, one dot per pixel.

#include "decoder/commands.h"
#include "inkmask.h"

#include <QByteArray>
#include <QString>

namespace kvp {

struct BarcodeRequest
{
    Symbology symbology = Symbology::UpcA;
    QByteArray data;
    int height = 80;     // bar height in dots
    int moduleWidth = 3; // narrow bar width in dots
    bool text = true;    // human-readable line under the bars
    int maxWidth = 384;  // the symbol must fit this many dots
};

struct SymbolResult
{
    InkMask mask;
    QString error;       // empty when the symbol was drawn
    int moduleWidth = 0; // module width used (may be narrower than asked, to fit)
};

SymbolResult renderBarcode(const BarcodeRequest &request);

struct Pdf417Request
{
    QByteArray data;
    int columns = 0; // data columns, 0 automatic
    int rows = 0;    // rows, 0 automatic
    int moduleWidth = 3;
    int rowHeight = 3; // in modules
    int level = -1;    // error correction 0..8, -1 automatic
    int maxWidth = 384;
};
SymbolResult renderPdf417(const Pdf417Request &request);

// A QR symbol with its quiet zone of four modules.
SymbolResult renderQrCode(const QByteArray &data, int moduleSize, QrLevel level, int maxWidth);

} // namespace kvp
