#ifndef FILEKIND_H
#define FILEKIND_H

#include <QString>

// What a path is when it is no regular file ("a folder", "a FIFO", "a
// device", …); empty for a regular file or one that is not there. Asked
// without opening it: opening a FIFO waits for a writer, and a device reads
// without end.
QString fileKind(const QString &path);

#endif
