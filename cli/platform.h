#ifndef CLI_PLATFORM_H
#define CLI_PLATFORM_H

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <functional>

class QFile;
class QObject;

// The few things Qt Core does not offer; elsewhere than on Unix each has a
// plainer fallback.

// Ctrl-C and SIGTERM call onInterrupt from the event loop (never from the
// signal handler itself).
void watchInterrupts(QObject *context, const std::function<void()> &onInterrupt);
bool isTerminal(FILE *stream);
// A line typed on the terminal, not echoed where that is possible.
QString readHidden(const QString &prompt);
// The file's written bytes on disk, not only in the system's cache.
bool syncToDisk(QFile &file);

#endif
