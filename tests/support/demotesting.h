#pragma once

// Running demonstrations against a recording device: a window whose every
// write is kept, and the check that a button does nothing but show the
// connection box while no port is open.

#include "support/kivotestaccess.h"
#include "support/modalboxcloser.h"
#include "support/recordingdevice.h"
#include "support/windowdriver.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

// A window that writes to `device`; the device open counts as connected.
struct RecordedWindow
{
    MainWindow window;
    RecordingDevice device;

    explicit RecordedWindow(bool connected = true)
    {
        KivoTestAccess::setWire(window, &device);
        if (connected)
            device.open(QIODevice::ReadWrite);
    }
    ~RecordedWindow() { KivoTestAccess::setWire(window, KivoTestAccess::serialPort(window)); }

    QPlainTextEdit *console() { return widget<QPlainTextEdit>(window, "editKivo"); }
    QString consoleText() { return console()->toPlainText(); }
    QByteArray stream() const { return device.stream(); }
};

// Shows the window with the tab that holds `button`, so that mouse events
// reach the button as they would reach it from a user.
inline QPushButton *showButton(MainWindow &window, const char *button)
{
    auto *found = widget<QPushButton>(window, button);
    auto *tabs = widget<QTabWidget>(window, "mainTabsKivo");
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->widget(i)->isAncestorOf(found))
            tabs->setCurrentIndex(i);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qWarning("window not exposed");
    return found;
}

// With no port open, the handler `slot` only shows the connection box: its
// title and text exact, no byte written, the console as it was.
inline void verifyConnectionGuard(const char *slot)
{
    RecordedWindow recorded(false);
    const QString before = QStringLiteral("typed by the user\nsecond line");
    recorded.console()->setPlainText(before);

    ModalBoxCloser closer;
    driver::press(recorded.window, slot);

    QCOMPARE(closer.boxes.size(), 1);
    QCOMPARE(closer.boxes[0].title, QStringLiteral("Serial Port Connect"));
    QCOMPARE(closer.boxes[0].text, QStringLiteral("Please configure and connect to the serial port first!"));
    QVERIFY(recorded.device.writes.isEmpty());
    QCOMPARE(recorded.consoleText(), before);
}
