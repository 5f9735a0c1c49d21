#include "upload.h"

#include "mainwindow/globals.h"
#include "uploadtransfer.h"

const UploadKind firmwareUpload{Upload::firmware, 2, LineOwner::FirmwareUpload, "更新未完成"};
const UploadKind dataUpload{Upload::data, 3, LineOwner::DataUpload, "更新失败"};

const UploadKind *runningUpload()
{
    switch (transferLine->owner()) {
    case LineOwner::FirmwareUpload: return &firmwareUpload;
    case LineOwner::DataUpload: return &dataUpload;
    default: return nullptr;
    }
}

UploadTransfer *runningTransfer()
{
    return runningUpload() ? dynamic_cast<UploadTransfer *>(transferLine->transfer()) : nullptr;
}

int uploadBytesLeft()
{
    const UploadTransfer *upload = runningTransfer();
    return upload ? upload->bytesLeft() : 0;
}

QString kilobytes(int count)
{
    return QString::number(count) + QLatin1Char('K');
}
