#ifndef CLI_PORTS_H
#define CLI_PORTS_H

#include <QString>

class Output;

// The device path for a port as given: a path stays as it is; usb:VID:PID or
// usb:VID:PID:SERIAL (hex ids as lsusb prints them) must match exactly one
// listed port. On failure *why names the candidates.
bool resolvePort(const QString &given, QString *path, QString *why);

// The ports command: every serial port the system lists.
void listPorts(Output &out);

#endif
