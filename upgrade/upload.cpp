#include "upload.h"

#include "mainwindow/globals.h"
#include "uploadtransfer.h"
#include "ui_fs.h"
#include "ui_sheng.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QSerialPort>
#include <QPointer>

namespace {

void refuse(QWidget *window, const char *text)
{
    QMessageBox::information(window, QStringLiteral("Error"), QString::fromUtf8(text), QMessageBox::Ok);
}

// The file chosen in an upgrade window's own dialog.
constexpr char chosenFile[] = "chosenFile";

// The main window that an upgrade window was opened from (through the
// password prompt): the window at the root of its parents.
QWidget *mainWindowOf(QWidget *w)
{
    while (w && w->parentWidget())
        w = w->parentWidget();
    return w;
}

} // namespace

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

UploadView uploadView(Ui::sheng *ui)
{
    return {ui->centralwidget->window(), ui->filename, ui->openfile, ui->sendfile, ui->yifasong, ui->zongdaxiao,
            ui->jindu};
}

UploadView uploadView(Ui::FS *ui)
{
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
    const QString filePath = QFileDialog::getOpenFileName(view.window, QString(), QString(), QString());
    // The window uploads exactly what its own dialog chose: the box only
    // shows it (as plain text: a name is no markup), and what is typed over
    // it chooses nothing.
    view.window->setProperty(chosenFile, filePath);
    view.filename->setPlainText(filePath);
}

void forgetChosenFile(const UploadView &view)
{
    if (view.window)
        view.window->setProperty(chosenFile, QString());
    if (view.filename)
        view.filename->clear();
}

void startUpload(const UploadKind &kind, const UploadView &view)
{
    // The file chosen in this window, whatever another window chose since.
    const QString path = view.window->property(chosenFile).toString();
    if (view.filename->toPlainText().isEmpty() || path.isEmpty())
        return refuse(view.window, "未选择文件");
    // One transfer at a time: the module takes one stream, and the state is shared.
    if (runningUpload())
        return refuse(view.window, "已有升级正在进行");
    if (transferLine->owner() == LineOwner::LogDownload)
        return refuse(view.window, "日志下载正在进行");
    if (!serialPort->isOpen())
        return refuse(view.window, "串口未连接");
    // Read the whole file before anything is sent, so that a bad file leaves
    // the module and the transfer as they were.
    QFile file(path);
    QByteArray data;
    if (file.open(QIODevice::ReadOnly)) {
        // Offsets and counts of the transfer are ints: a bigger file would be
        // counted wrong, so it is refused before it is read.
        if (file.size() > Upload::maxFileSize)
            return refuse(view.window, "文件过大");
        data = file.readAll();
    }
    if (!file.isOpen() || file.error() != QFileDevice::NoError)
        return refuse(view.window, "文件读取失败");
    if (data.isEmpty())
        return refuse(view.window, "文件为空");

    auto *upload = new UploadTransfer(mainWindowOf(view.window), kind, view, data);
    transferLine->take(kind.owner, upload);
    view.zongdaxiao->setText(kilobytes(int(data.size()) / 1024 + 1));
    view.yifasong->setText(kilobytes(0));
    view.send->setEnabled(false);
    view.open->setEnabled(false);
    // Answers still on their way (a poll's, a query's) would be read as the
    // module's upload replies: a 'C' or a '>' in them starts or ends it.
    const QPointer<UploadTransfer> still = upload;
    const bool quiet = transferLine->waitQuiet([still] { return still && runningTransfer() == still && still->waiting(); });
    if (!still || runningTransfer() != still || !serialPort->isOpen())
        return; // the link went meanwhile
    if (!quiet || !still->waiting())
        return still->notStarted(); // nothing went to the module: not done, and the line is free again
    still->start();
}

void cancelUpload(const UploadView &view)
{
    forgetChosenFile(view);
    view.yifasong->setText(kilobytes(0));
    view.zongdaxiao->setText(kilobytes(0));
    view.jindu->setValue(0);
    view.send->setEnabled(true);
    view.open->setEnabled(true);

    // Another window's upload or a log download keeps its line and its state.
    UploadTransfer *upload = runningTransfer();
    const bool own = upload && upload->window() == view.window;
    if (!serialPort->isOpen() || (transferLine->owner() != LineOwner::None && !own))
        return;
    if (own && !upload->ended())
        upload->cancel();
    else
        writeUploadCancel();
}

void writeUploadCancel()
{
    serialPort->write(Upload::cancel());
}

void uploadWindowClosed(const UploadView &view)
{
    if (!serialPort->isOpen())
        return;
    // Closing the window of a running upload is its cancel: the window could
    // not be opened again to press "取消" while the controls are locked.
    const UploadTransfer *upload = runningTransfer();
    if (upload && upload->window() == view.window) {
        if (upload->waiting() || (upload->reachedModule() && !upload->cancelling()))
            cancelUpload(view);
        return;
    }
    // Without this the status view would stay frozen after the window is gone.
    if (transferLine->owner() == LineOwner::None)
        transferLine->resumePolling();
}
