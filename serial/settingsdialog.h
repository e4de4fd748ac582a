#pragma once

#include "serial/serialsettings.h"

#include <QDialog>
#include <QStringList>

class QIntValidator;

namespace Ui {
class SettingsDialog;
}

// The seven strings kept with each port entry: name, description,
// manufacturer, serial number, location, vendor and product identifier.
// Empty texts and zero identifiers read "N/A"; identifiers are lower-case
// hexadecimal without prefix.
QStringList portInfoDatum(const QString &portName, const QString &description, const QString &manufacturer,
                          const QString &serialNumber, const QString &systemLocation, quint16 vendorIdentifier,
                          quint16 productIdentifier);

// Lets the user choose the serial port and its line parameters; hands the
// last applied choice back as a plain SerialSettings record.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(QWidget *parent = nullptr);
    ~SettingsDialog() override;

    SerialSettings serialSettings() const;

private slots:
    void showPortInfo(int idx);
    void apply();
    void checkCustomBaudRatePolicy(int idx);
    void checkCustomDevicePathPolicy(int idx);

private:
    void fillParameterBoxes();
    void fillPortList();
    void readSettingsFromBoxes();

    Ui::SettingsDialog *ui = nullptr;
    SerialSettings activeSettings;
    QIntValidator *baudRateValidator = nullptr;
};
