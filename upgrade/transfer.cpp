#include "mainwindow/dudaze.h"
#include "mainwindow/globals.h"
#include "upload.h"
#include "uploadtransfer.h"

#include <QSerialPort>

void DUDaze::sendOnce()
{
    if (UploadTransfer *upload = runningTransfer(this))
        for (const QByteArray &block : upload->takeBlocks())
            serialPort->write(block);
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
    // Bytes after the upload has ended belong to no transfer.
    UploadTransfer *upload = runningTransfer(this);
    if (upload && &upload->kind() == &kind) {
        upload->received(bytes);
        cflag = upload && upload->flowing() ? 1 : 0;
    }
}

void DUDaze::endUpload(const QString &title, const QString &text, const QByteArrayList &followUp)
{
    cflag = 0;
    finishTransfer(title, text, followUp);
}
