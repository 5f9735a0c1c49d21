#include "logdownload.h"

#include "logprompt.h"
#include "mainwindow/commands.h"
#include "mainwindow/dudaze.h"
#include "mainwindow/globals.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

QString logFilePath;
bool logDownloadRunning = false;

namespace {
// A chunk that could not be written: the end is then not reported as done.
bool logWriteFailed = false;
}

void DUDaze::rizhi_MENU()
{
    const QString path = QFileDialog::getOpenFileName(this, QString(), QString(), QString());
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QMessageBox::information(this, QStringLiteral("错误"), QStringLiteral("日志文件无法打开"), QMessageBox::Ok);
        return;
    }
    file.close();
    logFilePath = path;
    logWriteFailed = false;
    writeCommand(Cmd::DumpLog);
    recvMode = 5;
    pollTimer->stop();
    logDownloadRunning = true;
    setLinkControlsEnabled(false);
}

void DUDaze::parseLogReply(const QByteArray &bytes)
{
    // Saved as the module sent it, and on disk before the next chunk comes.
    QFile file(logFilePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size() || !file.flush())
        logWriteFailed = true;
    file.close();
    if (!endsWithPrompt(bytes))
        return;
    if (logWriteFailed)
        QMessageBox::information(this, QStringLiteral("错误"), QStringLiteral("日志文件写入失败"), QMessageBox::Ok);
    else
        QMessageBox::information(this, QStringLiteral("提示"), QStringLiteral("日志下载完成"), QMessageBox::Ok);
    recvMode = 4;
    pollTimer->start(2000);
    logDownloadRunning = false;
    unlockLinkControls();
}
