#ifndef CLI_PLATFORM_H
#define CLI_PLATFORM_H

#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

class QFile;
class QObject;

// The few things Qt Core does not offer; elsewhere than on Unix each has a
// plainer fallback.

// Standard input, output and error that a supervisor left closed are opened
// on /dev/null, so that no file, pipe or port the program opens takes their
// numbers. Called first, before anything is opened.
void openClosedStandardDescriptors();
// The program's arguments as the system gives them: a name that is no valid
// UTF-8 keeps its bytes (each stray byte as a lone surrogate), so that
// openNamed() finds the file it names.
QStringList systemArguments(int argc, char *argv[]);
// Opens a name from systemArguments() into file: for reading, or for
// appending (made if missing; refused if there with exclusive, *there then
// true). False with the system's reason in why.
bool openNamed(QFile &file, const QString &name, QIODevice::OpenMode mode, bool exclusive, QString *why, bool *there = nullptr);
bool removeNamed(const QString &name);
// A name from systemArguments() fit to be shown: stray bytes as U+FFFD.
QString shownName(const QString &name);

// Standard output or error written without ever waiting for its reader.
struct WriteEnd {
    int fd = -1;
    bool own = false;    // a description of our own, without O_NONBLOCK on the shared one
    bool socket = false; // written with send() without waiting
};
WriteEnd openWriteEnd(int fd);
void closeWriteEnd(const WriteEnd &end);
// What could be written now: the count (0: the reader is not ready), -1 with why on an error.
qint64 writeNow(const WriteEnd &end, const char *data, qint64 size, QString *why);

// Ctrl-C, SIGTERM and SIGHUP (the terminal or the remote session closed)
// call onInterrupt from the event loop (never from the signal handler itself).
void watchInterrupts(QObject *context, const std::function<void()> &onInterrupt);
// A closed output pipe or a file size limit makes a write fail instead of
// ending the program, so a module is never left receiving because of them.
void keepGoingOnFailedWrites();
// A name as the system knows it: stray bytes of a name that is no valid
// UTF-8 go back as the bytes they were.
QByteArray systemName(const QString &name);
bool isTerminal(int fd);
// A line typed on the controlling terminal (/dev/tty), prompted there and
// not echoed, whatever standard input and error are; false without a terminal.
bool readHidden(const QString &prompt, QString *line);
// The file's written bytes on disk, not only in the system's cache.
bool syncToDisk(QFile &file);

#endif
