#ifndef CLI_PORTS_H
#define CLI_PORTS_H

#include <QString>

class Output;

// The device path for a local port as given: a path stays as it is; usb:VID:PID or
// usb:VID:PID:SERIAL (hex ids as lsusb prints them) must match exactly one
// listed port. On failure *why names the candidates.
bool resolvePort(const QString &given, QString *path, QString *why);

// Whether a port as given is well formed: a path, socket:// or
// rfc2217://HOST:PORT, or usb:VID:PID[:SERIAL] with one to four hex digits per
// id and a serial that is not empty.
bool portWellFormed(const QString &given, QString *why);

// The device a port as given stands for, whatever its name: a link, a
// by-id name and the device itself give the same, and so do two spellings of
// one server's address. A port that does not resolve stands for itself.
QString deviceOf(const QString &given);

// The ports command: every serial port the system lists.
void listPorts(Output &out);

#endif
