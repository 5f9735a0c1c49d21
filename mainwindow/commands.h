#ifndef COMMANDS_H
#define COMMANDS_H

#include <cstddef>

#include "globals.h"
#include "lineowner.h"
#include "protocol/commands.h"

// Writes a fixed command through the line's ledger: its bytes up to, not
// including, the literal's NUL.
template <std::size_t N>
inline void writeCommand(const char (&command)[N])
{
    transferLine->write(QByteArray(command, int(N - 1)));
}

#endif
