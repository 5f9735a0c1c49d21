#include "linksettings.h"

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

QSerialPort::DataBits dataBitsFor(int setting)
{
    switch (setting) {
    case 7: return QSerialPort::Data7;
    case 8: return QSerialPort::Data8;
    default: return QSerialPort::UnknownDataBits;
    }
}

QSerialPort::StopBits stopBitsFor(int setting)
{
    return setting == 1 ? QSerialPort::OneStop : QSerialPort::UnknownStopBits;
}

QSerialPort::Parity parityFor(int setting)
{
    switch (setting) {
    case 0: return QSerialPort::NoParity;
    case 1: return QSerialPort::MarkParity;
    default: return QSerialPort::UnknownParity;
    }
}

QT_WARNING_POP
