// The controller command slots, one per command: each builds its command in
// printer/ and hands it to the line; nothing is checked or awaited.

#include "app/mainwindow.h"

#include "printer/commands.h"

void MainWindow::setComMode(uint8_t ucComSet, uint8_t ucFlowSet)
{
    lineOut.send(printer::setComMode(ucComSet, ucFlowSet));
}

void MainWindow::setPrinterHead(uint8_t ucHeadIndex) { lineOut.send(printer::setPrinterHead(ucHeadIndex)); }

void MainWindow::printerSoftInit() { lineOut.send(printer::printerSoftInit()); }

void MainWindow::printLF() { lineOut.send(printer::printLF()); }

void MainWindow::printCR() { lineOut.send(printer::printCR()); }

void MainWindow::printStr(const char *pStr) { lineOut.send(printer::printStr(pStr)); }

void MainWindow::printAndFeedNDotLine(uint8_t ucDotLineNum)
{
    lineOut.send(printer::printAndFeedNDotLine(ucDotLineNum));
}

void MainWindow::fontTypeSet(uint8_t ucFontType) { lineOut.send(printer::fontTypeSet(ucFontType)); }

void MainWindow::horizontalAlign(uint8_t align) { lineOut.send(printer::horizontalAlign(align)); }

void MainWindow::lineSpacingSet(uint8_t ucDotLineNum) { lineOut.send(printer::lineSpacingSet(ucDotLineNum)); }

void MainWindow::lineSpacingDefaults() { lineOut.send(printer::lineSpacingDefaults()); }

void MainWindow::horizontalTabSet(const uint8_t *pucNBuf, uint8_t ucDataNum)
{
    lineOut.send(printer::horizontalTabSet(pucNBuf, ucDataNum));
}

void MainWindow::horizontalTab() { lineOut.send(printer::horizontalTab()); }

void MainWindow::printAndFeedNFontLine(uint8_t ucFontLineNum)
{
    lineOut.send(printer::printAndFeedNFontLine(ucFontLineNum));
}

void MainWindow::picturePrintH(uint8_t ucType, uint16_t usHSize, uint16_t usVSize, const uint8_t *pucDataBuf)
{
    lineOut.send(printer::picturePrintH(ucType, usHSize, usVSize, pucDataBuf));
}

void MainWindow::setLeftMargin(uint8_t ucDots) { lineOut.send(printer::setLeftMargin(ucDots)); }

void MainWindow::setRightMargin(uint8_t ucDots) { lineOut.send(printer::setRightMargin(ucDots)); }

void MainWindow::printerState() { lineOut.send(printer::printerState()); }

void MainWindow::absolutePrintPos(uint8_t ucLNum, uint8_t ucHNum)
{
    lineOut.send(printer::absolutePrintPos(ucLNum, ucHNum));
}

void MainWindow::setFontGrayScale(uint8_t ucScale) { lineOut.send(printer::setFontGrayScale(ucScale)); }

void MainWindow::setDbMode() { lineOut.send(printer::setDbMode()); }

void MainWindow::cancelDbMode() { lineOut.send(printer::cancelDbMode()); }

void MainWindow::setFontMode(uint8_t ucFont) { lineOut.send(printer::setFontMode(ucFont)); }

void MainWindow::barcodeHeightSet(uint8_t ucHeight) { lineOut.send(printer::barcodeHeightSet(ucHeight)); }

void MainWindow::barcodeWidthSet(uint8_t ucWidth) { lineOut.send(printer::barcodeWidthSet(ucWidth)); }

void MainWindow::barcodeTextYesNo(uint8_t ucYesNo) { lineOut.send(printer::barcodeTextYesNo(ucYesNo)); }

void MainWindow::barcodePrint(uint8_t ucBarcodeSys, const uint8_t *pucCodeBuf, uint8_t ucCodeLen)
{
    lineOut.send(printer::barcodePrint(ucBarcodeSys, pucCodeBuf, ucCodeLen));
}

void MainWindow::clearPrintBuffer() { lineOut.send(printer::clearPrintBuffer()); }

void MainWindow::getFirmwareInfo() { lineOut.send(printer::getFirmwareInfo()); }

void MainWindow::print_with_font(const char *str, uint8_t font) { lineOut.send(printer::print_with_font(str, font)); }

void MainWindow::fullCut() { lineOut.send(printer::fullCut()); }

void MainWindow::partialCut() { lineOut.send(printer::partialCut()); }

void MainWindow::setPrinterCallBack(uint8_t ucCallBack) { lineOut.send(printer::setPrinterCallBack(ucCallBack)); }

void MainWindow::downloadNVBitmap(uint8_t ucLocation, uint8_t ucAlign, uint16_t usHSize, uint16_t usVSize,
                                  const uint8_t *pucDataBuf)
{
    lineOut.send(printer::downloadNVBitmap(ucLocation, ucAlign, usHSize, usVSize, pucDataBuf));
}

void MainWindow::printNVBitmap(uint8_t ucBitmapIndex, uint8_t ucMode)
{
    lineOut.send(printer::printNVBitmap(ucBitmapIndex, ucMode));
}

void MainWindow::setQRSizeVersion(uint8_t ucModuleSizeRange)
{
    lineOut.send(printer::setQRSizeVersion(ucModuleSizeRange));
}

void MainWindow::setQRcodeErrorCorrection(uint8_t ucErrorCorrectionLevel)
{
    lineOut.send(printer::setQRcodeErrorCorrection(ucErrorCorrectionLevel));
}

void MainWindow::transferQRcodeData(uint16_t usbufferSize, const uint8_t *pucDataBuf)
{
    lineOut.send(printer::transferQRcodeData(usbufferSize, pucDataBuf));
}

void MainWindow::printQRcodeData() { lineOut.send(printer::printQRcodeData()); }

void MainWindow::enterSleepMode() { lineOut.send(printer::enterSleepMode()); }

void MainWindow::newLabelHome() { lineOut.send(printer::newLabelHome()); }
