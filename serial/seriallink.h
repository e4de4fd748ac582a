#pragma once

// The serial kind of link: a serial port with its line parameters, taken for
// this program alone while open (serial/portclaim).

#include "serial/link.h"
#include "serial/modemlines.h"

#include <QSerialPort>

#include <memory>

namespace serial {

class SerialLink : public Link
{
    Q_OBJECT

public:
    explicit SerialLink(QObject *parent = nullptr);

    // The port and line parameters of the next opening.
    void setSettings(const SerialSettings &chosen) { settings = chosen; }
    const SerialSettings &serialSettings() const { return settings; }

    bool open(QString *refusal) override;
    void close() override;
    QIODevice *device() const override { return port; }
    QSerialPort *serialPort() const { return port; }
    double bytesPerSecond() const override;
    qint32 baudRate() const override { return settings.baudRate; }
    QString displayName() const override { return settings.portName; }
    QString connectedText() const override;
    qint64 bytesQueued() const override;

    // The open port's control signals.
    std::unique_ptr<ModemLines> modemLines() const;
    bool rtsByFlowControl() const { return settings.flowControl == QSerialPort::HardwareControl; }

private:
    void handleError(QSerialPort::SerialPortError error);

    QSerialPort *port;
    SerialSettings settings;
};

} // namespace serial
