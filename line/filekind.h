#ifndef FILEKIND_H
#define FILEKIND_H

#include <QByteArray>
#include <QFile>
#include <QString>

// What a path is when it is no regular file ("a folder", "a FIFO", "a
// device", …); empty for a regular file or one that is not there. Asked
// without opening it: opening a FIFO waits for a writer, and a device reads
// without end. The path as the system knows it, bytes and all.
QString fileKindOf(const QByteArray &systemPath);
inline QString fileKind(const QString &path) { return fileKindOf(QFile::encodeName(path)); }

#endif
