#ifndef UPLOAD_H
#define UPLOAD_H

#include "mainwindow/lineowner.h"
#include "protocol/uploadrules.h"

#include <QString>

// What tells a firmware upload from a waveform data upload.
struct UploadKind {
    const UploadTarget &target; // the module's side: command, prompt rule, load
    int mode;                   // recvMode while the upload runs
    LineOwner owner;            // who holds the line meanwhile
    const char *failureText;    // the box when the upload did not complete
};

extern const UploadKind firmwareUpload;
extern const UploadKind dataUpload;

// The kind of the upload that holds the line; null when none does.
const UploadKind *runningUpload();
// That upload itself; null when none runs.
class UploadTransfer;
UploadTransfer *runningTransfer();
// The file bytes of that upload the module has not acknowledged yet.
int uploadBytesLeft();

// "0K", "2K": the sizes shown in the windows.
QString kilobytes(int count);

#endif
