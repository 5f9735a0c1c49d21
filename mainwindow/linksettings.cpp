#include "linksettings.h"

// A saved value without a line setting of its own maps to -1, which the port
// takes as "unknown" (Qt 5 names it Unknown...; Qt 6 has no name for it).
QSerialPort::DataBits dataBitsFor(int setting)
{
    switch (setting) {
    case 7: return QSerialPort::Data7;
    case 8: return QSerialPort::Data8;
    default: return QSerialPort::DataBits(-1);
    }
}

QSerialPort::StopBits stopBitsFor(int setting)
{
    return setting == 1 ? QSerialPort::OneStop : QSerialPort::StopBits(-1);
}

QSerialPort::Parity parityFor(int setting)
{
    switch (setting) {
    case 0: return QSerialPort::NoParity;
    case 1: return QSerialPort::MarkParity;
    default: return QSerialPort::Parity(-1);
    }
}
