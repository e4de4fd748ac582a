// The window's handlers for formatting, language, maintenance and the
// controller's configuration: each runs one demonstration through the
// shared frame.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "demos/demos.h"

#include <iterator>

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

void MainWindow::on_pushButtonFTP628_released() { runDemo(demos::printHead(0)); }
void MainWindow::on_pushButtonFTP638_released() { runDemo(demos::printHead(1)); }
void MainWindow::on_pushButtonLTP0213_released() { runDemo(demos::printHead(2)); }
void MainWindow::on_pushButtonLTP02C1_released() { runDemo(demos::printHead(3)); }
void MainWindow::on_pushButton58_384_released() { runDemo(demos::printHead(4)); }
void MainWindow::on_pushButton80_576_released() { runDemo(demos::printHead(5)); }
// Acts as soon as the button goes down.
void MainWindow::on_pushButtonM23_H69_pressed() { runDemo(demos::printHead(6)); }
void MainWindow::on_pushButtonM23_SX_released() { runDemo(demos::printHead(7)); }
void MainWindow::on_pushButtonSeiko345_released() { runDemo(demos::printHead(8)); }
void MainWindow::on_pushButtonPT486HLV_released() { runDemo(demos::printHead(9)); }
void MainWindow::on_pushButtonJX2R39BQ_released() { runDemo(demos::printHead(10)); }

void MainWindow::on_pushButtonApply_released()
{
    // The controller's speed index is the button's place in this list; the
    // first checked button wins, and with none checked the start-up speed.
    const QRadioButton *const speeds[] = {ui->radioButton9600,  ui->radioButton19200,  ui->radioButton38400,
                                          ui->radioButton57600, ui->radioButton115200, ui->radioButton256000,
                                          ui->radioButton375000};
    uint8_t speed = demos::defaultUartSpeed;
    for (size_t i = 0; i < std::size(speeds); ++i) {
        if (speeds[i]->isChecked()) {
            speed = uint8_t(i);
            break;
        }
    }

    // None 0, XON/XOFF 1, hardware 2; with none checked, XON/XOFF.
    uint8_t flow = demos::defaultUartFlow;
    if (ui->radioButtonNoFlow->isChecked())
        flow = 0;
    else if (ui->radioButtonSoftFlow->isChecked())
        flow = 1;
    else if (ui->radioButtonHardFlow->isChecked())
        flow = 2;

    // Only the controller changes; the host port keeps its settings.
    runDemo(demos::uartSetting(speed, flow));
}
