#include "uploadwindow.h"

#include "uploadtransfer.h"
#include "line/filekind.h"
#include "mainwindow/globals.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPort>
#include <QTextEdit>

UploadWindow::UploadWindow(QWidget *parent, const UploadKind &kind)
    : QMainWindow(parent)
    , m_kind(kind)
{
}

UploadWindow::~UploadWindow()
{
    recvMode = 4;
}

void UploadWindow::setUp(const Widgets &widgets)
{
    m_w = widgets;
    setWindowTitle(QStringLiteral("升级"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    m_w.jindu->setRange(0, 100);
    pollTimer->stop();
}

void UploadWindow::refuse(const char *text)
{
    QMessageBox::information(this, QStringLiteral("Error"), QString::fromUtf8(text), QMessageBox::Ok);
}

void UploadWindow::chooseFile()
{
    // The window uploads exactly what its own dialog chose: the box only
    // shows it (as plain text: a name is no markup), and what is typed over
    // it chooses nothing.
    m_chosen = QFileDialog::getOpenFileName(this, QString(), QString(), QString());
    m_w.filename->setPlainText(m_chosen);
}

void UploadWindow::forgetFile()
{
    m_chosen.clear();
    m_w.filename->clear();
}

void UploadWindow::send()
{
    if (m_w.filename->toPlainText().isEmpty() || m_chosen.isEmpty())
        return refuse("未选择文件");
    // One transfer at a time: the module takes one stream, and the state is shared.
    if (runningUpload())
        return refuse("已有升级正在进行");
    if (transferLine->owner() == LineOwner::LogDownload)
        return refuse("日志下载正在进行");
    if (!serialPort->isOpen())
        return refuse("串口未连接");
    // A FIFO would hold the window in its open, a device read without end.
    if (!fileKind(m_chosen).isEmpty())
        return refuse("不是普通文件");
    // Read the whole file before anything is sent, so that a bad file leaves
    // the module and the transfer as they were.
    QFile file(m_chosen);
    QByteArray data;
    if (file.open(QIODevice::ReadOnly)) {
        // Offsets and counts of the transfer are ints: a bigger file would be
        // counted wrong, so it is refused before it is read.
        if (file.size() > Upload::maxFileSize)
            return refuse("文件过大");
        data = file.readAll();
    }
    if (!file.isOpen() || file.error() != QFileDevice::NoError)
        return refuse("文件读取失败");
    if (data.isEmpty())
        return refuse("文件为空");

    // The upload's boxes belong to the main window the password prompt was opened from.
    QWidget *main = this;
    while (main->parentWidget())
        main = main->parentWidget();
    auto *upload = new UploadTransfer(main, m_kind, data);
    follow(upload);
    transferLine->take(m_kind.owner, upload);
    m_w.zongdaxiao->setText(kilobytes(int(data.size()) / 1024 + 1));
    m_w.yifasong->setText(kilobytes(0));
    m_w.send->setEnabled(false);
    m_w.open->setEnabled(false);
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

// The window follows the upload it started; a window already closed shows nothing.
void UploadWindow::follow(UploadTransfer *upload)
{
    m_upload = upload;
    connect(upload, &UploadTransfer::progress, this, [this](int percent) { m_w.jindu->setValue(percent); });
    connect(upload, &UploadTransfer::sending, this, [this](int kilobyte) { m_w.yifasong->setText(kilobytes(kilobyte)); });
    connect(upload, &UploadTransfer::moduleCancelled, this, [this] {
        // The module has cancelled: the window starts over.
        forgetFile();
        m_w.yifasong->setText(kilobytes(0));
        m_w.zongdaxiao->setText(kilobytes(0));
    });
}

void UploadWindow::stop()
{
    forgetFile();
    m_w.yifasong->setText(kilobytes(0));
    m_w.zongdaxiao->setText(kilobytes(0));
    m_w.jindu->setValue(0);
    m_w.send->setEnabled(true);
    m_w.open->setEnabled(true);

    // Another window's upload or a log download keeps its line and its state.
    UploadTransfer *upload = runningTransfer();
    if (!serialPort->isOpen() || (transferLine->owner() != LineOwner::None && !owns(upload)))
        return;
    if (owns(upload) && !upload->ended())
        upload->cancel();
    else
        serialPort->write(Upload::cancel());
}

void UploadWindow::closeEvent(QCloseEvent *event)
{
    const UploadTransfer *upload = runningTransfer();
    if (serialPort->isOpen() && owns(upload)) {
        if (upload->waiting() || (upload->reachedModule() && !upload->cancelling()))
            stop();
    } else if (serialPort->isOpen() && transferLine->owner() == LineOwner::None) {
        // Without this the status view would stay frozen after the window is gone.
        transferLine->resumePolling();
    }
    QMainWindow::closeEvent(event);
}
