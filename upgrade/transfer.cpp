#include "transfer.h"

#include "mainwindow/commands.h"
#include "mainwindow/dudaze.h"
#include "mainwindow/globals.h"
#include "mainwindow/replyvalue.h"
#include "upload.h"
#include "protocol/xmodem.h"

#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPort>
#include <QTextEdit>
#include <QTimer>

QString filePath;
QByteArray fileData;
int fileSize = 0;
int sendOffset = 0;
int bytesLeft = 0;
int lastBlockLen = 0;
qint8 blockNo = 0;
int blockCount = 0;
UploadPhase uploadPhase = UploadPhase::Sending;

void DUDaze::sendOnce()
{
    if (bytesLeft <= 0)
        return;
    lastBlockLen = qMin(bytesLeft, Xmodem::DataSize);
    serialPort->write(xmodemBlock(quint8(blockNo), fileData.mid(sendOffset, lastBlockLen)));
}

void DUDaze::parseFwUploadReply(const QByteArray &bytes)
{
    handleUploadReply(bytes, firmwareUpload);
}

void DUDaze::parseDataUploadReply(const QByteArray &bytes)
{
    handleUploadReply(bytes, dataUpload);
}

void DUDaze::uploadStarted(LineOwner upload)
{
    cflag = 0;
    claimLine(upload);
}

void DUDaze::handleUploadReply(const QByteArray &bytes, const UploadKind &kind)
{
    // Bytes after the upload has ended, or while its end box is up, belong to
    // no transfer.
    if (owner != kind.owner || uploadPhase == UploadPhase::Ending)
        return;
    const QString text = replyText(bytes);
    const UploadView view = uploadingView();
    auto show = [](QPushButton *display, int count) {
        if (display)
            display->setText(kilobytes(count));
    };

    if (bytesLeft > 0) {
        const Upload::Reply reply = Upload::blockReply(text, cflag == 1);
        if (reply == Upload::Reply::Start) {
            ++blockNo;
            ++blockCount;
            cflag = 1;
            emit recvOK();
        } else if (reply == Upload::Reply::Cancel) {
            // The module has cancelled: the transfer ends here, whatever follows in this read.
            forgetChosenFile(view);
            filePath.clear();
            show(view.yifasong, 0);
            show(view.zongdaxiao, 0);
            blockNo = 0;
            sendOffset = 0;
            bytesLeft = 0;
            blockCount = 0;
            endUpload(QStringLiteral("提示"), QStringLiteral("停止更新"));
            return;
        } else if (reply == Upload::Reply::Resend) {
            emit recvOK();
        } else if (reply == Upload::Reply::Ack) {
            sendOffset += lastBlockLen;
            bytesLeft = fileSize - sendOffset;
            if (bytesLeft <= 0) {
                const quint64 epoch = lineEpoch;
                serialPort->write(&Xmodem::EOT, 1);
                delayMs(10);
                if (epoch == lineEpoch && uploadPhase == UploadPhase::Sending)
                    serialPort->write(&Xmodem::EOT, 1);
                return;
            }
            ++blockNo;
            ++blockCount;
            emit recvOK();
            const double percent = blockCount * 1024.0 / fileSize * 100;
            if (percent < 100 && view.jindu)
                view.jindu->setValue(int(percent));
        }
    }

    const int prompt = Upload::promptPosition(text);
    if (prompt < 0) {
        show(view.yifasong, blockCount);
        return;
    }
    // The module has left receive mode.
    blockNo = 0;
    blockCount = 0;
    // Done only with every byte of the file sent and acknowledged.
    const bool done = kind.target.promptMeansDone(prompt) && fileSize > 0 && sendOffset == fileSize
            && uploadPhase == UploadPhase::Sending;
    if (done) {
        if (view.jindu)
            view.jindu->setValue(100);
        sendOffset = 0;
        bytesLeft = 0;
        endUpload(QStringLiteral("OK"), QStringLiteral("更新完成"), kind.target.loadAfter ? Cmd::loadAfterData() : QByteArrayList());
    } else {
        endUpload(QStringLiteral("OK"), QString::fromUtf8(kind.failureText));
    }
}

void DUDaze::endUpload(const QString &title, const QString &text, const QByteArrayList &followUp)
{
    uploadPhase = UploadPhase::Ending;
    cflag = 0;
    finishTransfer(title, text, followUp);
}

void DUDaze::uploadCancelled()
{
    uploadPhase = UploadPhase::Cancelled;
    // A module that never answers the cancel must not hold the line for good.
    const quint64 epoch = lineEpoch;
    QTimer::singleShot(Upload::cancelWaitMs, Qt::PreciseTimer, this, [this, epoch] {
        if (epoch == lineEpoch && uploadPhase == UploadPhase::Cancelled)
            if (const UploadKind *kind = runningUpload(this)) {
                // The module may still be receiving: tell it again before the
                // line goes back to polling.
                writeUploadCancel();
                endUpload(QStringLiteral("OK"), QString::fromUtf8(kind->failureText));
            }
    });
}
