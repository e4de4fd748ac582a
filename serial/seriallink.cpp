#include "serial/seriallink.h"

#include "printer/linetime.h"
#include "serial/controllermodel.h"
#include "serial/portclaim.h"
#include "serial/portproblem.h"

#include <QCoreApplication>
#include <QSignalBlocker>

namespace serial {

SerialLink::SerialLink(QObject *parent)
    : Link(parent)
    , port(new QSerialPort(this))
{
    connect(port, &QSerialPort::errorOccurred, this, &SerialLink::handleError);
}

bool SerialLink::open(QString *refusal)
{
    port->setPortName(settings.portName);
    port->setBaudRate(settings.baudRate, QSerialPort::AllDirections);
    port->setDataBits(settings.dataBits);
    port->setParity(settings.parity);
    port->setStopBits(settings.stopBits);
    port->setFlowControl(settings.flowControl);
    if (!openExclusive(*port, settings.portName, refusal))
        return false;
    armLoss();
    return true;
}

void SerialLink::close()
{
    // Drops what the port has not sent yet: the port's own buffer and what
    // the system still holds for the line. Otherwise a closed port keeps a
    // large picture in memory, the system goes on sending its share after
    // the close, and a serial driver may even hold the close until its
    // queue has drained (up to half a minute while flow control holds the
    // line). Should the flush fail, that is no news: the port's signals are
    // blocked meanwhile.
    if (!port->isOpen())
        return;
    const QSignalBlocker quiet(port);
    port->clear(QSerialPort::Output);
    releasePort(*port);
    port->close();
}

double SerialLink::bytesPerSecond() const { return printer::lineBytesPerSecond(settings.baudRate); }

QString SerialLink::connectedText() const
{
    // All six at once, so a '%' in a typed device path stays as it is.
    return QCoreApplication::translate("MainWindow", "Connected to %1 : %2, %3, %4, %5, %6")
        .arg(settings.portName, settings.baudRateText, settings.dataBitsText, settings.parityText,
             settings.stopBitsText, settings.flowControlText);
}

qint64 SerialLink::bytesQueued() const { return serial::bytesQueued(port); }

std::unique_ptr<ModemLines> SerialLink::modemLines() const { return terminalModemLines(port->handle()); }

void SerialLink::handleError(QSerialPort::SerialPortError error)
{
    // A device that went away while open: an unplugged adapter reports a
    // resource error, a vanished pseudo-terminal peer a read error, over
    // and over. Other errors are not for this handler; a failed open is
    // reported where the port is opened. Closing at once ends the flood.
    const bool deviceLost = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (deviceLost && port->isOpen())
        reportLost(lostDeviceText(settings.portName, port->errorString()));
}

} // namespace serial
