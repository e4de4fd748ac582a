#include "support/windowdriver.h"

#include "serial/settingsdialog.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace driver {

void chooseCustomPort(MainWindow &window, const QString &path, const QString &flowControl)
{
    SettingsDialog *dialog = KivoTestAccess::settingsDialog(window);
    widget<QAction>(window, "actionConfigure")->trigger();
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
