#include "transfer.h"

#include "mainwindow/commands.h"
#include "mainwindow/dudaze.h"
#include "mainwindow/globals.h"
#include "mainwindow/replyvalue.h"
#include "upload.h"
#include "xmodem.h"

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
Ui::sheng *shengUi = nullptr;
Ui::FS *fsUi = nullptr;
bool uploadRunning = false;
bool uploadCancelled = false;

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

void DUDaze::uploadStarted()
{
    cflag = 0;
    setLinkControlsEnabled(false);
}

void DUDaze::handleUploadReply(const QByteArray &bytes, const UploadKind &kind)
{
    const QString text = replyText(bytes);
    const UploadView view = kind.view();
    auto show = [](QPushButton *display, int count) {
        if (display)
            display->setText(kilobytes(count));
    };

    if (bytesLeft > 0) {
        if (text.contains(QLatin1Char(Xmodem::CrcRequest)) && cflag != 1) {
            ++blockNo;
            ++blockCount;
            cflag = 1;
            emit recvOK();
        } else if (text.contains(QLatin1Char(Xmodem::CAN))) {
            if (view.filename)
                view.filename->clear();
            filePath.clear();
            show(view.yifasong, 0);
            show(view.zongdaxiao, 0);
            cflag = 0;
            blockNo = 0;
            sendOffset = 0;
            bytesLeft = 0;
            blockCount = 0;
            recvMode = 4;
            pollTimer->start(2000);
            // A prompt that follows in the same read must not count as success.
            uploadCancelled = true;
            QMessageBox::information(this, QStringLiteral("提示"), QStringLiteral("停止更新"), QMessageBox::Ok);
            uploadRunning = false;
            unlockLinkControls();
        } else if (text.contains(QLatin1Char(Xmodem::NAK))) {
            emit recvOK();
        } else if (text.contains(QLatin1Char(Xmodem::ACK)) && cflag != 0) {
            sendOffset += lastBlockLen;
            bytesLeft = fileSize - sendOffset;
            if (bytesLeft <= 0) {
                serialPort->write(&Xmodem::EOT, 1);
                delayMs(10);
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

    const int prompt = text.indexOf(QLatin1Char('>'));
    if (prompt < 0) {
        show(view.yifasong, blockCount);
        return;
    }
    // The module has left receive mode.
    blockNo = 0;
    blockCount = 0;
    const bool done = kind.promptMeansDone(prompt) && bytesLeft <= 0 && !uploadCancelled;
    if (done) {
        if (view.jindu)
            view.jindu->setValue(100);
        QMessageBox::information(this, QStringLiteral("OK"), QStringLiteral("更新完成"), QMessageBox::Ok);
        blockNo = 0;
        sendOffset = 0;
        blockCount = 0;
        bytesLeft = 0;
    } else {
        QMessageBox::information(this, QStringLiteral("OK"), QString::fromUtf8(kind.failureText), QMessageBox::Ok);
    }
    cflag = 0;
    recvMode = 4;
    if (done && kind.loadAfter) {
        writeCommand(Cmd::KeyUpper1);
        delayMs(20);
        writeCommand(Cmd::LoadDac);
        delayMs(20);
    }
    pollTimer->start(2000);
    uploadRunning = false;
    unlockLinkControls();
}
