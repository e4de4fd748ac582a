// The window's ends of the line: the guard every demonstration passes, the
// way out (serial/lineout) and the way in (serial/linein).

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "demos/script.h"
#include "serial/linein.h"

#include <QMessageBox>

bool MainWindow::connectionGuard()
{
    // A second job would put its bytes in the middle of the first one's.
    if (transfer->isRunning()) {
        QMessageBox::information(
            this, tr("Busy"), tr("%1 is still being sent. Wait for it to end, or press Stop (Esc).").arg(transferName));
        return false;
    }
    if (lineOut.isOpen())
        return true;
    QMessageBox::about(this, tr("Serial Port Connect"), tr("Please configure and connect to the serial port first!"));
    return false;
}

bool MainWindow::runDemo(const demos::Demo &demo)
{
    if (!connectionGuard())
        return false;

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
            lineOut.send(step.command);
    }
    if (demo.readRepliesAfterSending)
        readData();
    return true;
}

void MainWindow::Write(const uint8_t *buf, size_t buflen)
{
    lineOut.write(reinterpret_cast<const char *>(buf), qint64(buflen));
}

void MainWindow::readData()
{
    // From the port's signal the console update may wait for the end of a
    // frame; a request that asks for what has already come in gets it now.
    const auto delivery = sender() == serialPort ? serial::LineIn::Delivery::Batched : serial::LineIn::Delivery::Now;
    lineIn->read(*lineOut.device(), delivery);
}
