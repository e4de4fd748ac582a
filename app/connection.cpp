// The link's life: connecting with the dialog's settings, disconnecting,
// and a device that goes away.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/savedcommandspanel.h"
#include "bitmap/printjob.h"
#include "printer/commandline.h"
#include "serial/linesignals.h"
#include "serial/seriallink.h"
#include "serial/settingsdialog.h"
#include "traffic/trafficdock.h"

#include <QMessageBox>

#include <utility>

void MainWindow::setConnectedActions(bool connected)
{
    ui->actionConnect->setEnabled(!connected);
    ui->actionDisconnect->setEnabled(connected);
    // While connected the dialog shows the settings in use, read-only: a
    // dialog left open from before must not change what the link runs at.
    if (settingsDialog)
        settingsDialog->setReadOnly(connected);
}

void MainWindow::chooseLink(const serial::LinkSettings &chosen)
{
    // The line goes back to the port before another kind's link goes.
    if (otherLink && lineOut.device() == otherLink->device())
        lineOut.setDevice(serialLink->device());
    if (chosen.kind == serial::LinkSettings::Kind::Serial) {
        serialLink->setSettings(chosen.serial);
        link = serialLink;
        otherLink.reset();
        return;
    }
    otherLink = serial::makeLink(chosen, nullptr, *linkClock);
    link = otherLink.get();
    connect(link, &serial::Link::lost, this, &MainWindow::handleLost);
    connect(link, &serial::Link::opened, this, &MainWindow::linkOpened);
    connect(link, &serial::Link::refused, this, &MainWindow::linkRefused);
    connect(link->device(), &QIODevice::readyRead, this, &MainWindow::readData);
}

void MainWindow::openSerialPort()
{
    chooseLink(settings()->linkSettings());
    // A serial port or a device file answers at once; a network printer
    // may take seconds, and the window goes on meanwhile.
    opening = true;
    link->startOpening();
    if (opening) {
        setConnectedActions(true); // Disconnect gives up
        setStatusText(tr("Connecting to %1…").arg(link->displayName()));
    }
}

void MainWindow::linkOpened()
{
    opening = false;
    lineOut.useLink(*link);
    if (link == serialLink)
        lineSignals->attach(serialLink->modemLines(), serialLink->rtsByFlowControl());
    setStatusText(link->connectedText());
    startSession(link->displayName());
}

void MainWindow::linkRefused(const QString &refusal)
{
    if (std::exchange(opening, false))
        setConnectedActions(false);
    QMessageBox::critical(this, tr("Error"), refusal);
    setStatusText(tr("Open error"));
}

bool MainWindow::cancelOpening()
{
    if (!std::exchange(opening, false))
        return false;
    link->close();
    return true;
}

void MainWindow::startSession(const QString &)
{
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
    if (cancelOpening()) {
        setConnectedActions(false);
        setStatusText(tr("Disconnected"));
        return;
    }
    // A transfer under way stops cleanly first: the controller must not be
    // left inside a command. Its end closes the link.
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
        closeLine();
    }
    trafficRecord.end();
    setConnectedActions(false);
    setStatusText(tr("Disconnected"));
}

void MainWindow::closeLine()
{
    // Tests may put another device in the link's place.
    if (lineOut.device() == link->device())
        link->close();
    else
        lineOut.device()->close();
}

void MainWindow::handleLost(const QString &reason)
{
    // Close at once: that ends a flood of errors, so the process is idle
    // while the box waits and no second box can follow.
    transfer->abandon(); // nothing more can reach the line
    lineSignals->detach();
    link->close();
    QMessageBox::critical(this, tr("Critical Error"), reason);
    closeSerialPort();
}

qint32 MainWindow::pieceBaudRate() { return serial::lineBaudRate(settings()->linkSettings()); }

// The band kivo-send uses too (bitmap/printjob).
qsizetype MainWindow::pictureBandBytes() { return bitmap::linkBandBytes(pieceBaudRate()); }

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Saved commands that are in no file go only when the user says so.
    if (!savedCommands->mayDiscard()) {
        event->ignore();
        return;
    }
    // The window is the program: closing it lets go of the link (and a
    // port's lock file) at once and takes the settings dialog along.
    transfer->abandon();
    lineSignals->detach();
    cancelOpening();
    if (lineOut.isOpen())
        closeLine();
    if (settingsDialog)
        settingsDialog->close();
    QMainWindow::closeEvent(event);
}
