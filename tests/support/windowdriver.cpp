#include "support/windowdriver.h"

#include "serial/settingsdialog.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

namespace driver {

namespace {

// Opens the settings with the kind of link chosen by its place in the list.
SettingsDialog *chooseKind(MainWindow &window, int kind)
{
    SettingsDialog *dialog = KivoTestAccess::settingsDialog(window);
    widget<QAction>(window, "actionConfigure")->trigger();
    widget<QComboBox>(*dialog, "linkKindBox")->setCurrentIndex(kind);
    return dialog;
}

void applyAndConnect(MainWindow &window, SettingsDialog &dialog)
{
    widget<QPushButton>(dialog, "applyButton")->click();
    widget<QAction>(window, "actionConnect")->trigger();
}

bool connected(MainWindow &window) { return widget<QAction>(window, "actionDisconnect")->isEnabled(); }

} // namespace

void chooseCustomPort(MainWindow &window, const QString &path, const QString &flowControl)
{
    SettingsDialog *dialog = chooseKind(window, 0);
    auto *ports = widget<QComboBox>(*dialog, "serialPortInfoListBox");
    ports->setCurrentIndex(ports->count() - 1);
    ports->lineEdit()->setText(path);
    auto *flow = widget<QComboBox>(*dialog, "flowControlBox");
    flow->setCurrentIndex(flow->findText(flowControl));
    widget<QPushButton>(*dialog, "applyButton")->click();
}

bool connectTo(MainWindow &window, const QString &path, const QString &flowControl)
{
    chooseCustomPort(window, path, flowControl);
    widget<QAction>(window, "actionConnect")->trigger();
    return KivoTestAccess::serialPort(window)->isOpen();
}

void startConnectingToNetwork(MainWindow &window, const QString &host, quint16 port)
{
    SettingsDialog *dialog = chooseKind(window, 1);
    widget<QLineEdit>(*dialog, "hostEdit")->setText(host);
    widget<QSpinBox>(*dialog, "networkPortBox")->setValue(port);
    applyAndConnect(window, *dialog);
}

bool connectToNetwork(MainWindow &window, const QString &host, quint16 port)
{
    startConnectingToNetwork(window, host, port);
    return QTest::qWaitFor([&] { return !statusText(window).startsWith(QStringLiteral("Connecting")); }, 20000)
        && connected(window);
}

bool connectToDevice(MainWindow &window, const QString &path)
{
    SettingsDialog *dialog = chooseKind(window, 2);
    widget<QLineEdit>(*dialog, "devicePathEdit")->setText(path);
    applyAndConnect(window, *dialog);
    return connected(window);
}

QString statusText(MainWindow &window) { return KivoTestAccess::statusLabel(window)->text(); }

QString console(MainWindow &window) { return widget<QPlainTextEdit>(window, "editKivo")->toPlainText(); }

QString actionStates(MainWindow &window)
{
    QString states;
    for (auto [name, letter] : {std::pair{"actionConnect", 'c'}, {"actionDisconnect", 'd'}, {"actionConfigure", 'f'}}) {
        const bool on = widget<QAction>(window, name)->isEnabled();
        states += on ? QChar(letter).toUpper() : QChar(letter);
    }
    return states;
}

void press(MainWindow &window, const char *slot)
{
    if (!QMetaObject::invokeMethod(&window, slot, Qt::DirectConnection))
        qFatal("no slot %s", slot);
}

} // namespace driver
