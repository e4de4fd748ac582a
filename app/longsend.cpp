// Long sends: the transfer (serial/transfer) that hands a job to the line
// at the line's pace, its progress in the status bar, and Stop.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/transferpanel.h"
#include "printer/commandline.h"
#include "serial/controllermodel.h"
#include "serial/settingsdialog.h"
#include "serial/transfer.h"

#include <QMessageBox>
#include <QPushButton>

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
    // A link that sets the pace itself tells the time a job takes only as
    // it goes: its progress shows once the job has run that long.
    if (transferPanel->isHidden() && lineOut.bytesPerSecond() <= 0 && transfer->isRunning()
        && transfer->msElapsed() >= qint64(progressFromSeconds * 1000))
        transferPanel->show();
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
    case serial::Transfer::Outcome::Stopped: reportStop(); break;
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

// Says "ready" only when the controller is between commands, as far as the
// line has taken the job; otherwise what it still expects, and the way out.
void MainWindow::reportStop()
{
    const QString stopped = tr("%1 stopped after %2 of %3 bytes (%4 s)")
                                .arg(transferName, QString::number(transfer->sent()),
                                     QString::number(transfer->total()), seconds(transfer->msElapsed()));
    const qint64 owed = controller.bytesOwed();
    if (owed == 0) {
        ui->editKivo->appendPlainText(stopped + tr("; the controller is ready"));
    } else if (lineOut.queued() > 0) {
        // Flow control held the line past the stop's patience: the rest of
        // the command is still on its way.
        ui->editKivo->appendPlainText(
            stopped
            + tr("; the controller has held the line and still expects %1 bytes of the last command: they wait "
                 "to go out, and it is ready once it has taken them")
                  .arg(owed));
    } else {
        ui->editKivo->appendPlainText(
            stopped + tr("; its last command was cut short: the controller still expects %1 bytes of it").arg(owed));
        if (!closeAfterTransfer)
            offerZeroBytes(owed);
    }
}

void MainWindow::offerZeroBytes(qint64 count)
{
    QMessageBox box(QMessageBox::Question, tr("Command Cut Short"),
                    tr("The controller still expects %1 bytes of a command that was cut short, and takes whatever "
                       "comes next as part of it. Send %1 zero bytes now, so that it reads commands again? In a "
                       "picture they print white.")
                        .arg(count),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.button(QMessageBox::Ok)->setText(tr("Send Zero Bytes"));
    if (box.exec() != QMessageBox::Ok || !lineOut.isOpen())
        return;
    // In pieces, as a file goes: progress, time left and Stop as for any long job.
    const qsizetype piece = printer::filePieceBytes(pieceBaudRate());
    const QByteArray zeros(piece, '\0');
    QList<printer::Command> pieces;
    for (qint64 left = count; left > 0; left -= piece)
        pieces.append(printer::Command{{zeros.left(qsizetype(qMin<qint64>(left, piece)))}});
    startTransfer(tr("Zero bytes"), serial::listSource(pieces, QByteArray()));
}
