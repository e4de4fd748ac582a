#pragma once

// The tests' own reading of the controller command set: builds the byte
// stream a demonstration should send from its list of calls, written out
// here independently of the program's encoder.

#include <QByteArray>

#include <cstdint>

class ExpectedStream
{
public:
    QByteArray bytes;

    ExpectedStream &raw(const QByteArray &b)
    {
        bytes += b;
        return *this;
    }
    ExpectedStream &hex(const char *h)
    {
        bytes += QByteArray::fromHex(QByteArray(h).replace(' ', ""));
        return *this;
    }

    ExpectedStream &printerSoftInit() { return hex("1B 40"); }
    ExpectedStream &printLF() { return hex("0A"); }
    ExpectedStream &printCR() { return hex("0D"); }
    ExpectedStream &printStr(const QByteArray &text) { return raw(text); }
    ExpectedStream &print_with_font(const QByteArray &text, uint8_t font)
    {
        return esc(0x21, font).raw(text).printLF();
    }
    ExpectedStream &fontTypeSet(uint8_t f) { return esc(0x21, f); }
    ExpectedStream &setFontMode(uint8_t f) { return esc(0x4D, f); }
    ExpectedStream &setFontGrayScale(uint8_t n) { return esc(0x6D, n); }
    ExpectedStream &setDbMode() { return hex("1C 26"); }
    ExpectedStream &cancelDbMode() { return hex("1C 2E"); }
    ExpectedStream &horizontalAlign(uint8_t a) { return esc(0x61, a); }
    ExpectedStream &lineSpacingSet(uint8_t n) { return esc(0x33, n); }
    ExpectedStream &lineSpacingDefaults() { return hex("1B 32"); }
    ExpectedStream &printAndFeedNDotLine(uint8_t n) { return esc(0x4A, n); }
    ExpectedStream &printAndFeedNFontLine(uint8_t n) { return esc(0x64, n); }
    ExpectedStream &horizontalTabSet(const QByteArray &stops) { return hex("1B 44").raw(stops).hex("00"); }
    ExpectedStream &horizontalTab() { return hex("09"); }
    ExpectedStream &absolutePrintPos(uint8_t lo, uint8_t hi) { return esc(0x24, lo).byte(hi); }
    ExpectedStream &setLeftMargin(uint8_t n) { return esc(0x6C, n); }
    ExpectedStream &setRightMargin(uint8_t n) { return esc(0x51, n); }
    ExpectedStream &printerState() { return hex("10 04"); }
    ExpectedStream &getFirmwareInfo() { return hex("10 05"); }
    ExpectedStream &clearPrintBuffer() { return hex("10 14"); }
    ExpectedStream &enterSleepMode() { return hex("10 16"); }
    ExpectedStream &setComMode(uint8_t speed, uint8_t flow) { return hex("1D 28").byte(speed).byte(flow); }
    ExpectedStream &setPrinterHead(uint8_t head) { return esc(0x5A, head); }
    ExpectedStream &picturePrintH(uint16_t widthBytes, uint16_t rows, const QByteArray &data)
    {
        return hex("1D 76 30 00").word(widthBytes).word(rows).raw(data);
    }
    ExpectedStream &barcodeHeightSet(uint8_t n) { return hex("1D 68").byte(n); }
    ExpectedStream &barcodeWidthSet(uint8_t n) { return hex("1D 77").byte(n); }
    ExpectedStream &barcodeTextYesNo(uint8_t n) { return hex("1D 48").byte(n); }
    ExpectedStream &barcodePrint(uint8_t system, const QByteArray &data)
    {
        return hex("1D 6B").byte(uint8_t(0x41 + system)).byte(uint8_t(data.size())).raw(data);
    }
    ExpectedStream &fullCut() { return hex("1B 69"); }
    ExpectedStream &partialCut() { return hex("1B 6E"); }
    ExpectedStream &newLabelHome() { return hex("1D 06"); }

private:
    ExpectedStream &byte(uint8_t b)
    {
        bytes += char(b);
        return *this;
    }
    ExpectedStream &word(uint16_t w) { return byte(uint8_t(w & 0xFF)).byte(uint8_t(w >> 8)); }
    ExpectedStream &esc(uint8_t code, uint8_t arg) { return byte(0x1B).byte(code).byte(arg); }
};

// The 33 full stops, alone and with a blank line after them.
inline const QByteArray separatorLine(33, '.');
inline const QByteArray closingSeparatorLine = QByteArray(33, '.') + "\n\n";
