#pragma once

#include "app/mainwindow.h"
#include "app/monopreview.h"
#include "serial/seriallink.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QSerialPort>

class SettingsDialog;

// The window's members that a user cannot reach by object name.
struct KivoTestAccess
{
    static QSerialPort *serialPort(MainWindow &w) { return w.serialLink->serialPort(); }
    static SettingsDialog *settingsDialog(MainWindow &w) { return w.settings(); }
    static QLabel *statusLabel(MainWindow &w) { return w.statusLabel; }
    static MonoPreview *preview(MainWindow &w) { return w.previewLabel; }
    static const QImage &loadedImage(MainWindow &w) { return w.loadedImage; }
    // Sends every write to `device` instead of the serial port (pass the
    // port back to undo). The device's open state then counts as connected;
    // long sends go at `bytesPerSecond` (0: all at once).
    static void setWire(MainWindow &w, QIODevice *device, double bytesPerSecond = 0)
    {
        w.lineOut.setDevice(device, bytesPerSecond);
    }
    // What Connect does once the port is open, for the wire.
    static void startSession(MainWindow &w) { w.startSession(QStringLiteral("wire")); }
    // Long sends pace themselves, requests wait for their answer and a
    // network link gives up connecting, by `clock`.
    static void setClock(MainWindow &w, timing::Clock &clock) { w.useClock(clock); }
    static void setAnswerClock(MainWindow &w, timing::Clock &clock) { w.useAnswerClock(clock); }
    // Loads an image file as the Load button's dialog does.
    static bool loadFile(MainWindow &w, const QString &path) { return w.loadFile(path); }
    static serial::Transfer *transfer(MainWindow &w) { return w.transfer; }
    // Sends a file as Send File does once the dialog has named it.
    static void sendFile(MainWindow &w, const QString &path) { w.sendFile(path); }
    static traffic::Record &trafficRecord(MainWindow &w) { return w.trafficRecord; }
    static SavedCommandsPanel *savedCommands(MainWindow &w) { return w.savedCommands; }
};

// A widget of the window by object name; fails the test if it is missing.
template<typename T>
T *widget(QObject &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}
