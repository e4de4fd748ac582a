// The demonstration buttons: each runs one demonstration from the catalogue
// (demos/) through the shared frame (line.cpp).

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "demos/demos.h"

#include <initializer_list>

namespace {

// The place of the first checked button; `fallback` when none is checked.
uint8_t firstChecked(std::initializer_list<const QRadioButton *> buttons, uint8_t fallback)
{
    uint8_t index = 0;
    for (const QRadioButton *button : buttons) {
        if (button->isChecked())
            return index;
        ++index;
    }
    return fallback;
}

} // namespace

void MainWindow::runBarcodeDemo(printer::Symbology symbology)
{
    const bool leftMargin = ui->checkBoxBarCodeMargin->isChecked();
    runDemo(demos::barcode(demos::barcodeSample(symbology), leftMargin, barcodeTextPrinted));
}

void MainWindow::chooseBarcodeText(bool printed)
{
    // A choice the controller never heard of is not kept either.
    if (!connectionGuard())
        return;
    barcodeTextPrinted = printed;
    runDemo(demos::barcodeText(printed));
}

void MainWindow::on_pushButtonFont_released() { runDemo(demos::quickTest()); }
void MainWindow::on_pushButtonAttributes_released() { runDemo(demos::attributes()); }
void MainWindow::on_pushButtonDensity_released() { runDemo(demos::density()); }

void MainWindow::on_pushButtonReceipt_released() { runDemo(demos::receipt(demos::Receipt::Plain)); }
void MainWindow::on_pushButtonReceiptFullCut_released() { runDemo(demos::receipt(demos::Receipt::FullCut)); }
void MainWindow::on_pushButtonReceiptPartialCut_released() { runDemo(demos::receipt(demos::Receipt::PartialCut)); }

void MainWindow::on_pushButtonBarcodeUPCA_released() { runBarcodeDemo(printer::UpcA); }
void MainWindow::on_pushButtonBarcodeUPCE_released() { runBarcodeDemo(printer::UpcE); }
void MainWindow::on_pushButtonBarcodeEAN13_released() { runBarcodeDemo(printer::Ean13); }
void MainWindow::on_pushButtonBarcodeEAN8_released() { runBarcodeDemo(printer::Ean8); }
void MainWindow::on_pushButtonBarcodeCODE39_released() { runBarcodeDemo(printer::Code39); }
void MainWindow::on_pushButtonBarcodeITF25_released() { runBarcodeDemo(printer::Itf); }
void MainWindow::on_pushButtonBarcodeCODABAR_released() { runBarcodeDemo(printer::Codabar); }
void MainWindow::on_pushButtonBarcodeCODE93_released() { runBarcodeDemo(printer::Code93); }
void MainWindow::on_pushButtonBarcodeCODE128A_released() { runBarcodeDemo(printer::Code128); }

void MainWindow::on_pushButtonYesText_released() { chooseBarcodeText(true); }
void MainWindow::on_pushButtonNoText_released() { chooseBarcodeText(false); }

void MainWindow::on_pushButtonFormatting_released() { runDemo(demos::formatting()); }
void MainWindow::on_pushButtonTabs_released() { runDemo(demos::alignment()); }

void MainWindow::on_pushButtonLanguage_released() { runDemo(demos::language()); }

void MainWindow::on_pushButtonBitmap_released() { runDemo(demos::qrBitmap()); }
void MainWindow::on_pushButtonReset_released() { runDemo(demos::reset()); }
void MainWindow::on_pushButtonClear_released() { runDemo(demos::clearBuffer()); }
void MainWindow::on_pushButton_LineFeed_released() { runDemo(demos::lineFeed()); }
void MainWindow::on_pushButtonFullCut_released() { runDemo(demos::cut(true)); }
void MainWindow::on_pushButtonPartialCut_released() { runDemo(demos::cut(false)); }
void MainWindow::on_pushButtonPowerManagment_released() { runDemo(demos::powerManagement()); }
// Acts as soon as the button goes down.
void MainWindow::on_pushButtonNextLabel_pressed() { runDemo(demos::nextLabel()); }
void MainWindow::on_pushButtonVersion_released() { runDemo(demos::firmwareVersion()); }
void MainWindow::on_pushButtonStatus_released() { runDemo(demos::printerStatus()); }
void MainWindow::on_pushButtonTestLabel_released() { runDemo(demos::sampleLabel()); }

void MainWindow::chooseHead(uint8_t headIndex)
{
    // Remembered for this connection: a picture wider than the head is cut.
    const int dots = demos::printHeadDots(headIndex);
    if (!runDemo(demos::printHead(headIndex)) || dots == 0)
        return;
    headDotsSent = dots;
    headCutWarned = false;
}

void MainWindow::on_pushButtonFTP628_released() { chooseHead(0); }
void MainWindow::on_pushButtonFTP638_released() { chooseHead(1); }
void MainWindow::on_pushButtonLTP0213_released() { chooseHead(2); }
void MainWindow::on_pushButtonLTP02C1_released() { chooseHead(3); }
void MainWindow::on_pushButton58_384_released() { chooseHead(4); }
void MainWindow::on_pushButton80_576_released() { chooseHead(5); }
// Acts as soon as the button goes down.
void MainWindow::on_pushButtonM23_H69_pressed() { chooseHead(6); }
void MainWindow::on_pushButtonM23_SX_released() { chooseHead(7); }
void MainWindow::on_pushButtonSeiko345_released() { chooseHead(8); }
void MainWindow::on_pushButtonPT486HLV_released() { chooseHead(9); }
void MainWindow::on_pushButtonJX2R39BQ_released() { chooseHead(10); }

void MainWindow::on_pushButtonApply_released()
{
    // The controller's codes are the buttons' places in these lists (speeds
    // 9600 to 375000; flow none, XON/XOFF, hardware). Only the controller
    // changes; the host port keeps its settings.
    const uint8_t speed =
        firstChecked({ui->radioButton9600, ui->radioButton19200, ui->radioButton38400, ui->radioButton57600,
                      ui->radioButton115200, ui->radioButton256000, ui->radioButton375000},
                     demos::defaultUartSpeed);
    const uint8_t flow =
        firstChecked({ui->radioButtonNoFlow, ui->radioButtonSoftFlow, ui->radioButtonHardFlow}, demos::defaultUartFlow);
    runDemo(demos::uartSetting(speed, flow));
}
