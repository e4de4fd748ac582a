#pragma once

#include <QSerialPort>
#include <QString>

// The chosen port and line parameters, with the texts the status bar shows.
struct SerialSettings
{
    QString portName;
    qint32 baudRate = 0;
    QString baudRateText;
    QSerialPort::DataBits dataBits = QSerialPort::DataBits(0);
    QString dataBitsText;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QString parityText;
    QSerialPort::StopBits stopBits = QSerialPort::StopBits(0);
    QString stopBitsText;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;
    QString flowControlText;
};
