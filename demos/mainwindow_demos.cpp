// The window's demonstration handlers: each runs one demonstration from the
// catalogue through the shared frame.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "demos/demos.h"

#include <QMessageBox>

bool MainWindow::connectionGuard()
{
    if (wire->isOpen())
        return true;
    QMessageBox::about(this, tr("Serial Port Connect"),
                       tr("Please configure and connect to the serial port first!"));
    return false;
}

void MainWindow::runDemo(const demos::Demo &demo)
{
    if (!connectionGuard())
        return;

    if (demo.console == demos::Demo::Console::Replace) {
        ui->editKivo->clear();
        ui->editKivo->insertPlainText(demo.title);
        for (const QString &line : demo.lines)
            ui->editKivo->appendPlainText(line);
    }
    for (const demos::Step &step : demo.script) {
        if (step.isConsoleLine)
            ui->editKivo->appendPlainText(step.consoleLine);
        else
            transmit(step.command);
    }
    if (demo.readRepliesAfterSending)
        readData();
}

void MainWindow::runBarcodeDemo(printer::Symbology symbology)
{
    const bool leftMargin = ui->checkBoxBarCodeMargin->isChecked();
    runDemo(demos::barcode(demos::barcodeSample(symbology), leftMargin));
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

void MainWindow::on_pushButtonYesText_released() { runDemo(demos::barcodeText(true)); }
void MainWindow::on_pushButtonNoText_released() { runDemo(demos::barcodeText(false)); }
