#ifndef UPLOADWINDOW_H
#define UPLOADWINDOW_H

#include "uploadtransfer.h"

#include <QMainWindow>
#include <QPointer>

class QProgressBar;
class QPushButton;
class QTextEdit;

// What the firmware and the data upgrade windows share: the file chosen in
// the window's own dialog, the upload it starts and cancels, and that
// upload's events shown in its widgets. The window is handed the upload it
// starts; the upload knows nothing of the window.
class UploadWindow : public QMainWindow
{
    Q_OBJECT
public:
    // The form's widgets the upload shows itself in.
    struct Widgets {
        QTextEdit *filename;
        QPushButton *open, *send, *yifasong, *zongdaxiao;
        QProgressBar *jindu;
    };

protected:
    UploadWindow(QWidget *parent, const UploadKind &kind);
    ~UploadWindow() override;
    // Once the form is set up: title, flags, the bar's range; polling pauses
    // while the window is open.
    void setUp(const Widgets &widgets);

    void chooseFile();
    void send();
    void stop();
    // Closing the window of a running upload is its cancel: the window could
    // not be opened again to press "取消" while the controls are locked.
    void closeEvent(QCloseEvent *event) override;

private:
    // Empties the box and forgets the choice with it: an empty box uploads nothing.
    void forgetFile();
    void refuse(const char *text);
    void follow(UploadTransfer *upload);
    bool owns(const UploadTransfer *upload) const { return upload && upload == m_upload; }

    const UploadKind &m_kind;
    Widgets m_w{};
    QString m_chosen; // what this window's dialog chose, whatever another window chose since
    QPointer<UploadTransfer> m_upload; // the upload this window started
};

#endif
