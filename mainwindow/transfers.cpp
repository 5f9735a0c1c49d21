#include "dudaze.h"

#include "globals.h"

#include <QSerialPort>

// The transfers' reads come through the dispatch like every other answer:
// each goes to the transfer that holds the line, if it is of the kind the
// mode names.

void DUDaze::parseFwUploadReply(const QByteArray &bytes)
{
    handToTransfer(bytes, LineOwner::FirmwareUpload);
}

void DUDaze::parseDataUploadReply(const QByteArray &bytes)
{
    handToTransfer(bytes, LineOwner::DataUpload);
}

void DUDaze::parseLogReply(const QByteArray &bytes)
{
    handToTransfer(bytes, LineOwner::LogDownload);
}

void DUDaze::handToTransfer(const QByteArray &read, LineOwner kind)
{
    LineTransfer *transfer = transferLine->transfer();
    if (!transfer || transferLine->owner() != kind)
        return;
    transfer->received(read);
    // The transfer may have ended and let go of the line meanwhile.
    transfer = transferLine->owner() == kind ? transferLine->transfer() : nullptr;
    cflag = transfer && transfer->flowing() ? 1 : 0;
}

void DUDaze::sendOnce()
{
    if (LineTransfer *transfer = transferLine->transfer())
        for (const QByteArray &block : transfer->takeBlocks())
            serialPort->write(block);
}
