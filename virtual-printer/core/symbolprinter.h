#pragma once
// Bar codes (1D 6B) and the 2D symbols (1D 28 6B: QR and PDF417): the data
// block is collected, up to what a QR code can hold, and the command carried
// out when the block is complete. Symbols are printed justified between the margins.

#include "decoder/commands.h"
#include "inkmask.h"
#include "printarea.h"
#include "textlayout.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace kvp {

class SymbolPrinter
{
public:
    SymbolPrinter(PrintArea &printArea, TextLayout &textLayout);

    void begin();
    void chunk(const uint8_t *data, size_t size);
    void endBarcode(int symbologyArg, bool complete);
    void endQr(uint64_t received, bool complete);

    static constexpr int maxQrData = 7089;

private:
    void printBarcode(int symbologyArg, const QByteArray &data);
    void qrCommand(const QByteArray &body, uint64_t length, bool cut);
    void storeQrData(const QrBlock &qr, const QByteArray &body, bool cut);
    void printQr();
    void pdf417Command(const QrBlock &block, const QByteArray &body, bool cut);
    void printPdf417();
    void printMask(const InkMask &mask);

    PrintArea &area;
    TextLayout &text;
    QByteArray block; // bar code or QR data being received (bounded)
    bool blockCut = false;
};

} // namespace kvp
