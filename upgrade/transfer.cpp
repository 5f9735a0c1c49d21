#include "transfer.h"

#include "mainwindow/dudaze.h"

QString filePath;
QByteArray fileData;
int fileSize = 0;
int sendOffset = 0;
int bytesLeft = 0;
int lastBlockLen = 0;
qint8 blockNo = 0;
int blockCount = 0;

// The block sender and the upload reply handlers come with the upgrade
// windows; until then an upload reply is dropped and no block is sent.
void DUDaze::sendOnce()
{
}

void DUDaze::parseFwUploadReply(const QByteArray &)
{
}

void DUDaze::parseDataUploadReply(const QByteArray &)
{
}
