// The Command tab: a typed line sent as the bytes it stands for
// (printer/commandline), Up and Down through the lines sent in this run, and
// a file's bytes sent through the long send (longsend.cpp).

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "serial/filesource.h"
#include "serial/settingsdialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QShortcut>

void MainWindow::on_pushButtonSendCommand_released() { sendCommandLine(QByteArray()); }

void MainWindow::on_pushButtonPrintCommand_released() { sendCommandLine(QByteArray(1, printer::LF)); }

void MainWindow::on_pushButtonSendFile_released() { chooseAndSendFile(); }

// A refusal speaks of the line as read before the box changed.
void MainWindow::on_checkBoxHexEnable_released() { ui->labelCommandError->clear(); }

void MainWindow::wireCommandTab()
{
    QLineEdit *field = ui->lineEditControllerData;
    connect(field, &QLineEdit::textEdited, ui->labelCommandError, &QLabel::clear);
    auto *up = new QShortcut(QKeySequence(Qt::Key_Up), field, nullptr, nullptr, Qt::WidgetShortcut);
    auto *down = new QShortcut(QKeySequence(Qt::Key_Down), field, nullptr, nullptr, Qt::WidgetShortcut);
    connect(up, &QShortcut::activated, this, &MainWindow::recallOlderCommand);
    connect(down, &QShortcut::activated, this, &MainWindow::recallNewerCommand);
}

void MainWindow::sendCommandLine(const QByteArray &ending)
{
    if (!connectionGuard())
        return;
    QLineEdit *field = ui->lineEditControllerData;
    const printer::ParsedLine line = printer::parseCommandLine(field->text(), ui->checkBoxHexEnable->isChecked());
    if (!line.ok()) {
        showCommandRefusal(line);
        return;
    }
    const QByteArray bytes = line.bytes + ending;
    if (bytes.isEmpty())
        return;
    lineOut.send(printer::Command{{bytes}});
    const QString count = bytes.size() == 1 ? tr("1 byte") : tr("%1 bytes").arg(bytes.size());
    ui->editKivo->appendPlainText(tr("Sent %1: %2").arg(count, bytes.toHex(' ').toUpper()));
    commandHistory.add(field->text());
    field->clear();
}

void MainWindow::showCommandRefusal(const printer::ParsedLine &line)
{
    // Columns count from 1, as a user counts them.
    ui->labelCommandError->setText(tr("Not sent. Column %1: %2").arg(line.position + 1).arg(line.error));
    ui->lineEditControllerData->setFocus();
    ui->lineEditControllerData->setSelection(int(line.position), 1);
}

void MainWindow::recallOlderCommand()
{
    ui->lineEditControllerData->setText(commandHistory.older(ui->lineEditControllerData->text()));
}

void MainWindow::recallNewerCommand()
{
    ui->lineEditControllerData->setText(commandHistory.newer(ui->lineEditControllerData->text()));
}

void MainWindow::chooseAndSendFile()
{
    if (!connectionGuard())
        return;
    QFileDialog dialog(this, tr("Send File"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({tr("Print jobs (*.bin *.prn)"), tr("All files (*)")});
    // The port may have gone while the dialog was open.
    if (dialog.exec() == QDialog::Accepted && connectionGuard())
        sendFile(dialog.selectedFiles().value(0));
}

void MainWindow::sendFile(const QString &path)
{
    const qsizetype pieceBytes = printer::filePieceBytes(settings()->serialSettings().baudRate);
    QString why;
    std::unique_ptr<serial::CommandSource> file = serial::openFileSource(path, pieceBytes, &why);
    if (!file) {
        QMessageBox::information(this, tr("Send File"),
                                 tr("Cannot send %1: %2").arg(QDir::toNativeSeparators(path), why));
        return;
    }
    startTransfer(QFileInfo(path).fileName(), std::move(file));
}
