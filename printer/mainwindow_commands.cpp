// The controller command slots. Each builds its command in printer/ and
// hands the writes to the line; nothing is checked or awaited.

#include "app/mainwindow.h"

#include "printer/commands.h"

#include <QIODevice>

void MainWindow::transmit(const printer::Command &command)
{
    for (const QByteArray &bytes : command.writes)
        wire->write(bytes.constData(), bytes.size());
    // The no-buffer form of a data block: 00 bytes, one write each.
    for (quint64 i = 0; i < command.zeroFillWrites; ++i)
        wire->write("", 1);
}

void MainWindow::setComMode(uint8_t ucComSet, uint8_t ucFlowSet)
{
    transmit(printer::setComMode(ucComSet, ucFlowSet));
}

void MainWindow::setPrinterHead(uint8_t ucHeadIndex)
{
    transmit(printer::setPrinterHead(ucHeadIndex));
}

void MainWindow::printerSoftInit()
{
    transmit(printer::printerSoftInit());
}

void MainWindow::printLF()
{
    transmit(printer::printLF());
}

void MainWindow::printCR()
{
    transmit(printer::printCR());
}

void MainWindow::printStr(const char *pStr)
{
    transmit(printer::printStr(pStr));
}

void MainWindow::printAndFeedNDotLine(uint8_t ucDotLineNum)
{
    transmit(printer::printAndFeedNDotLine(ucDotLineNum));
}

void MainWindow::fontTypeSet(uint8_t ucFontType)
{
    transmit(printer::fontTypeSet(ucFontType));
}

void MainWindow::horizontalAlign(uint8_t align)
{
    transmit(printer::horizontalAlign(align));
}

void MainWindow::lineSpacingSet(uint8_t ucDotLineNum)
{
    transmit(printer::lineSpacingSet(ucDotLineNum));
}

void MainWindow::lineSpacingDefaults()
{
    transmit(printer::lineSpacingDefaults());
}

void MainWindow::horizontalTabSet(const uint8_t *pucNBuf, uint8_t ucDataNum)
{
    transmit(printer::horizontalTabSet(pucNBuf, ucDataNum));
}

void MainWindow::horizontalTab()
{
    transmit(printer::horizontalTab());
}

void MainWindow::printAndFeedNFontLine(uint8_t ucFontLineNum)
{
    transmit(printer::printAndFeedNFontLine(ucFontLineNum));
}

void MainWindow::picturePrintH(uint8_t ucType, uint16_t usHSize, uint16_t usVSize, const uint8_t *pucDataBuf)
{
    transmit(printer::picturePrintH(ucType, usHSize, usVSize, pucDataBuf));
}

void MainWindow::setLeftMargin(uint8_t ucDots)
{
    transmit(printer::setLeftMargin(ucDots));
}

void MainWindow::setRightMargin(uint8_t ucDots)
{
    transmit(printer::setRightMargin(ucDots));
}

void MainWindow::printerState()
{
    transmit(printer::printerState());
}

void MainWindow::absolutePrintPos(uint8_t ucLNum, uint8_t ucHNum)
{
    transmit(printer::absolutePrintPos(ucLNum, ucHNum));
}

void MainWindow::setFontGrayScale(uint8_t ucScale)
{
    transmit(printer::setFontGrayScale(ucScale));
}

void MainWindow::setDbMode()
{
    transmit(printer::setDbMode());
}

void MainWindow::cancelDbMode()
{
    transmit(printer::cancelDbMode());
}

void MainWindow::setFontMode(uint8_t ucFont)
{
    transmit(printer::setFontMode(ucFont));
}

void MainWindow::barcodeHeightSet(uint8_t ucHeight)
{
    transmit(printer::barcodeHeightSet(ucHeight));
}

void MainWindow::barcodeWidthSet(uint8_t ucWidth)
{
    transmit(printer::barcodeWidthSet(ucWidth));
}

void MainWindow::barcodeTextYesNo(uint8_t ucYesNo)
{
    transmit(printer::barcodeTextYesNo(ucYesNo));
}

void MainWindow::barcodePrint(uint8_t ucBarcodeSys, const uint8_t *pucCodeBuf, uint8_t ucCodeLen)
{
    transmit(printer::barcodePrint(ucBarcodeSys, pucCodeBuf, ucCodeLen));
}

void MainWindow::clearPrintBuffer()
{
    transmit(printer::clearPrintBuffer());
}

void MainWindow::getFirmwareInfo()
{
    transmit(printer::getFirmwareInfo());
}

void MainWindow::print_with_font(const char *str, uint8_t font)
{
    transmit(printer::print_with_font(str, font));
}

void MainWindow::fullCut()
{
    transmit(printer::fullCut());
}

void MainWindow::partialCut()
{
    transmit(printer::partialCut());
}

void MainWindow::setPrinterCallBack(uint8_t ucCallBack)
{
    transmit(printer::setPrinterCallBack(ucCallBack));
}

void MainWindow::downloadNVBitmap(uint8_t ucLocation, uint8_t ucAlign, uint16_t usHSize, uint16_t usVSize, const uint8_t *pucDataBuf)
{
    transmit(printer::downloadNVBitmap(ucLocation, ucAlign, usHSize, usVSize, pucDataBuf));
}

void MainWindow::printNVBitmap(uint8_t ucBitmapIndex, uint8_t ucMode)
{
    transmit(printer::printNVBitmap(ucBitmapIndex, ucMode));
}

void MainWindow::setQRSizeVersion(uint8_t ucModuleSizeRange)
{
    transmit(printer::setQRSizeVersion(ucModuleSizeRange));
}

void MainWindow::setQRcodeErrorCorrection(uint8_t ucErrorCorrectionLevel)
{
    transmit(printer::setQRcodeErrorCorrection(ucErrorCorrectionLevel));
}

void MainWindow::transferQRcodeData(uint16_t usbufferSize, const uint8_t *pucDataBuf)
{
    transmit(printer::transferQRcodeData(usbufferSize, pucDataBuf));
}

void MainWindow::printQRcodeData()
{
    transmit(printer::printQRcodeData());
}

void MainWindow::enterSleepMode()
{
    transmit(printer::enterSleepMode());
}

void MainWindow::newLabelHome()
{
    transmit(printer::newLabelHome());
}
