// The window's bitmap handlers: loading an image file into the preview and
// printing the loaded image as raster pictures.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "bitmap/imagefile.h"
#include "bitmap/monoimage.h"
#include "printer/commands.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>

#include <utility>

void MainWindow::open()
{
    // Only the first dialog of a run is sent to the picture folder; later
    // ones open where the user left off.
    static bool firstDialog = true;

    QFileDialog dialog(this, tr("Open File"));
    bitmap::prepareOpenDialog(dialog, std::exchange(firstDialog, false));
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
    ui->editKivo->appendPlainText(bitmap::loadReport(fileName, loadedImage));

    setWindowFilePath(fileName);
    return true;
}

void MainWindow::on_pushButton_Load_released()
{
    ui->editKivo->clear();
    open();
}

void MainWindow::on_pushButton_58PrintH_released()
{
    if (!connectionGuard())
        return;
    ui->editKivo->clear();
    ui->editKivo->insertPlainText("Validating if Bitmap can be printed");

    if (loadedImage.sizeInBytes() <= 0) {
        ui->editKivo->appendPlainText("No Bitmap loaded");
        QMessageBox::about(this, tr("Print Bitmap"), tr("No Bitmap loaded!"));
        return;
    }
    if (loadedImage.width() > bitmap::MaxPrintWidth) {
        ui->editKivo->appendPlainText("Bitmap too wide. Max 384 pixels");
        QMessageBox::about(this, tr("Print Bitmap"),
                           tr("This tool allows printing only for bitmaps of up to 384 pixel wide!"));
        return;
    }
    ui->editKivo->appendPlainText("Validating bitmap...");

    transmit(printer::printerSoftInit());
    // The rows live until every command that borrows them has been handed
    // to the port, which copies them into its output buffer.
    const QByteArray rows = bitmap::rasterRows(loadedImage);
    for (const printer::Command &command : bitmap::rasterCommands(rows, int(loadedImage.bytesPerLine())))
        transmit(command);
}
