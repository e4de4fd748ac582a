#pragma once

#include "serial/serialsettings.h"

#include <QDialog>
#include <QList>
#include <QStringList>

#include <functional>

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

// The serial ports there are, one portInfoDatum each.
using PortLister = std::function<QList<QStringList>()>;
QList<QStringList> systemPorts();

// Lets the user choose the serial port and its line parameters; hands the
// last applied choice back as a plain SerialSettings record. The last entry
// of the port list, "Custom", takes a typed device path.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(QWidget *parent = nullptr, PortLister ports = systemPorts);
    ~SettingsDialog() override;

    SerialSettings serialSettings() const;

    // Shows the dialog in front, also when it is already open behind.
    void present();
    // While the port is open its settings stay as they are: Apply is off.
    void setApplyAllowed(bool allowed);

private slots:
    void showPortInfo(int idx);
    void apply();
    void checkCustomBaudRatePolicy(int idx);
    void checkCustomDevicePathPolicy(int idx);
    void startCustomPathIfChosen(int idx);

private:
    void fillParameterBoxes();
    void fillPortList();
    void readSettingsFromBoxes();

    bool isCustomEntry(int idx) const;

    Ui::SettingsDialog *ui = nullptr;
    PortLister listPorts;
    SerialSettings activeSettings;
    QIntValidator *baudRateValidator = nullptr;
};
