// Writes the receipt that the CUPS spooler test prints with lp: a PDF page
// of 48 x 100 mm (the printed width of 58 mm paper) holding a line of text,
// a QR code and a Code 128 bar code, drawn at 203 dpi one unit a dot with
// the virtual printer's own symbol drawing. The file is committed as
// tests/data/cups/receipt.pdf; run this only to change it:
//   cmake --build build --target make-receipt-pdf
//   ./build/tools/make-receipt-pdf tests/data/cups/receipt.pdf

#include "symbols.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>

#include <cstdio>

namespace {

QImage maskImage(const kvp::InkMask &mask)
{
    QImage image(mask.width, mask.height, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x)
            image.setPixel(x, y, mask.at(x, y));
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-receipt-pdf OUTPUT.pdf\n");
        return 2;
    }
    const kvp::SymbolResult qr = kvp::renderQrCode("https://printer-kivo.example/cups", 4, kvp::QrLevel::M, 384);
    kvp::BarcodeRequest bar;
    bar.symbology = kvp::Symbology::Code128;
    bar.data = "KIVO-CUPS-58";
    bar.height = 60;
    bar.moduleWidth = 2;
    bar.text = false;
    const kvp::SymbolResult code = kvp::renderBarcode(bar);
    if (!qr.error.isEmpty() || !code.error.isEmpty()) {
        std::fprintf(stderr, "make-receipt-pdf: %s%s\n", qPrintable(qr.error), qPrintable(code.error));
        return 1;
    }

    QPdfWriter pdf(QString::fromLocal8Bit(argv[1]));
    pdf.setResolution(203);
    pdf.setPageSize(QPageSize(QSizeF(136.2, 283.5), QPageSize::Point, QString(), QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&pdf);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 14));
    painter.drawText(QRect(0, 0, 384, 60), Qt::AlignCenter, QStringLiteral("Printer Kivo"));
    painter.drawImage(QPoint((384 - qr.mask.width) / 2, 70), maskImage(qr.mask));
    painter.drawImage(QPoint((384 - code.mask.width) / 2, 90 + qr.mask.height), maskImage(code.mask));
    return painter.end() ? 0 : 1;
}
