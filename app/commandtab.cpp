// The Command tab: a typed line sent as the bytes it stands for
// (printer/commandline), Up and Down through the lines sent in this run, the
// saved commands (savedcommandspanel), and a file's bytes sent through the
// long send (longsend.cpp).

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/savedcommandspanel.h"

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

void MainWindow::on_pushButtonAddSavedCommand_released() { saveCommandLine(); }

void MainWindow::on_pushButtonRenameSavedCommand_released() { savedCommands->renameCurrent(); }

void MainWindow::on_pushButtonRemoveSavedCommand_released() { savedCommands->removeCurrent(); }

void MainWindow::on_pushButtonOpenSavedCommands_released() { savedCommands->chooseFileToOpen(); }

void MainWindow::on_pushButtonSaveSavedCommands_released() { savedCommands->chooseFileToSaveAs(); }

void MainWindow::wireCommandTab()
{
    QLineEdit *field = ui->lineEditControllerData;
    connect(field, &QLineEdit::textEdited, ui->labelCommandError, &QLabel::clear);
    connect(ui->comboTextEncoding, &QComboBox::currentIndexChanged, ui->labelCommandError, &QLabel::clear);
    // A hex line is bytes as they stand, whatever the text encoding.
    connect(ui->checkBoxHexEnable, &QCheckBox::toggled, ui->comboTextEncoding, &QWidget::setDisabled);
    auto *up = new QShortcut(QKeySequence(Qt::Key_Up), field, nullptr, nullptr, Qt::WidgetShortcut);
    auto *down = new QShortcut(QKeySequence(Qt::Key_Down), field, nullptr, nullptr, Qt::WidgetShortcut);
    connect(up, &QShortcut::activated, this, &MainWindow::recallOlderCommand);
    connect(down, &QShortcut::activated, this, &MainWindow::recallNewerCommand);
    // Enter sends, Shift+Enter prints (on the main keys and the keypad).
    connect(field, &QLineEdit::returnPressed, this, &MainWindow::on_pushButtonSendCommand_released);
    for (const QKeySequence &keys : {QKeySequence(Qt::SHIFT | Qt::Key_Return), QKeySequence(Qt::SHIFT | Qt::Key_Enter)})
        connect(new QShortcut(keys, field, nullptr, nullptr, Qt::WidgetShortcut), &QShortcut::activated, this,
                &MainWindow::on_pushButtonPrintCommand_released);

    savedCommands = new SavedCommandsPanel({ui->treeSavedCommands, ui->labelSavedCommandsFile,
                                            ui->pushButtonRenameSavedCommand, ui->pushButtonRemoveSavedCommand},
                                           this);
    connect(savedCommands, &SavedCommandsPanel::lineChosen, this, &MainWindow::showSavedLine);
    connect(savedCommands, &SavedCommandsPanel::sendRequested, this, &MainWindow::sendSavedLine);
}

void MainWindow::sendCommandLine(const QByteArray &ending)
{
    // Whatever happens, typing goes on in the field.
    QLineEdit *field = ui->lineEditControllerData;
    field->setFocus();
    if (!connectionGuard())
        return;
    const auto encoding = printer::TextEncoding(ui->comboTextEncoding->currentIndex());
    const printer::ParsedLine line =
        printer::parseCommandLine(field->text(), ui->checkBoxHexEnable->isChecked(), encoding);
    if (!line.ok()) {
        showCommandRefusal(line, tr("Not sent"));
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
    if (printer::asksForAnswer(line.bytes))
        awaitAnswer();
}

void MainWindow::showCommandRefusal(const printer::ParsedLine &line, const QString &outcome)
{
    // Columns count from 1, as a user counts them.
    ui->labelCommandError->setText(tr("%1. Column %2: %3").arg(outcome).arg(line.position + 1).arg(line.error));
    ui->lineEditControllerData->setFocus();
    ui->lineEditControllerData->setSelection(int(line.position), int(line.length));
}

void MainWindow::saveCommandLine()
{
    // The list keeps text lines: a hex line goes in as its bytes' escapes,
    // which stand for the same bytes whatever the Hex box says later. A
    // malformed escape is refused now rather than when the line is sent.
    const bool hex = ui->checkBoxHexEnable->isChecked();
    const QString typed = ui->lineEditControllerData->text();
    const printer::ParsedLine line = printer::parseCommandLine(typed, hex, printer::TextEncoding::Utf8);
    if (!line.ok())
        showCommandRefusal(line, tr("Not saved"));
    else if (line.bytes.isEmpty())
        ui->labelCommandError->setText(tr("Nothing to save: the line is empty."));
    else
        savedCommands->add(hex ? printer::escapedBytes(line.bytes) : typed);
}

void MainWindow::showSavedLine(const QString &line)
{
    ui->checkBoxHexEnable->setChecked(false);
    ui->lineEditControllerData->setText(line);
    ui->labelCommandError->clear();
    ui->lineEditControllerData->setFocus();
}

void MainWindow::sendSavedLine(const QString &line)
{
    showSavedLine(line);
    sendCommandLine(QByteArray());
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
    const qsizetype pieceBytes = printer::filePieceBytes(pieceBaudRate());
    QString why;
    std::unique_ptr<serial::CommandSource> file = serial::openFileSource(path, pieceBytes, &why);
    if (!file) {
        QMessageBox::information(this, tr("Send File"),
                                 tr("Cannot send %1: %2").arg(QDir::toNativeSeparators(path), why));
        return;
    }
    startTransfer(QFileInfo(path).fileName(), std::move(file));
}
