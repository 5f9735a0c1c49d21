#ifndef LINKSETTINGS_H
#define LINKSETTINGS_H

#include <QSerialPort>

// How the saved integer settings map onto the port's line settings.
QSerialPort::DataBits dataBitsFor(int setting);
QSerialPort::StopBits stopBitsFor(int setting);
QSerialPort::Parity parityFor(int setting);

#endif
