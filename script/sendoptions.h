#pragma once

// kivo-send's command line as a plain record: where the controller is, the
// actions in the order given, and how to report.

#include "bitmap/pictureoptions.h"
#include "printer/commandline.h"

#include <QList>
#include <QSerialPort>
#include <QString>
#include <QStringList>

namespace script {

struct Action
{
    enum class Kind { Demo, Picture, File, Hex, Text };
    Kind kind = Kind::Demo;
    QString value; // the demonstration's name, the file, or the typed line
    bitmap::PictureOptions picture;
    printer::TextEncoding encoding = printer::TextEncoding::Controller;
};

struct SendOptions
{
    enum class LinkKind { None, SerialPort, Network, DeviceFile };
    LinkKind link = LinkKind::None;
    QString target; // the port, the device file, or the network host
    quint16 networkPort = 9100;
    // The controller's start-up setting: 115200 bit/s, 8N1, XON/XOFF.
    qint32 baudRate = 115200;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flow = QSerialPort::SoftwareControl;
    QList<Action> actions;
    bool json = false;
    bool listDemos = false;
    bool help = false;
    bool programVersion = false;
};

// The options read from `arguments` (without the program name); the reason
// when they cannot be read, in `error`.
SendOptions parseSendArguments(const QStringList &arguments, QString *error);

// What --help prints.
QString usageText();

// The link as the reports name it: "/dev/ttyUSB0", "127.0.0.1:9100".
QString linkName(const SendOptions &options);

} // namespace script
