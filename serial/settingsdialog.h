#pragma once

#include "serial/link.h"
#include "serial/serialsettings.h"
#include "serial/virtualprinters.h"

#include <QDialog>
#include <QList>
#include <QStringList>
#include <QTimer>

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

// The virtual printers running, each listed as a port of its own.
using PrinterLister = std::function<QList<serial::VirtualPrinterPort>()>;
QList<serial::VirtualPrinterPort> runningVirtualPrinters();

// Lets the user choose the kind of link (a serial port, the default; a
// network printer; a printer device file) and its settings: for a serial
// port the port and its line parameters. Hands the last applied choice back
// as a plain LinkSettings record. The port list
// holds the system's ports, then the virtual printers that run (opened by
// their links), then "Custom", which takes a typed device path. The ports are
// listed when the dialog is shown, not before, and listed again every second
// while it is open (and on Refresh): the choice stays while its port is
// there, and what the user types for "Custom" is never touched.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(QWidget *parent = nullptr, PortLister ports = systemPorts,
                            PrinterLister printers = runningVirtualPrinters);
    ~SettingsDialog() override;

    // The last applied settings; before the first listing the port is the
    // one the listing chooses first.
    SerialSettings serialSettings();
    // The last applied link, its serial part as serialSettings() gives it.
    serial::LinkSettings linkSettings();

    // Shows the dialog in front, also when it is already open behind.
    void present();
    // While the port is open its settings stay as they are: the dialog shows
    // the ones in use, readable but not to be changed, and Apply is off.
    void setReadOnly(bool readOnly);
    // Whether the port list is being listed again every second (while shown).
    bool scansPorts() const { return portScan.isActive(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void refreshPorts();
    void showPortInfo(int idx);
    void apply();
    void checkCustomBaudRatePolicy(int idx);
    void checkCustomDevicePathPolicy(int idx);
    void startCustomPathIfChosen(int idx);

private:
    // An entry of the port list: what it shows, and its portInfoDatum.
    struct PortEntry
    {
        QString text;
        QStringList datum;
        bool operator==(const PortEntry &other) const { return text == other.text && datum == other.datum; }
    };

    void fillParameterBoxes();
    QList<PortEntry> currentPorts() const;
    QList<PortEntry> listedPorts() const;
    void replacePortEntries(const QList<PortEntry> &ports);
    void fitPortEntries();
    void readSettingsFromBoxes();
    QString chosenPortName() const;
    void showActiveSettings();
    void lockCustomPath();

    bool isCustomEntry(int idx) const;

    // The kind of link and the network and device settings
    // (settingsdialoglink.cpp).
    void wireLinkKind();
    void showLinkKind();
    void readLinkFromBoxes();
    void showActiveLink();
    void lockLinkFields();

    Ui::SettingsDialog *ui = nullptr;
    PortLister listPorts;
    PrinterLister listPrinters;
    SerialSettings activeSettings;
    serial::LinkSettings activeLink; // its serial part is activeSettings
    QIntValidator *baudRateValidator = nullptr;
    // Lists the ports again while the dialog is shown.
    QTimer portScan;
    bool readOnly = false;
};
