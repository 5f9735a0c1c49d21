#ifndef TRANSFER_H
#define TRANSFER_H

#include <QByteArray>
#include <QString>

// State of the one upload in progress, shared by both upgrade windows and the
// main window's block sender and reply handlers.
extern QString filePath;
extern QByteArray fileData;
extern int fileSize;
extern int sendOffset;
extern int bytesLeft;
extern int lastBlockLen;
extern qint8 blockNo;
extern int blockCount;

#endif
