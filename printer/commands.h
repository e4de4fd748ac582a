#pragma once

// The controller's command set. Each function builds one command as the
// write calls that carry it to the wire; nothing else in the program spells
// out command bytes. Parameters go unchanged (no range checks: what the
// controller does with an odd value is its own business), 16-bit values low
// byte first. Text and data buffers are borrowed, not copied: the returned
// command must be sent before the caller's buffer goes away.

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace printer {

// Prefix and single-byte command codes.
constexpr char ESC = 0x1B;
constexpr char GS = 0x1D;
constexpr char FS = 0x1C;
constexpr char DLE = 0x10;
constexpr char LF = 0x0A;
constexpr char CR = 0x0D;
constexpr char HT = 0x09;

// Print-mode bits of print_with_font and fontTypeSet; combinations are sums.
namespace mode {
enum Bits : uint8_t {
    Normal = 0x00,
    Italic = 0x02,
    Bold = 0x08,
    DoubleHeight = 0x10,
    DoubleWidth = 0x20,
    Reverse = 0x40,
    Underlined = 0x80,
};
} // namespace mode

// Symbologies of barcodePrint.
enum Symbology : uint8_t {
    UpcA = 0,
    UpcE = 1,
    Ean13 = 2,
    Ean8 = 3,
    Code39 = 4,
    Itf = 5,
    Codabar = 6,
    Code93 = 7,
    Code128 = 8
};

// A command as its write calls, in order. A write may be empty (a
// zero-length write). Data blocks sent without a buffer are `zeroFillWrites`
// single 00 bytes, each its own write, after the listed writes.
struct Command
{
    QList<QByteArray> writes;
    quint64 zeroFillWrites = 0;

    QByteArray bytes() const; // everything the command puts on the line
};

// Text, layout, control and status.
Command printerSoftInit();
Command printLF();
Command printCR();
Command printStr(const char *pStr);
Command print_with_font(const char *str, uint8_t font);
// The same with text the command keeps (shared, not copied), for text made
// at run time.
Command printStr(const QByteArray &text);
Command print_with_font(const QByteArray &text, uint8_t font);
Command fontTypeSet(uint8_t ucFontType);
Command setFontMode(uint8_t ucFont);
Command setFontGrayScale(uint8_t ucScale);
Command setDbMode();
Command cancelDbMode();
Command horizontalAlign(uint8_t align);
Command lineSpacingSet(uint8_t ucDotLineNum);
Command lineSpacingDefaults();
Command printAndFeedNDotLine(uint8_t ucDotLineNum);
Command printAndFeedNFontLine(uint8_t ucFontLineNum);
Command horizontalTabSet(const uint8_t *pucNBuf, uint8_t ucDataNum);
Command horizontalTab();
Command absolutePrintPos(uint8_t ucLNum, uint8_t ucHNum);
Command setLeftMargin(uint8_t ucDots);
Command setRightMargin(uint8_t ucDots);
Command printerState();
Command getFirmwareInfo();
Command clearPrintBuffer();
Command setPrinterCallBack(uint8_t ucCallBack);
Command enterSleepMode();
Command setComMode(uint8_t ucComSet, uint8_t ucFlowSet);
Command setPrinterHead(uint8_t ucHeadIndex);

// Graphics, bar codes, QR codes, cutter and labels. A picture or QR data
// command given no buffer sends its block as 00 bytes, one per write.
Command picturePrintH(uint8_t ucType, uint16_t usHSize, uint16_t usVSize, const uint8_t *pucDataBuf);
Command downloadNVBitmap(uint8_t ucLocation, uint8_t ucAlign, uint16_t usHSize, uint16_t usVSize,
                         const uint8_t *pucDataBuf);
Command printNVBitmap(uint8_t ucBitmapIndex, uint8_t ucMode);
Command barcodeHeightSet(uint8_t ucHeight);
Command barcodeWidthSet(uint8_t ucWidth);
Command barcodeTextYesNo(uint8_t ucYesNo);
Command barcodePrint(uint8_t ucBarcodeSys, const uint8_t *pucCodeBuf, uint8_t ucCodeLen);
Command setQRSizeVersion(uint8_t ucModuleSizeRange);
Command setQRcodeErrorCorrection(uint8_t ucErrorCorrectionLevel);
// Sends nothing at all when the data would not fit the 16-bit length that
// also counts the three bytes after it (more than 65532 bytes): a wrapped
// length would make the controller read the rest of the block as commands.
Command transferQRcodeData(uint16_t usbufferSize, const uint8_t *pucDataBuf);
Command printQRcodeData();
Command fullCut();
Command partialCut();
Command newLabelHome();

// The largest QR data block whose length still fits the command.
constexpr uint16_t maxQrDataSize = 65532;

} // namespace printer
