#ifndef UPLOAD_H
#define UPLOAD_H

#include "mainwindow/lineowner.h"
#include "protocol/uploadrules.h"

#include <QString>

class QProgressBar;
class QPushButton;
class QTextEdit;
class QWidget;

// The widgets of one upgrade window that an upload shows itself in; all null
// when the window is gone.
struct UploadView {
    QWidget *window = nullptr;
    QTextEdit *filename = nullptr;
    QPushButton *open = nullptr;
    QPushButton *send = nullptr;
    QPushButton *yifasong = nullptr;
    QPushButton *zongdaxiao = nullptr;
    QProgressBar *jindu = nullptr;
};

namespace Ui {
class sheng;
class FS;
}

// The widgets of a window's form.
UploadView uploadView(Ui::sheng *ui);
UploadView uploadView(Ui::FS *ui);

// What tells a firmware upload from a waveform data upload.
struct UploadKind {
    const UploadTarget &target; // the module's side: command, prompt rule, load
    int mode;                   // recvMode while the upload runs
    LineOwner owner;            // who holds the line meanwhile
    const char *failureText;    // the box when the upload did not complete
};

extern const UploadKind firmwareUpload;
extern const UploadKind dataUpload;

// Title, flags and progress range of a new upgrade window; polling pauses
// while it is open.
void setUpUploadWindow(QWidget *window, QProgressBar *jindu);

// The window's three buttons and its closing, the same for both kinds.
void chooseUploadFile(const UploadView &view);
void startUpload(const UploadKind &kind, const UploadView &view);
void cancelUpload(const UploadView &view);
// Empties the box and forgets the choice with it: an empty box uploads nothing.
void forgetChosenFile(const UploadView &view);
void uploadWindowClosed(const UploadView &view);

// The five CAN bytes that tell the module to leave receive mode.
void writeUploadCancel();

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
