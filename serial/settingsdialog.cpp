#include "serial/settingsdialog.h"
#include "ui_settingsdialog.h"

#include <QIntValidator>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>

#include <utility>

namespace {

// A second is soon enough for a plugged-in adapter to show, and costs
// little: the system is asked only while the dialog is open.
constexpr int portScanMs = 1000;

// A box at least as wide as its widest entry by the advance of its text: the
// box's own measure, by the text's ink, can leave the last letter cut off.
void fitEntries(QComboBox *box)
{
    int widest = 0;
    for (int i = 0; i < box->count(); ++i)
        widest = std::max(widest, box->fontMetrics().horizontalAdvance(box->itemText(i)));
    QStyleOptionComboBox option;
    option.initFrom(box);
    const QSize text(widest, box->fontMetrics().height());
    box->setMinimumWidth(box->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, box).width());
}

} // namespace

static QString orNotAvailable(const QString &text) { return text.isEmpty() ? SettingsDialog::tr("N/A") : text; }

static QString identifierText(quint16 identifier)
{
    return identifier ? QString::number(identifier, 16) : SettingsDialog::tr("N/A");
}

QStringList portInfoDatum(const QString &portName, const QString &description, const QString &manufacturer,
                          const QString &serialNumber, const QString &systemLocation, quint16 vendorIdentifier,
                          quint16 productIdentifier)
{
    return {portName,
            orNotAvailable(description),
            orNotAvailable(manufacturer),
            orNotAvailable(serialNumber),
            systemLocation,
            identifierText(vendorIdentifier),
            identifierText(productIdentifier)};
}

QList<QStringList> systemPorts()
{
    QList<QStringList> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports << portInfoDatum(info.portName(), info.description(), info.manufacturer(), info.serialNumber(),
                               info.systemLocation(), info.vendorIdentifier(), info.productIdentifier());
    return ports;
}

QList<serial::VirtualPrinterPort> runningVirtualPrinters() { return serial::liveVirtualPrinters(); }

SettingsDialog::SettingsDialog(QWidget *parent, PortLister ports, PrinterLister printers)
    : QDialog(parent)
    , listPorts(std::move(ports))
    , listPrinters(std::move(printers))
{
    ui = new Ui::SettingsDialog;
    baudRateValidator = new QIntValidator(0, 4000000, this);

    ui->setupUi(this);
    wireLinkKind();
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->baudRateBox->setInsertPolicy(QComboBox::NoInsert);
    for (QComboBox *box : findChildren<QComboBox *>())
        box->installEventFilter(this);

    connect(ui->applyButton, &QPushButton::clicked, this, &SettingsDialog::apply);
    connect(ui->serialPortInfoListBox, &QComboBox::currentIndexChanged, this, &SettingsDialog::showPortInfo);
    connect(ui->baudRateBox, &QComboBox::currentIndexChanged, this, &SettingsDialog::checkCustomBaudRatePolicy);
    connect(ui->serialPortInfoListBox, &QComboBox::currentIndexChanged, this,
            &SettingsDialog::checkCustomDevicePathPolicy);
    // Picking "Custom" again, also when it is the only entry, starts afresh.
    connect(ui->serialPortInfoListBox, &QComboBox::activated, this, &SettingsDialog::startCustomPathIfChosen);
    connect(ui->refreshButton, &QPushButton::clicked, this, &SettingsDialog::refreshPorts);
    portScan.setInterval(portScanMs);
    connect(&portScan, &QTimer::timeout, this, &SettingsDialog::refreshPorts);

    fillParameterBoxes();
    readSettingsFromBoxes();
}

SettingsDialog::~SettingsDialog() { delete ui; }

SerialSettings SettingsDialog::serialSettings()
{
    // Never shown: the ports are listed now, so that Connect without a visit
    // to the dialog opens the first port, as it always did.
    if (ui->serialPortInfoListBox->count() == 0) {
        refreshPorts();
        activeSettings.portName = chosenPortName();
    }
    return activeSettings;
}

void SettingsDialog::present()
{
    show();
    raise();
    activateWindow();
}

void SettingsDialog::setReadOnly(bool locked)
{
    readOnly = locked;
    if (locked)
        showActiveSettings();
    const QString why = locked ? tr("Disconnect first to change the port's settings.") : QString();
    for (QComboBox *box : findChildren<QComboBox *>())
        box->setToolTip(why);
    lockCustomPath();
    lockLinkFields();
    ui->applyButton->setEnabled(!locked);
    ui->applyButton->setToolTip(why);
}

// A typed path stays readable, and can be selected and copied.
void SettingsDialog::lockCustomPath()
{
    if (QLineEdit *path = ui->serialPortInfoListBox->lineEdit())
        path->setReadOnly(readOnly);
}

bool SettingsDialog::eventFilter(QObject *watched, QEvent *event)
{
    // A read-only box neither opens nor changes; Tab moves on and Escape
    // closes the dialog as ever. Keys the typed path does not take come here.
    if (readOnly && qobject_cast<QComboBox *>(watched)) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel: return true;
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent *>(event)->key();
            return key != Qt::Key_Tab && key != Qt::Key_Backtab && key != Qt::Key_Escape;
        }
        default: break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// The boxes as last applied: what the open port runs at.
void SettingsDialog::showActiveSettings()
{
    auto choose = [](QComboBox *box, int value) {
        if (const int at = box->findData(value); at >= 0)
            box->setCurrentIndex(at);
    };
    choose(ui->baudRateBox, activeSettings.baudRate);
    choose(ui->dataBitsBox, activeSettings.dataBits);
    choose(ui->parityBox, activeSettings.parity);
    choose(ui->stopBitsBox, activeSettings.stopBits);
    choose(ui->flowControlBox, activeSettings.flowControl);
    showActiveLink();
    QComboBox *ports = ui->serialPortInfoListBox;
    if (ports->count() == 0)
        return;
    const int listed = ports->findText(activeSettings.portName);
    if (listed >= 0 && !isCustomEntry(listed)) {
        ports->setCurrentIndex(listed);
        return;
    }
    ports->setCurrentIndex(ports->count() - 1);
    ports->setEditText(activeSettings.portName);
}

void SettingsDialog::showPortInfo(int idx)
{
    if (idx == -1)
        return;

    const QStringList list = ui->serialPortInfoListBox->itemData(idx).toStringList();
    auto field = [&list](int i) { return list.count() > i ? list.at(i) : tr("N/A"); };
    ui->descriptionLabel->setText(tr("Description: %1").arg(field(1)));
    ui->manufacturerLabel->setText(tr("Manufacturer: %1").arg(field(2)));
    ui->serialNumberLabel->setText(tr("Serial number: %1").arg(field(3)));
    ui->locationLabel->setText(tr("Location: %1").arg(field(4)));
    ui->vidLabel->setText(tr("Vendor Identifier: %1").arg(field(5)));
    ui->pidLabel->setText(tr("Product Identifier: %1").arg(field(6)));
}

void SettingsDialog::apply()
{
    // Enter in a field reaches here even while the button is off.
    if (!ui->applyButton->isEnabled())
        return;
    readSettingsFromBoxes();
    hide();
}

void SettingsDialog::checkCustomBaudRatePolicy(int idx)
{
    const bool isCustomBaudRate = !ui->baudRateBox->itemData(idx).isValid();
    ui->baudRateBox->setEditable(isCustomBaudRate);
    if (isCustomBaudRate) {
        ui->baudRateBox->clearEditText();
        ui->baudRateBox->lineEdit()->setValidator(baudRateValidator);
    }
}

bool SettingsDialog::isCustomEntry(int idx) const
{
    return idx >= 0 && !ui->serialPortInfoListBox->itemData(idx).isValid();
}

void SettingsDialog::checkCustomDevicePathPolicy(int idx)
{
    const bool isCustomPath = isCustomEntry(idx);
    ui->serialPortInfoListBox->setEditable(isCustomPath);
    lockCustomPath();
    if (isCustomPath) {
        ui->serialPortInfoListBox->clearEditText();
        ui->serialPortInfoListBox->lineEdit()->setPlaceholderText(QStringLiteral("/dev/ttyUSB0"));
    }
}

void SettingsDialog::startCustomPathIfChosen(int idx)
{
    if (!isCustomEntry(idx))
        return;
    ui->serialPortInfoListBox->clearEditText();
    ui->serialPortInfoListBox->lineEdit()->setFocus();
}

void SettingsDialog::fillParameterBoxes()
{

    for (int rate : {9600, 19200, 38400, 57600, 115200, 256000, 375000})
        ui->baudRateBox->addItem(QString::number(rate), rate);
    ui->baudRateBox->setCurrentIndex(4);

    for (int bits : {5, 6, 7, 8})
        ui->dataBitsBox->addItem(QString::number(bits), bits);
    ui->dataBitsBox->setCurrentIndex(3);

    ui->parityBox->addItem(tr("None"), QSerialPort::NoParity);
    ui->parityBox->addItem(tr("Even"), QSerialPort::EvenParity);
    ui->parityBox->addItem(tr("Odd"), QSerialPort::OddParity);
    ui->parityBox->addItem(tr("Mark"), QSerialPort::MarkParity);
    ui->parityBox->addItem(tr("Space"), QSerialPort::SpaceParity);

    ui->stopBitsBox->addItem(QStringLiteral("1"), QSerialPort::OneStop);
    ui->stopBitsBox->addItem(tr("1.5"), QSerialPort::OneAndHalfStop);
    ui->stopBitsBox->addItem(QStringLiteral("2"), QSerialPort::TwoStop);

    ui->flowControlBox->addItem(tr("XON/XOFF"), QSerialPort::SoftwareControl);
    ui->flowControlBox->addItem(tr("None"), QSerialPort::NoFlowControl);
    ui->flowControlBox->addItem(tr("RTS/CTS"), QSerialPort::HardwareControl);

    for (QComboBox *box : ui->parametersBox->findChildren<QComboBox *>())
        fitEntries(box);
}

void SettingsDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    refreshPorts();
    portScan.start();
}

void SettingsDialog::hideEvent(QHideEvent *event)
{
    portScan.stop();
    QDialog::hideEvent(event);
}

QList<SettingsDialog::PortEntry> SettingsDialog::currentPorts() const
{
    QList<PortEntry> ports;
    for (const QStringList &datum : listPorts())
        ports << PortEntry{datum.value(0), datum};
    // Opened by its link, described by the terminal behind it.
    for (const serial::VirtualPrinterPort &printer : listPrinters())
        ports << PortEntry{tr("kivo-virtual-printer \u2014 virtual printer, pid %1").arg(printer.pid),
                           portInfoDatum(printer.link, tr("Virtual printer on %1").arg(printer.device), QString(),
                                         QString(), printer.link, 0, 0)};
    return ports;
}

QList<SettingsDialog::PortEntry> SettingsDialog::listedPorts() const
{
    QList<PortEntry> listed;
    for (int i = 0; i + 1 < ui->serialPortInfoListBox->count(); ++i)
        listed << PortEntry{ui->serialPortInfoListBox->itemText(i),
                            ui->serialPortInfoListBox->itemData(i).toStringList()};
    return listed;
}

void SettingsDialog::refreshPorts()
{
    const QList<PortEntry> ports = currentPorts();
    QComboBox *box = ui->serialPortInfoListBox;
    if (box->count() == 0) {
        // The first listing: the first port is chosen, or "Custom".
        for (const PortEntry &port : ports)
            box->addItem(port.text, port.datum);
        box->addItem(tr("Custom"));
        fitPortEntries();
        return;
    }
    if (ports == listedPorts())
        return;

    const bool wasCustom = isCustomEntry(box->currentIndex());
    QLineEdit *typing = wasCustom ? box->lineEdit() : nullptr;
    const QString typed = typing ? typing->text() : QString();
    const int cursor = typing ? typing->cursorPosition() : 0;
    const int selectionStart = typing ? typing->selectionStart() : -1;
    const int selectionLength = typing ? int(typing->selectedText().size()) : 0;

    replacePortEntries(ports);

    if (typing && typing->text() != typed) {
        typing->setText(typed);
        typing->setCursorPosition(cursor);
        if (selectionStart >= 0)
            typing->setSelection(cursor == selectionStart ? selectionStart + selectionLength : selectionStart,
                                 cursor == selectionStart ? -selectionLength : selectionLength);
    }
    if (!wasCustom)
        checkCustomDevicePathPolicy(box->currentIndex());
    showPortInfo(box->currentIndex());
    fitPortEntries();
}

// Every entry shows whole once chosen: a virtual printer's is longer than
// the width the box keeps for a typed path.
void SettingsDialog::fitPortEntries() { fitEntries(ui->serialPortInfoListBox); }

void SettingsDialog::replacePortEntries(const QList<PortEntry> &ports)
{
    QComboBox *box = ui->serialPortInfoListBox;
    const bool wasCustom = isCustomEntry(box->currentIndex());
    // A port is known by its name: a virtual printer started again on the
    // same link stays chosen.
    const QString chosen = wasCustom ? QString() : chosenPortName();
    // The handlers run once the list is whole, from refreshPorts.
    const QSignalBlocker blocker(box);
    while (box->count() > 1)
        box->removeItem(0);
    for (int i = 0; i < ports.size(); ++i)
        box->insertItem(i, ports.at(i).text, ports.at(i).datum);
    int again = wasCustom ? box->count() - 1 : 0;
    for (int i = 0; !wasCustom && i < ports.size(); ++i)
        if (ports.at(i).datum.value(0) == chosen)
            again = i;
    box->setCurrentIndex(again);
}

// The name the port is opened by: a listed port's (a virtual printer's is
// its link), or the path typed for "Custom".
QString SettingsDialog::chosenPortName() const
{
    const QComboBox *box = ui->serialPortInfoListBox;
    return isCustomEntry(box->currentIndex()) ? box->currentText() : box->currentData().toStringList().value(0);
}

void SettingsDialog::readSettingsFromBoxes()
{
    activeSettings.portName = chosenPortName();

    activeSettings.baudRate = ui->baudRateBox->currentData().toInt();
    activeSettings.baudRateText = QString::number(activeSettings.baudRate);

    activeSettings.dataBits = static_cast<QSerialPort::DataBits>(ui->dataBitsBox->currentData().toInt());
    activeSettings.dataBitsText = ui->dataBitsBox->currentText();

    activeSettings.parity = static_cast<QSerialPort::Parity>(ui->parityBox->currentData().toInt());
    activeSettings.parityText = ui->parityBox->currentText();

    activeSettings.stopBits = static_cast<QSerialPort::StopBits>(ui->stopBitsBox->currentData().toInt());
    activeSettings.stopBitsText = ui->stopBitsBox->currentText();

    activeSettings.flowControl = static_cast<QSerialPort::FlowControl>(ui->flowControlBox->currentData().toInt());
    activeSettings.flowControlText = ui->flowControlBox->currentText();
    readLinkFromBoxes();
}
