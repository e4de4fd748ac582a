// The port's life: connecting with the dialog's settings, disconnecting,
// and a device that goes away.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/savedcommandspanel.h"
#include "printer/linetime.h"
#include "serial/linesignals.h"
#include "serial/portclaim.h"
#include "serial/portproblem.h"
#include "serial/settingsdialog.h"
#include "traffic/trafficdock.h"

#include <QMessageBox>
#include <QSerialPort>
#include <QSignalBlocker>

#include <utility>

namespace {

// Closes the port and drops what it has not sent yet: the port's own buffer
// and what the system still holds for the line. Otherwise a closed port
// keeps a large picture in memory, the system goes on sending its share
// after the close, and a serial driver may even hold the close until its
// queue has drained (up to half a minute while flow control holds the line).
// The user asked to disconnect: should the flush fail, that is no news, so
// the port's signals are blocked meanwhile.
void closeDroppingUnsent(QIODevice *line)
{
    if (auto *port = qobject_cast<QSerialPort *>(line)) {
        const QSignalBlocker quiet(port);
        port->clear(QSerialPort::Output);
        serial::releasePort(*port);
    }
    line->close();
}

} // namespace

void MainWindow::setConnectedActions(bool connected)
{
    ui->actionConnect->setEnabled(!connected);
    ui->actionDisconnect->setEnabled(connected);
    // While connected the dialog shows the settings in use, read-only: a
    // dialog left open from before must not change what the port runs at.
    if (settingsDialog)
        settingsDialog->setReadOnly(connected);
}

void MainWindow::openSerialPort()
{
    const SerialSettings p = settings()->serialSettings();
    serialPort->setPortName(p.portName);
    serialPort->setBaudRate(p.baudRate, QSerialPort::AllDirections);
    serialPort->setDataBits(p.dataBits);
    serialPort->setParity(p.parity);
    serialPort->setStopBits(p.stopBits);
    serialPort->setFlowControl(p.flowControl);

    QString refusal;
    if (serial::openExclusive(*serialPort, p.portName, &refusal)) {
        lineOut.setDevice(serialPort, printer::lineBytesPerSecond(p.baudRate));
        lineSignals->attach(serial::terminalModemLines(serialPort->handle()),
                            p.flowControl == QSerialPort::HardwareControl);
        // All six at once, so a '%' in a typed device path stays as it is.
        setStatusText(
            tr("Connected to %1 : %2, %3, %4, %5, %6")
                .arg(p.portName, p.baudRateText, p.dataBitsText, p.parityText, p.stopBitsText, p.flowControlText));
        startSession(p.portName);
    } else {
        QMessageBox::critical(this, tr("Error"), refusal);
        setStatusText(tr("Open error"));
    }
}

void MainWindow::startSession(const QString &portName)
{
    openPortName = portName;
    trafficRecord.start();
    controller.reset();
    headDotsSent.reset();
    headCutWarned = false;
    setConnectedActions(true);
    // The controller at the other end may still be inside a command that
    // the last Disconnect cut short.
    if (const qint64 owed = std::exchange(owedAtDisconnect, 0))
        offerZeroBytes(owed);
}

void MainWindow::closeSerialPort()
{
    // A transfer under way stops cleanly first: the controller must not be
    // left inside a command. Its end closes the port.
    if (transfer->isRunning()) {
        closeAfterTransfer = true;
        ui->actionDisconnect->setEnabled(false);
        stopTransfer();
        return;
    }
    if (lineOut.isOpen()) {
        // What the line has not taken is dropped: the controller may be
        // left inside a command.
        owedAtDisconnect = controller.bytesOwed();
        if (owedAtDisconnect > 0)
            ui->editKivo->appendPlainText(tr("Disconnected while the controller still expected %1 bytes of a "
                                             "command; the next Connect offers to send them as zero bytes")
                                              .arg(owedAtDisconnect));
        lineSignals->detach();
        closeDroppingUnsent(lineOut.device());
    }
    trafficRecord.end();
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
    transfer->abandon(); // nothing more can reach the line
    lineSignals->detach();
    serial::releasePort(*serialPort);
    serialPort->close();
    QMessageBox::critical(this, tr("Critical Error"), serial::lostDeviceText(openPortName, reason));
    closeSerialPort();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Saved commands that are in no file go only when the user says so.
    if (!savedCommands->mayDiscard()) {
        event->ignore();
        return;
    }
    // The window is the program: closing it lets go of the port (and its
    // lock file) at once and takes the settings dialog along.
    transfer->abandon();
    lineSignals->detach();
    if (lineOut.isOpen())
        closeDroppingUnsent(lineOut.device());
    if (settingsDialog)
        settingsDialog->close();
    QMainWindow::closeEvent(event);
}
