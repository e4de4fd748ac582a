#include "printer/commands.h"

#include <cstring>
#include <initializer_list>

namespace printer {

namespace {

char lowByte(uint16_t value) { return char(value & 0xFF); }
char highByte(uint16_t value) { return char(value >> 8); }

QByteArray fixed(std::initializer_list<char> bytes) { return QByteArray(bytes.begin(), qsizetype(bytes.size())); }

// A command sent as one write of fixed bytes.
Command single(std::initializer_list<char> bytes) { return Command{{fixed(bytes)}}; }

// Borrowed bytes: no copy is made.
QByteArray borrowed(const void *data, qsizetype length)
{
    return QByteArray::fromRawData(static_cast<const char *>(data), length);
}

QByteArray borrowedText(const char *text) { return borrowed(text, qsizetype(std::strlen(text))); }

// A command with a data block: the header in one write, then the block in
// one write from the buffer, or as single 00 writes when there is none.
Command withDataBlock(QByteArray header, const uint8_t *data, quint64 length)
{
    Command command{{std::move(header)}};
    if (data)
        command.writes.append(borrowed(data, qsizetype(length)));
    else
        command.zeroFillWrites = length;
    return command;
}

} // namespace

QByteArray Command::bytes() const
{
    QByteArray all;
    for (const QByteArray &w : writes)
        all += w;
    all.append(qsizetype(zeroFillWrites), '\0');
    return all;
}

Command printerSoftInit() { return single({ESC, 0x40}); }
Command printLF() { return single({LF}); }
Command printCR() { return single({CR}); }
Command printStr(const char *pStr) { return printStr(borrowedText(pStr)); }

Command print_with_font(const char *str, uint8_t font) { return print_with_font(borrowedText(str), font); }

Command printStr(const QByteArray &text) { return Command{{text}}; }

Command print_with_font(const QByteArray &text, uint8_t font)
{
    return Command{{fixed({ESC, 0x21, char(font)}), text, QByteArray(1, LF)}};
}

Command fontTypeSet(uint8_t ucFontType) { return single({ESC, 0x21, char(ucFontType)}); }
Command setFontMode(uint8_t ucFont) { return single({ESC, 0x4D, char(ucFont)}); }
Command setFontGrayScale(uint8_t ucScale) { return single({ESC, 0x6D, char(ucScale)}); }
Command setDbMode() { return single({FS, 0x26}); }
Command cancelDbMode() { return single({FS, 0x2E}); }
Command horizontalAlign(uint8_t align) { return single({ESC, 0x61, char(align)}); }
Command lineSpacingSet(uint8_t ucDotLineNum) { return single({ESC, 0x33, char(ucDotLineNum)}); }
Command lineSpacingDefaults() { return single({ESC, 0x32}); }
Command printAndFeedNDotLine(uint8_t ucDotLineNum) { return single({ESC, 0x4A, char(ucDotLineNum)}); }
Command printAndFeedNFontLine(uint8_t ucFontLineNum) { return single({ESC, 0x64, char(ucFontLineNum)}); }

Command horizontalTabSet(const uint8_t *pucNBuf, uint8_t ucDataNum)
{
    // The stops go as given, neither sorted nor checked; 00 ends the list.
    return Command{{fixed({ESC, 0x44}), borrowed(pucNBuf, ucDataNum), QByteArray(1, '\0')}};
}

Command horizontalTab() { return single({HT}); }
Command absolutePrintPos(uint8_t ucLNum, uint8_t ucHNum) { return single({ESC, 0x24, char(ucLNum), char(ucHNum)}); }
Command setLeftMargin(uint8_t ucDots) { return single({ESC, 0x6C, char(ucDots)}); }
Command setRightMargin(uint8_t ucDots) { return single({ESC, 0x51, char(ucDots)}); }
Command printerState() { return single({DLE, 0x04}); }
Command getFirmwareInfo() { return single({DLE, 0x05}); }
Command clearPrintBuffer() { return single({DLE, 0x14}); }
Command setPrinterCallBack(uint8_t ucCallBack) { return single({GS, 0x61, char(ucCallBack)}); }
Command enterSleepMode() { return single({DLE, 0x16}); }
Command setComMode(uint8_t ucComSet, uint8_t ucFlowSet) { return single({GS, 0x28, char(ucComSet), char(ucFlowSet)}); }
Command setPrinterHead(uint8_t ucHeadIndex) { return single({ESC, 0x5A, char(ucHeadIndex)}); }

Command picturePrintH(uint8_t ucType, uint16_t usHSize, uint16_t usVSize, const uint8_t *pucDataBuf)
{
    const QByteArray header =
        fixed({GS, 0x76, 0x30, char(ucType), lowByte(usHSize), highByte(usHSize), lowByte(usVSize), highByte(usVSize)});
    return withDataBlock(header, pucDataBuf, quint64(usHSize) * usVSize);
}

Command downloadNVBitmap(uint8_t ucLocation, uint8_t ucAlign, uint16_t usHSize, uint16_t usVSize,
                         const uint8_t *pucDataBuf)
{
    const QByteArray header = fixed({GS, 0x71, char(ucLocation), char(ucAlign), lowByte(usHSize), highByte(usHSize),
                                     lowByte(usVSize), highByte(usVSize)});
    return withDataBlock(header, pucDataBuf, quint64(usHSize) * usVSize);
}

Command printNVBitmap(uint8_t ucBitmapIndex, uint8_t ucMode)
{
    return single({FS, 0x70, char(ucBitmapIndex), char(ucMode)});
}
Command barcodeHeightSet(uint8_t ucHeight) { return single({GS, 0x68, char(ucHeight)}); }
Command barcodeWidthSet(uint8_t ucWidth) { return single({GS, 0x77, char(ucWidth)}); }
Command barcodeTextYesNo(uint8_t ucYesNo) { return single({GS, 0x48, char(ucYesNo)}); }

Command barcodePrint(uint8_t ucBarcodeSys, const uint8_t *pucCodeBuf, uint8_t ucCodeLen)
{
    // The symbology travels as a letter, 'A' for 0; the data has no terminator.
    const char symbology = char(uint8_t(ucBarcodeSys + 0x41));
    return Command{{fixed({GS, 0x6B, symbology, char(ucCodeLen)}), borrowed(pucCodeBuf, ucCodeLen)}};
}

// The QR commands share the function prefix; their length pair counts the
// bytes after it.
Command setQRSizeVersion(uint8_t ucModuleSizeRange)
{
    return single({GS, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, char(ucModuleSizeRange)});
}

Command setQRcodeErrorCorrection(uint8_t ucErrorCorrectionLevel)
{
    return single({GS, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, char(ucErrorCorrectionLevel)});
}

Command transferQRcodeData(uint16_t usbufferSize, const uint8_t *pucDataBuf)
{
    if (usbufferSize > maxQrDataSize)
        return Command{};
    const uint16_t length = uint16_t(usbufferSize + 3); // counts 31 50 30 too
    const QByteArray header = fixed({GS, 0x28, 0x6B, lowByte(length), highByte(length), 0x31, 0x50, 0x30});
    return withDataBlock(header, pucDataBuf, usbufferSize);
}

Command printQRcodeData() { return single({GS, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30}); }
Command fullCut() { return single({ESC, 0x69}); }
Command partialCut() { return single({ESC, 0x6E}); }
Command newLabelHome() { return single({GS, 0x06}); }

} // namespace printer
