#include "symbols.h"

#include <qrencode.h>
#include <zint.h>

#include <algorithm>
#include <memory>

namespace kvp {

namespace {
int zintSymbology(Symbology symbology)
{
    switch (symbology) {
    case Symbology::UpcA: return BARCODE_UPCA;
    case Symbology::UpcE: return BARCODE_UPCE;
    case Symbology::Ean13: // 12 digits give EAN-13,
    case Symbology::Ean8:  // 7 digits EAN-8; zint adds the check digit
        return BARCODE_EANX;
    case Symbology::Code39: return BARCODE_CODE39;
    case Symbology::Itf: return BARCODE_C25INTER;
    case Symbology::Codabar: return BARCODE_CODABAR;
    case Symbology::Code93: return BARCODE_CODE93;
    case Symbology::Code128: return BARCODE_CODE128;
    }
    return 0;
}

struct ZintDeleter
{
    void operator()(zint_symbol *s) const { ZBarcode_Delete(s); }
};

// Encodes `data` into the symbol's bitmap; false, with zint's reason in
// `result`, when zint refuses it.
bool encode(zint_symbol *symbol, const QByteArray &data, SymbolResult &result)
{
    const int rc = ZBarcode_Encode_and_Buffer(symbol, reinterpret_cast<const unsigned char *>(data.constData()),
                                              static_cast<int>(data.size()), 0);
    if (rc >= ZINT_ERROR)
        result.error = QString::fromLatin1(symbol->errtxt);
    return rc < ZINT_ERROR;
}
} // namespace

SymbolResult renderBarcode(const BarcodeRequest &request)
{
    SymbolResult result;
    const int type = zintSymbology(request.symbology);
    if (!type) {
        result.error = QStringLiteral("unknown symbology %1").arg(static_cast<int>(request.symbology));
        return result;
    }
    if (request.data.isEmpty()) {
        result.error = QStringLiteral("no data");
        return result;
    }
    // The controller narrows the modules when the symbol would not fit the paper.
    for (int module = std::clamp(request.moduleWidth, 1, 6); module >= 1; --module) {
        std::unique_ptr<zint_symbol, ZintDeleter> symbol(ZBarcode_Create());
        symbol->symbology = type;
        symbol->scale = module / 2.0f; // zint draws two pixels per module at scale 1
        symbol->height = std::max(1.0f, static_cast<float>(std::max(1, request.height)) / module);
        symbol->show_hrt = request.text ? 1 : 0;
        symbol->input_mode = DATA_MODE;
        if (!encode(symbol.get(), request.data, result))
            return result;
        if (symbol->bitmap_width > request.maxWidth && module > 1)
            continue;
        const int width = std::min(symbol->bitmap_width, request.maxWidth);
        result.mask = InkMask(width, symbol->bitmap_height);
        for (int y = 0; y < symbol->bitmap_height; ++y)
            for (int x = 0; x < width; ++x) {
                const unsigned char *px = symbol->bitmap + (static_cast<size_t>(y) * symbol->bitmap_width + x) * 3;
                result.mask.at(x, y) = px[0] < 128 ? 1 : 0;
            }
        result.moduleWidth = module;
        if (symbol->bitmap_width > request.maxWidth)
            result.error = QStringLiteral("cut at the paper edge");
        return result;
    }
    return result;
}

// zint draws a PDF417 module as two by two pixels at scale 1 and its rows
// three modules tall; the module and row size are applied to that bitmap.
SymbolResult renderPdf417(const Pdf417Request &request)
{
    SymbolResult result;
    if (request.data.isEmpty()) {
        result.error = QStringLiteral("no data stored");
        return result;
    }
    std::unique_ptr<zint_symbol, ZintDeleter> symbol(ZBarcode_Create());
    symbol->symbology = BARCODE_PDF417;
    symbol->input_mode = DATA_MODE;
    symbol->option_1 = request.level;
    symbol->option_2 = request.columns;
    symbol->option_3 = request.rows;
    if (!encode(symbol.get(), request.data, result))
        return result;
    const int modulesWide = symbol->bitmap_width / 2;
    int module = std::clamp(request.moduleWidth, 1, 8);
    while (module > 1 && modulesWide * module > request.maxWidth)
        --module;
    if (modulesWide * module > request.maxWidth) {
        result.error = QStringLiteral("PDF417 wider than the paper");
        return result;
    }
    const int rows = symbol->rows;
    const int rowDots = module * std::clamp(request.rowHeight, 1, 8);
    result.mask = InkMask(modulesWide * module, rows * rowDots);
    for (int y = 0; y < rows * rowDots; ++y) {
        const int sourceY = (y / rowDots) * symbol->bitmap_height / rows + 1;
        for (int x = 0; x < modulesWide * module; ++x) {
            const unsigned char *px = symbol->bitmap
                + (static_cast<size_t>(sourceY) * symbol->bitmap_width + static_cast<size_t>(x / module) * 2) * 3;
            result.mask.at(x, y) = px[0] < 128 ? 1 : 0;
        }
    }
    result.moduleWidth = module;
    return result;
}

SymbolResult renderQrCode(const QByteArray &data, int moduleSize, QrLevel level, int maxWidth)
{
    SymbolResult result;
    if (data.isEmpty()) {
        result.error = QStringLiteral("no data stored");
        return result;
    }
    static const QRecLevel levels[] = {QR_ECLEVEL_L, QR_ECLEVEL_M, QR_ECLEVEL_Q, QR_ECLEVEL_H};
    QRcode *code =
        QRcode_encodeData(static_cast<int>(data.size()), reinterpret_cast<const unsigned char *>(data.constData()), 0,
                          levels[static_cast<int>(level)]);
    if (!code) {
        result.error = QStringLiteral("data does not fit a QR code");
        return result;
    }
    constexpr int quiet = 4;
    const int modules = code->width + 2 * quiet;
    int module = std::clamp(moduleSize, 1, 16);
    while (module > 1 && modules * module > maxWidth)
        --module;
    if (modules * module > maxWidth) {
        QRcode_free(code);
        result.error = QStringLiteral("QR code wider than the paper");
        return result;
    }
    result.mask = InkMask(modules * module, modules * module);
    for (int my = 0; my < code->width; ++my)
        for (int mx = 0; mx < code->width; ++mx) {
            if (!(code->data[my * code->width + mx] & 1))
                continue;
            for (int dy = 0; dy < module; ++dy)
                for (int dx = 0; dx < module; ++dx)
                    result.mask.at((mx + quiet) * module + dx, (my + quiet) * module + dy) = 1;
        }
    result.moduleWidth = module;
    QRcode_free(code);
    return result;
}

} // namespace kvp
