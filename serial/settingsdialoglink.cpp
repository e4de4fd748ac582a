// The settings dialog's choice of link: the kind, and the network printer's
// host and port or the printer device's path. The serial port's boxes show
// only for the serial kind, as they always looked.

#include "serial/settingsdialog.h"
#include "ui_settingsdialog.h"

#include <QLineEdit>
#include <QSpinBox>

using Kind = serial::LinkSettings::Kind;

void SettingsDialog::wireLinkKind()
{
    for (const Kind kind : {Kind::Serial, Kind::Network, Kind::DeviceFile}) {
        QString name = serial::kindName(kind);
        name[0] = name[0].toUpper();
        ui->linkKindBox->addItem(name, int(kind));
    }
    showLinkKind();
    connect(ui->linkKindBox, &QComboBox::currentIndexChanged, this, [this] {
        showLinkKind();
        adjustSize();
    });
}

void SettingsDialog::showLinkKind()
{
    const auto kind = Kind(ui->linkKindBox->currentData().toInt());
    ui->selectBox->setVisible(kind == Kind::Serial);
    ui->parametersBox->setVisible(kind == Kind::Serial);
    ui->refreshButton->setVisible(kind == Kind::Serial);
    ui->networkBox->setVisible(kind == Kind::Network);
    ui->deviceBox->setVisible(kind == Kind::DeviceFile);
    if (QWidget *first = kind == Kind::Network ? ui->hostEdit : kind == Kind::DeviceFile ? ui->devicePathEdit : nullptr)
        first->setFocus();
}

void SettingsDialog::readLinkFromBoxes()
{
    activeLink.kind = Kind(ui->linkKindBox->currentData().toInt());
    activeLink.host = ui->hostEdit->text().trimmed();
    activeLink.port = quint16(ui->networkPortBox->value());
    activeLink.devicePath = ui->devicePathEdit->text().trimmed();
}

serial::LinkSettings SettingsDialog::linkSettings()
{
    serial::LinkSettings settings = activeLink;
    settings.serial = serialSettings();
    return settings;
}

void SettingsDialog::showActiveLink()
{
    ui->linkKindBox->setCurrentIndex(ui->linkKindBox->findData(int(activeLink.kind)));
    ui->hostEdit->setText(activeLink.host);
    ui->networkPortBox->setValue(activeLink.port);
    ui->devicePathEdit->setText(activeLink.devicePath);
}

// Typed settings stay readable, and can be selected and copied.
void SettingsDialog::lockLinkFields()
{
    ui->hostEdit->setReadOnly(readOnly);
    ui->networkPortBox->setReadOnly(readOnly);
    ui->devicePathEdit->setReadOnly(readOnly);
    const QString why = readOnly ? tr("Disconnect first to change the port's settings.") : QString();
    ui->hostEdit->setToolTip(why);
    ui->devicePathEdit->setToolTip(why);
    ui->networkPortBox->setToolTip(readOnly ? why : tr("The printer's raw print port: 9100 on most network printers"));
}
