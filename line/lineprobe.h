#ifndef LINEPROBE_H
#define LINEPROBE_H

#include <QIODevice>
#include <QString>

// What the serial port does not tell by itself, asked of the system where it
// can be: without POSIX both answer false and 0.

// True when the line behind the descriptor has hung up (adapter pulled,
// far end of a pseudo-terminal closed).
bool lineHungUp(qintptr handle);

// Bytes received by the system but not yet fetched by the port.
int bytesOnLine(qintptr handle);

// Module bytes wait unread: fetched by the device and not yet read, or still
// held by the system behind its descriptor.
bool bytesWaiting(const QIODevice &device, qintptr handle);

// Takes the device behind an open port's descriptor for this process alone,
// whatever name it was opened by and whoever runs the program (the port's own
// exclusive mode does not stop root, and its lock file follows the name).
// False when another program holds it.
bool holdDevice(qintptr handle);

// The device a port name opens, as the serial port finds it: a name that is
// no path (ttyUSB0, pts/3) stands for one under /dev.
QString deviceLocation(const QString &portName);

// Who else has the device at path, asked before the port opens (the port's
// own lock file replaces a lock it does not recognise): a live UUCP lock in
// /var/lock, or another process with the device open (ser2net serving it to
// a client, say), as far as the system shows other users' processes.
// Empty when none is seen.
QString deviceHolder(const QString &path);

#endif
