#ifndef PRINTER_KIVO_MAINWINDOW_H
#define PRINTER_KIVO_MAINWINDOW_H

#include <QImage>
#include <QMainWindow>

class QLabel;
class QSerialPort;
class SettingsDialog;

namespace Ui {
class MainWindow;
}

// The one window of the program. It owns the serial port, the settings
// dialog, the loaded image and every widget; its slots are defined in the
// folder of the subsystem they belong to.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void about();

    void on_checkBoxHexEnable_released();

private:
    void wireActions();
    void setStatusText(const QString &message);

    Ui::MainWindow *ui = nullptr;
    QLabel *statusLabel = nullptr;
    SettingsDialog *settingsDialog = nullptr;
    QSerialPort *serialPort = nullptr;
    QImage loadedImage;
    QLabel *previewLabel = nullptr;

    friend struct KivoTestAccess;
};

#endif
