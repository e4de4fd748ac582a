// The window's side of the serial link: connecting, disconnecting, errors,
// and the byte paths in both directions.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "serial/settingsdialog.h"

#include <QMessageBox>
#include <QSerialPort>

void MainWindow::setConnectedActions(bool connected)
{
    ui->actionConnect->setEnabled(!connected);
    ui->actionDisconnect->setEnabled(connected);
    ui->actionConfigure->setEnabled(!connected);
}

void MainWindow::openSerialPort()
{
    const SerialSettings p = settingsDialog->serialSettings();
    serialPort->setPortName(p.portName);
    serialPort->setBaudRate(p.baudRate, QSerialPort::AllDirections);
    serialPort->setDataBits(p.dataBits);
    serialPort->setParity(p.parity);
    serialPort->setStopBits(p.stopBits);
    serialPort->setFlowControl(p.flowControl);

    if (serialPort->open(QIODevice::ReadWrite)) {
        setConnectedActions(true);
        // All six at once, so a '%' in a typed device path stays as it is.
        setStatusText(tr("Connected to %1 : %2, %3, %4, %5, %6")
                          .arg(p.portName, p.baudRateText, p.dataBitsText, p.parityText,
                               p.stopBitsText, p.flowControlText));
    } else {
        QMessageBox::critical(this, tr("Error"), serialPort->errorString());
        setStatusText(tr("Open error"));
    }
}

void MainWindow::closeSerialPort()
{
    if (serialPort->isOpen())
        serialPort->close();
    setConnectedActions(false);
    setStatusText(tr("Disconnected"));
}

void MainWindow::handleError(QSerialPort::SerialPortError error)
{
    // A device that went away while open: an unplugged adapter reports a
    // resource error, a vanished pseudo-terminal peer a read error, over
    // and over. Other errors are not for this handler; a failed open is
    // reported where the port is opened.
    const bool deviceLost = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!deviceLost || !serialPort->isOpen())
        return;

    // Close at once: that ends the flood of errors, so the process is idle
    // while the box waits and no second box can follow.
    const QString reason = serialPort->errorString();
    serialPort->close();
    QMessageBox::critical(this, tr("Critical Error"), reason);
    closeSerialPort();
}

void MainWindow::readData()
{
    // Replies are shown as they come, as text; nothing parses them.
    const QByteArray data = wire->readAll();
    ui->editKivo->insertPlainText(QString::fromUtf8(data));
}

void MainWindow::Write(const uint8_t *buf, size_t buflen)
{
    wire->write(reinterpret_cast<const char *>(buf), qint64(buflen));
}
