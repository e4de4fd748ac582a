// The Bitmaps tab: loading an image file into the preview (bitmap/imagefile),
// the picture options (bitmap/pictureoptions) and printing the loaded image
// (bitmap/printjob).

#include "app/backgroundread.h"
#include "app/mainwindow.h"
#include "app/monopreview.h"
#include "ui_mainwindow.h"

#include "bitmap/imagefile.h"
#include "bitmap/printjob.h"
#include "serial/settingsdialog.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>

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

    const bitmap::ImageFile file = readPictureFile(fileName);
    if (file.image.isNull())
        return false;

    if (file.converted)
        ui->editKivo->appendPlainText("Bitmap is not 1bpp (mono) trying to convert...");
    showPicture(file.image);
    loadedFileName = fileName;
    ui->editKivo->appendPlainText(bitmap::loadReport(fileName, file));

    setWindowFilePath(fileName);
    return true;
}

// The file read with the current picture options, off the window's thread;
// why it could not be read is shown. A null image when it could not, or when
// the user gave up waiting.
bitmap::ImageFile MainWindow::readPictureFile(const QString &fileName)
{
    const std::optional<bitmap::ImageFile> read =
        readInBackground(this, fileName, [fileName, options = pictureOptions()](const bitmap::CancelFlag *cancel) {
            return bitmap::readImageFile(fileName, options, cancel);
        });
    if (!read) // the user cancelled a long read
        return {};
    const bitmap::ImageFile &file = *read;
    if (file.image.isNull())
        QMessageBox::information(this, QGuiApplication::applicationDisplayName(),
                                 tr("Cannot load %1: %2").arg(QDir::toNativeSeparators(fileName), file.error));
    return file;
}

void MainWindow::showPicture(const QImage &picture)
{
    loadedImage = picture;
    previewLabel->setImage(loadedImage);
    ui->labelPrintedSize->setText(bitmap::printedSizeText(loadedImage, pictureOptions().paperWidth));
}

bitmap::PictureOptions MainWindow::pictureOptions() const
{
    bitmap::PictureOptions options;
    options.paperWidth = ui->comboPaperWidth->currentIndex() == 1 ? bitmap::widePrintWidth : bitmap::maxPrintWidth;
    options.fitToWidth = ui->checkFitWidth->isChecked();
    options.greys = bitmap::GreyToMono(ui->comboGreys->currentIndex());
    options.thresholdLevel = ui->spinThreshold->value();
    options.invert = ui->checkInvert->isChecked();
    return options;
}

// The loaded file is read again with the new options; a file that has gone
// meanwhile keeps the picture shown.
void MainWindow::applyPictureOptions()
{
    ui->spinThreshold->setEnabled(pictureOptions().greys == bitmap::GreyToMono::Threshold);
    if (loadedFileName.isEmpty())
        return;
    const bitmap::ImageFile file = readPictureFile(loadedFileName);
    showPicture(file.image.isNull() ? loadedImage : file.image);
}

void MainWindow::on_comboPaperWidth_currentIndexChanged(int) { applyPictureOptions(); }
void MainWindow::on_checkFitWidth_toggled(bool) { applyPictureOptions(); }
void MainWindow::on_comboGreys_currentIndexChanged(int) { applyPictureOptions(); }
void MainWindow::on_spinThreshold_valueChanged(int) { applyPictureOptions(); }
void MainWindow::on_checkInvert_toggled(bool) { applyPictureOptions(); }

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
    const qsizetype bandBytes = pictureBandBytes();
    const int paperWidth = pictureOptions().paperWidth;
    const bitmap::PrintJob job = bitmap::printJob(loadedImage, bandBytes, paperWidth);
    switch (job.refusal) {
    case bitmap::PrintJob::Refusal::NothingLoaded:
        ui->editKivo->appendPlainText("No Bitmap loaded");
        QMessageBox::about(this, tr("Print Bitmap"), tr("No Bitmap loaded!"));
        return;
    case bitmap::PrintJob::Refusal::TooWide:
        ui->editKivo->appendPlainText(QStringLiteral("Bitmap too wide. Max %1 pixels").arg(paperWidth));
        refuseTooWide(paperWidth);
        return;
    case bitmap::PrintJob::Refusal::None: break;
    }
    if (!acceptHeadCut(loadedImage.width()))
        return;
    ui->editKivo->appendPlainText("Validating bitmap...");
    // The transfer keeps the rows the commands borrow.
    startTransfer(tr("Bitmap"), serial::listSource(job.commands, job.rows));
}

// The about box the refusal always was, with the way out.
void MainWindow::refuseTooWide(int paperWidth)
{
    QMessageBox box(QMessageBox::Information, tr("Print Bitmap"),
                    tr("This tool allows printing only for bitmaps of up to %1 pixel wide!").arg(paperWidth),
                    QMessageBox::Ok, this);
    const QIcon icon = box.windowIcon();
    box.setIconPixmap(icon.pixmap(icon.actualSize(QSize(64, 64))));
    box.setInformativeText(paperWidth < bitmap::widePrintWidth
                               ? tr("Choose Fit to width, or paper 576 dots for an 80 mm head.")
                               : tr("Choose Fit to width."));
    box.exec();
}

// The controller cuts a picture wider than its head: said once for each
// head type sent on this connection.
bool MainWindow::acceptHeadCut(int pictureWidth)
{
    if (!headDotsSent || pictureWidth <= *headDotsSent || std::exchange(headCutWarned, true))
        return true;
    const QString text = tr("The last print head type sent on this connection prints %1 dots a line (a 58 mm "
                            "head): the printer will cut the picture at %1 dots.")
                             .arg(*headDotsSent);
    QMessageBox box(QMessageBox::Warning, tr("Print Bitmap"), text, QMessageBox::Ok | QMessageBox::Cancel, this);
    box.exec();
    return box.clickedButton() != box.button(QMessageBox::Cancel);
}
