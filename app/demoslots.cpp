// The demonstration buttons: each runs its demonstration by name from the
// table kivo-send uses too (demos/catalogue), through the shared frame
// (line.cpp).

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "demos/catalogue.h"

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

bool MainWindow::runNamedDemo(const QString &name)
{
    const demos::NamedDemo *demo = demos::findDemo(name);
    // A choice the controller never heard of is not kept either.
    if (!demo || !connectionGuard())
        return false;
    demos::Session session{barcodeTextPrinted};
    const demos::Demo script = demos::take(*demo, session);
    barcodeTextPrinted = session.barcodeTextPrinted;
    return runDemo(script);
}

void MainWindow::runBarcodeDemo(printer::Symbology symbology)
{
    runNamedDemo(demos::barcodeDemoName(symbology, ui->checkBoxBarCodeMargin->isChecked()));
}

void MainWindow::on_pushButtonFont_released() { runNamedDemo(QStringLiteral("quick-test")); }
void MainWindow::on_pushButtonAttributes_released() { runNamedDemo(QStringLiteral("attributes")); }
void MainWindow::on_pushButtonDensity_released() { runNamedDemo(QStringLiteral("density")); }

void MainWindow::on_pushButtonReceipt_released() { runNamedDemo(QStringLiteral("receipt")); }
void MainWindow::on_pushButtonReceiptFullCut_released() { runNamedDemo(QStringLiteral("receipt-full-cut")); }
void MainWindow::on_pushButtonReceiptPartialCut_released() { runNamedDemo(QStringLiteral("receipt-partial-cut")); }

void MainWindow::on_pushButtonBarcodeUPCA_released() { runBarcodeDemo(printer::UpcA); }
void MainWindow::on_pushButtonBarcodeUPCE_released() { runBarcodeDemo(printer::UpcE); }
void MainWindow::on_pushButtonBarcodeEAN13_released() { runBarcodeDemo(printer::Ean13); }
void MainWindow::on_pushButtonBarcodeEAN8_released() { runBarcodeDemo(printer::Ean8); }
void MainWindow::on_pushButtonBarcodeCODE39_released() { runBarcodeDemo(printer::Code39); }
void MainWindow::on_pushButtonBarcodeITF25_released() { runBarcodeDemo(printer::Itf); }
void MainWindow::on_pushButtonBarcodeCODABAR_released() { runBarcodeDemo(printer::Codabar); }
void MainWindow::on_pushButtonBarcodeCODE93_released() { runBarcodeDemo(printer::Code93); }
void MainWindow::on_pushButtonBarcodeCODE128A_released() { runBarcodeDemo(printer::Code128); }

void MainWindow::on_pushButtonYesText_released() { runNamedDemo(QStringLiteral("barcode-text-on")); }
void MainWindow::on_pushButtonNoText_released() { runNamedDemo(QStringLiteral("barcode-text-off")); }

void MainWindow::on_pushButtonFormatting_released() { runNamedDemo(QStringLiteral("formatting")); }
void MainWindow::on_pushButtonTabs_released() { runNamedDemo(QStringLiteral("alignment")); }

void MainWindow::on_pushButtonLanguage_released() { runNamedDemo(QStringLiteral("language")); }

void MainWindow::on_pushButtonBitmap_released() { runNamedDemo(QStringLiteral("qr-bitmap")); }
void MainWindow::on_pushButtonReset_released() { runNamedDemo(QStringLiteral("reset")); }
void MainWindow::on_pushButtonClear_released() { runNamedDemo(QStringLiteral("clear-buffer")); }
void MainWindow::on_pushButton_LineFeed_released() { runNamedDemo(QStringLiteral("line-feed")); }
void MainWindow::on_pushButtonFullCut_released() { runNamedDemo(QStringLiteral("full-cut")); }
void MainWindow::on_pushButtonPartialCut_released() { runNamedDemo(QStringLiteral("partial-cut")); }
void MainWindow::on_pushButtonPowerManagment_released() { runNamedDemo(QStringLiteral("power-management")); }
// Acts as soon as the button goes down.
void MainWindow::on_pushButtonNextLabel_pressed() { runNamedDemo(QStringLiteral("next-label")); }
void MainWindow::on_pushButtonVersion_released() { runNamedDemo(QStringLiteral("version")); }
void MainWindow::on_pushButtonStatus_released() { runNamedDemo(QStringLiteral("status")); }
void MainWindow::on_pushButtonTestLabel_released() { runNamedDemo(QStringLiteral("test-label")); }

void MainWindow::chooseHead(uint8_t headIndex)
{
    // Remembered for this connection: a picture wider than the head is cut.
    const int dots = demos::printHeadDots(headIndex);
    if (!runNamedDemo(demos::headDemoName(headIndex)) || dots == 0)
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
    runNamedDemo(demos::uartDemoName(speed, flow));
}
