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

// Where the upload that holds the line stands. While Waiting the line is
// taken but nothing of the upload is written yet; blocks flow while Sending;
// after the operator's cancel it waits for the module's prompt; once its end
// is decided and its box is up, further bytes are no part of it.
enum class UploadPhase { Waiting, Sending, Cancelled, Ending };
extern UploadPhase uploadPhase;

#endif
