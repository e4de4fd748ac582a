// Long sends: the transfer (serial/transfer) that hands a job to the line
// at the line's pace, its progress in the status bar, and Stop.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/transferpanel.h"
#include "serial/transfer.h"

#include <utility>

namespace {

// A send shorter than this on the line shows no progress.
constexpr double progressFromSeconds = 0.5;

QString seconds(qint64 ms) { return QString::number(double(ms) / 1000, 'f', 1); }

} // namespace

void MainWindow::startTransfer(const QString &name, std::unique_ptr<serial::CommandSource> source)
{
    const double bytesPerSecond = lineOut.bytesPerSecond();
    transferName = name;
    transfer->start(std::move(source), bytesPerSecond);
    if (transfer->isRunning() && bytesPerSecond > 0
        && double(transfer->total()) / bytesPerSecond > progressFromSeconds) {
        showTransferProgress();
        transferPanel->show();
    }
}

void MainWindow::showTransferProgress()
{
    if (!transfer->isStopping())
        transferPanel->showProgress(transfer->sent(), transfer->total(), transfer->msLeft());
}

void MainWindow::stopTransfer()
{
    if (!transfer->isRunning())
        return;
    transferPanel->showStopping();
    transfer->stop();
}

void MainWindow::transferFinished(serial::Transfer::Outcome outcome)
{
    transferPanel->hide();
    const QString sent = QString::number(transfer->sent()), total = QString::number(transfer->total());
    switch (outcome) {
    case serial::Transfer::Outcome::Sent:
        ui->editKivo->appendPlainText(
            tr("%1 sent: %2 bytes in %3 s").arg(transferName, total, seconds(transfer->msElapsed())));
        break;
    case serial::Transfer::Outcome::Stopped:
        ui->editKivo->appendPlainText(tr("%1 stopped after %2 of %3 bytes (%4 s); the controller is ready")
                                          .arg(transferName, sent, total, seconds(transfer->msElapsed())));
        break;
    case serial::Transfer::Outcome::Abandoned:
        ui->editKivo->appendPlainText(
            transfer->failure().isEmpty()
                ? tr("%1 not finished: %2 of %3 bytes sent").arg(transferName, sent, total)
                : tr("%1 not finished: %2 of %3 bytes sent (%4)").arg(transferName, sent, total, transfer->failure()));
        break;
    }
    if (std::exchange(closeAfterTransfer, false))
        closeSerialPort();
}
