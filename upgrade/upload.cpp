#include "upload.h"

#include "mainwindow/commands.h"
#include "mainwindow/dudaze.h"
#include "mainwindow/globals.h"
#include "log/logdownload.h"
#include "transfer.h"
#include "ui_fs.h"
#include "ui_sheng.h"
#include "xmodem.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QSerialPort>
#include <QTimer>

namespace {

UploadView firmwareView() { return uploadView(shengUi); }
UploadView dataView() { return uploadView(fsUi); }

bool firmwareDone(int position) { return position <= 9; }
bool dataDone(int position) { return position == 33; }

void refuse(QWidget *window, const char *text)
{
    QMessageBox::information(window, QStringLiteral("Error"), QString::fromUtf8(text), QMessageBox::Ok);
}

// The main window that an upgrade window was opened from (through the password prompt).
DUDaze *mainWindowOf(QWidget *w)
{
    for (; w; w = w->parentWidget())
        if (auto *main = qobject_cast<DUDaze *>(w))
            return main;
    return nullptr;
}

} // namespace

const UploadKind firmwareUpload{Cmd::ReceiveFirmware, 2, firmwareDone, "更新未完成", false, firmwareView};
const UploadKind dataUpload{Cmd::ReceiveData, 3, dataDone, "更新失败", true, dataView};

UploadView uploadView(Ui::sheng *ui)
{
    if (!ui)
        return {};
    return {ui->centralwidget->window(), ui->filename, ui->openfile, ui->sendfile, ui->yifasong, ui->zongdaxiao,
            ui->jindu};
}

UploadView uploadView(Ui::FS *ui)
{
    if (!ui)
        return {};
    return {ui->centralwidget->window(), ui->filename, ui->open, ui->send, ui->yifasong, ui->zongdaxiao, ui->jindu};
}

QString kilobytes(int count)
{
    return QString::number(count) + QLatin1Char('K');
}

void setUpUploadWindow(QWidget *window, QProgressBar *jindu)
{
    window->setWindowTitle(QStringLiteral("升级"));
    window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    jindu->setRange(0, 100);
    pollTimer->stop();
}

void chooseUploadFile(const UploadView &view)
{
    filePath = QFileDialog::getOpenFileName(view.window, QString(), QString(), QString());
    view.filename->setText(filePath);
}

void startUpload(const UploadKind &kind, const UploadView &view)
{
    if (view.filename->toPlainText().isEmpty())
        return refuse(view.window, "未选择文件");
    // One transfer at a time: the module takes one stream, and the state is shared.
    if (uploadRunning)
        return refuse(view.window, "已有升级正在进行");
    if (logDownloadRunning)
        return refuse(view.window, "日志下载正在进行");
    if (!serialPort->isOpen())
        return refuse(view.window, "串口未连接");
    // Read the whole file before anything is sent, so that a bad file leaves
    // the module and the transfer as they were.
    QFile file(filePath);
    QByteArray data;
    if (file.open(QIODevice::ReadOnly))
        data = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError)
        return refuse(view.window, "文件读取失败");
    if (data.isEmpty())
        return refuse(view.window, "文件为空");

    recvMode = kind.mode;
    fileData = data;
    sendOffset = 0;
    fileSize = bytesLeft = fileData.size();
    blockNo = 0;
    blockCount = 0;
    uploadCancelled = false;
    uploadRunning = true;
    if (DUDaze *main = mainWindowOf(view.window))
        main->uploadStarted();
    view.zongdaxiao->setText(kilobytes(fileSize / 1024 + 1));
    view.yifasong->setText(kilobytes(0));
    file.close();
    serialPort->write(kind.command, qint64(qstrlen(kind.command)));
    view.send->setEnabled(false);
    view.open->setEnabled(false);
}

void cancelUpload(const UploadView &view)
{
    view.filename->clear();
    view.yifasong->setText(kilobytes(0));
    view.zongdaxiao->setText(kilobytes(0));
    blockNo = 0;
    sendOffset = 0;
    blockCount = 0;
    bytesLeft = 0;
    for (int i = 0; i < 5; ++i)
        serialPort->write(&Xmodem::CAN, 1);
    view.jindu->setValue(0);
    view.send->setEnabled(true);
    view.open->setEnabled(true);
    if (uploadRunning) {
        uploadRunning = false;
        uploadCancelled = true;
        if (DUDaze *main = mainWindowOf(view.window))
            main->unlockLinkControls();
    }
}

void uploadWindowClosed()
{
    // Without this the status view would stay frozen after the window is gone.
    if (serialPort->isOpen() && !uploadRunning && !logDownloadRunning) {
        recvMode = 4;
        pollTimer->start(2000);
    }
}
