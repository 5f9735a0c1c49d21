#ifndef COMMANDS_H
#define COMMANDS_H

#include <QSerialPort>
#include <cstddef>

#include "globals.h"
#include "protocol/commands.h"

// Writes a fixed command: its bytes up to, not including, the literal's NUL.
template <std::size_t N>
inline void writeCommand(const char (&command)[N])
{
    serialPort->write(command, qint64(N - 1));
}

#endif
