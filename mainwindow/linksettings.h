#ifndef LINKSETTINGS_H
#define LINKSETTINGS_H

#include <QSerialPort>

// How the saved integer settings map onto the port's line settings.
QSerialPort::DataBits dataBitsFor(int setting);
QSerialPort::StopBits stopBitsFor(int setting);
QSerialPort::Parity parityFor(int setting);

// True when the line behind the descriptor has hung up (adapter pulled,
// far end of a pseudo-terminal closed).
bool lineHungUp(qintptr handle);

#endif
