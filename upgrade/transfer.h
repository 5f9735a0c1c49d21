#ifndef TRANSFER_H
#define TRANSFER_H

#include <QByteArray>
#include <QString>

namespace Ui {
class sheng;
class FS;
}

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

// The widgets of the newest firmware and waveform data windows (null while
// there is none).
extern Ui::sheng *shengUi;
extern Ui::FS *fsUi;

// From the start of an upload until the module's prompt or cancel ends it,
// the operator cancels it, or the link goes down.
extern bool uploadRunning;
// The operator cancelled the transfer: the module's prompt that follows is
// no success.
extern bool uploadCancelled;

#endif
