#ifndef COMMANDS_H
#define COMMANDS_H

#include <QSerialPort>
#include <cstddef>

#include "globals.h"

// Command literals of the module's line protocol. Each is written without its
// terminating NUL; letter case matters to the module.
namespace Cmd {
constexpr char ReadTemperature[] = "MT\r\n";
constexpr char ReadVersions[] = "VER FULL\r\n";
constexpr char KeyUpper1[] = "KEY 1\r\n";
constexpr char DacInfo[] = "DACINFO\r\n";
constexpr char KeyLower3[] = "key 3\r\n";
constexpr char ReadOutput[] = "MOD\r\n";
constexpr char ReadAlarm[] = "ast\r\n";
constexpr char ReadDac[] = "dac\r\n";
constexpr char OutputOn[] = "MOD ON\r\n";
constexpr char OutputOff[] = "MOD OFF\r\n";
constexpr char DacPrefix[] = "DAC ";
constexpr char LineEnd[] = "\r\n";
constexpr char Boot[] = "boot\r\n";
constexpr char LoadDac[] = "LOADDAC\r\n";
constexpr char ReceiveFirmware[] = "RECV FW\r\n";
constexpr char ReceiveData[] = "RECV DATA\r\n";
constexpr char DumpLog[] = "dump logtext\r\n";
}

// Writes a fixed command: its bytes up to, not including, the literal's NUL.
template <std::size_t N>
inline void writeCommand(const char (&command)[N])
{
    serialPort->write(command, qint64(N - 1));
}

#endif
