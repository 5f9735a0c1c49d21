#ifndef PROTOCOL_COMMANDS_H
#define PROTOCOL_COMMANDS_H

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

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

// The key lines by which the module's answer to command (a whole line, CR LF
// included) is known: the module owes these once it has the command. Empty
// for a command it answers with nothing to wait for (KEY 1, key 3, MOD ON/OFF,
// DAC x, boot, LOADDAC, the dump, the receive requests, anything unknown).
QByteArrayList answerKeys(const QByteArray &command);

// The sequences the module is asked in, in their order, the gaps of
// pacing.h between them.
QByteArrayList statusPoll();   // output, alarm and DAC value
QByteArrayList singleQuery();  // temperature, versions, waveform name
QByteArrayList connectQuery(); // the output state right after connecting
QByteArrayList loadAfterData(); // the module takes a new waveform into use
// "DAC <text>" as typed, then the module restarts on it; the text must
// have passed dacValueAccepted().
QByteArrayList dacSetting(const QString &typed);
}

#endif
