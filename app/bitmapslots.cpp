// The Bitmaps tab: loading an image file into the preview (bitmap/imagefile)
// and printing the loaded image (bitmap/printjob).

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "bitmap/imagefile.h"
#include "bitmap/printjob.h"
#include "serial/settingsdialog.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>

#include <utility>

void MainWindow::open()
{
    QFileDialog dialog(this, tr("Open File"));
    bitmap::prepareOpenDialog(dialog, std::exchange(firstOpenDialog, false));
    while (dialog.exec() == QDialog::Accepted && !loadFile(dialog.selectedFiles().value(0))) {
    }
}

bool MainWindow::loadFile(const QString &fileName)
{
    ui->editKivo->insertPlainText("Loading image:");

    const bitmap::ImageFile file = bitmap::readImageFile(fileName);
    if (file.image.isNull()) {
        QMessageBox::information(this, QGuiApplication::applicationDisplayName(),
                                 tr("Cannot load %1: %2").arg(QDir::toNativeSeparators(fileName), file.error));
        return false;
    }

    if (file.converted)
        ui->editKivo->appendPlainText("Bitmap is not 1bpp (mono) trying to convert...");
    loadedImage = file.image;
    previewLabel->setPixmap(QPixmap::fromImage(loadedImage));
    ui->editKivo->appendPlainText(bitmap::loadReport(fileName, file));

    setWindowFilePath(fileName);
    return true;
}

void MainWindow::on_pushButton_Load_released()
{
    ui->editKivo->clear();
    open();
}

void MainWindow::on_pushButton_58PrintH_released() { printLoadedImage(); }

void MainWindow::printLoadedImage()
{
    if (!connectionGuard())
        return;
    ui->editKivo->clear();
    ui->editKivo->insertPlainText("Validating if Bitmap can be printed");

    // Bands of a quarter second of line time each, so that Stop is quick.
    const qsizetype bandBytes = bitmap::bandBytesFor(settingsDialog->serialSettings().baudRate);
    const bitmap::PrintJob job = bitmap::printJob(loadedImage, bandBytes);
    switch (job.refusal) {
    case bitmap::PrintJob::Refusal::NothingLoaded:
        ui->editKivo->appendPlainText("No Bitmap loaded");
        QMessageBox::about(this, tr("Print Bitmap"), tr("No Bitmap loaded!"));
        return;
    case bitmap::PrintJob::Refusal::TooWide:
        ui->editKivo->appendPlainText("Bitmap too wide. Max 384 pixels");
        QMessageBox::about(this, tr("Print Bitmap"),
                           tr("This tool allows printing only for bitmaps of up to 384 pixel wide!"));
        return;
    case bitmap::PrintJob::Refusal::None: break;
    }
    ui->editKivo->appendPlainText("Validating bitmap...");
    // The transfer keeps the rows the commands borrow.
    startTransfer(tr("Bitmap"), job.commands, job.rows);
}
