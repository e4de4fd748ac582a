#include "support/windowdriver.h"

#include "serial/settingsdialog.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <sys/resource.h>

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

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void press(MainWindow &window, const char *slot)
{
    if (!QMetaObject::invokeMethod(&window, slot, Qt::DirectConnection))
        qFatal("no slot %s", slot);
}

} // namespace driver
