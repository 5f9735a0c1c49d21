#ifndef CLI_PLATFORM_H
#define CLI_PLATFORM_H

#include "line/filekind.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <functional>

class QFile;
class QObject;

// The few things Qt Core does not offer; elsewhere than on Unix each has a
// plainer fallback.

// Ctrl-C, SIGTERM and SIGHUP (the terminal or the remote session closed)
// call onInterrupt from the event loop (never from the signal handler itself).
void watchInterrupts(QObject *context, const std::function<void()> &onInterrupt);
// A closed output pipe or a file size limit makes a write fail instead of
// ending the program, so a module is never left receiving because of them.
void keepGoingOnFailedWrites();
bool isTerminal(FILE *stream);
// A line typed on the terminal, not echoed where that is possible.
QString readHidden(const QString &prompt);
// The file's written bytes on disk, not only in the system's cache.
bool syncToDisk(QFile &file);

#endif
