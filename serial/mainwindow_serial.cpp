// The window's side of the serial link: connecting, disconnecting, errors,
// and the byte paths in both directions.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "serial/settingsdialog.h"

#include <QMessageBox>
#include <QSerialPort>
#include <QSignalBlocker>
#include <QTimer>

#include <utility>

namespace {

// Replies that follow each other this closely share one console update.
constexpr qint64 ReplyFrameMs = 20;

// Closes the port and drops what it has not sent yet: the port's own buffer
// and what the system still holds for the line. Otherwise a closed port
// keeps a large picture in memory, the system goes on sending its share
// after the close, and a serial driver may even hold the close until its
// queue has drained (up to half a minute while flow control holds the line).
// The user asked to disconnect: should the flush fail, that is no news, so
// the port's signals are blocked meanwhile.
void closeDroppingUnsent(QSerialPort *port)
{
    {
        const QSignalBlocker quiet(port);
        port->clear(QSerialPort::Output);
    }
    port->close();
}

} // namespace

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
        closeDroppingUnsent(serialPort);
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
    // Replies are shown as they come, as text; nothing parses them. Each
    // piece read is decoded on its own, so a status byte shows at once.
    pendingReplies += QString::fromUtf8(wire->readAll());

    // Every console insertion lays out and repaints the console, which costs
    // far more than the decoding: a peer that floods the line would keep the
    // window busy with one update per piece. A piece that comes within a
    // frame of the last update waits for the end of that frame and goes in
    // together with the pieces that follow it, in order. The first piece
    // after a quiet spell, and a direct call (a request that shows what has
    // already arrived), go in at once.
    const bool fromPort = sender() == serialPort;
    if (fromPort && repliesShown.isValid() && repliesShown.elapsed() < ReplyFrameMs) {
        if (!replyTimer->isActive())
            replyTimer->start(int(ReplyFrameMs - repliesShown.elapsed()));
        return;
    }
    showReplies();
}

void MainWindow::showReplies()
{
    replyTimer->stop();
    if (pendingReplies.isEmpty())
        return;
    ui->editKivo->insertPlainText(std::exchange(pendingReplies, QString()));
    repliesShown.start();
}

void MainWindow::Write(const uint8_t *buf, size_t buflen)
{
    wire->write(reinterpret_cast<const char *>(buf), qint64(buflen));
}
