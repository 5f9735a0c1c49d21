#include "logdownload.h"

#include "protocol/commands.h"
#include "mainwindow/globals.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QSerialPort>

QString logFilePath;

void startLogDownload(QWidget *main)
{
    const QString path = QFileDialog::getSaveFileName(main, QString(), QString(), QString());
    // The dialog ran the event loop: the link may have gone meanwhile.
    if (path.isEmpty() || !serialPort->isOpen() || transferLine->owner() != LineOwner::None)
        return;
    // Emptied only once the dump is asked for: a download that never starts
    // leaves the chosen file as it was.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        QMessageBox::information(main, QStringLiteral("错误"), QStringLiteral("日志文件无法打开"), QMessageBox::Ok);
        return;
    }
    file.close();
    auto *download = new LogDownload(main, path);
    transferLine->take(LineOwner::LogDownload, download);
    // Answers to commands written before the line was taken are no part of
    // the log: they go to their own handler until the line has been quiet.
    // A line that does not go quiet (a module still dumping an older log)
    // is not asked at all.
    if (!transferLine->waitQuiet([download] { return transferLine->transfer() == download; })) {
        if (transferLine->transfer() == download)
            download->end(QStringLiteral("错误"), QStringLiteral("日志下载未完成"));
        return;
    }
    recvMode = 5;
    transferLine->write(Cmd::DumpLog);
    download->started();
}

LogDownload::LogDownload(QWidget *main, const QString &path)
    : QObject(main)
    , m_main(main)
    , m_wake([this] { wake(); })
{
    logFilePath = path;
}

void LogDownload::started()
{
    QFile file(logFilePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        m_writeFailed = true;
    m_capture.start(m_wake.now());
    m_wake.wakeAt(m_capture.wakeAt());
}

void LogDownload::received(const QByteArray &bytes)
{
    // Saved as the module sent it, and on disk before the next chunk comes.
    QFile file(logFilePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size() || !file.flush())
        m_writeFailed = true;
    file.close();
    if (m_ending)
        return;
    m_capture.received(bytes, m_wake.now());
    m_wake.wakeAt(m_capture.wakeAt());
}

bool LogDownload::left()
{
    // Behind its end box the box's return deletes it.
    if (m_ending)
        return false;
    m_ending = true;
    m_wake.stop();
    deleteLater();
    return false;
}

void LogDownload::wake()
{
    if (m_ending || transferLine->transfer() != this || !serialPort->isOpen())
        return;
    m_capture.wake(m_wake.now(), transferLine->bytesWaiting());
    switch (m_capture.end()) {
    case LogCapture::End::None:
        return m_wake.wakeAt(m_capture.wakeAt());
    case LogCapture::End::Incomplete:
        return end(QStringLiteral("错误"), QStringLiteral("日志下载未完成"));
    case LogCapture::End::Complete:
        return m_writeFailed ? end(QStringLiteral("错误"), QStringLiteral("日志文件写入失败"))
                             : end(QStringLiteral("提示"), QStringLiteral("日志下载完成"));
    }
}

void LogDownload::end(const QString &title, const QString &text)
{
    m_ending = true;
    m_wake.stop();
    const quint64 epoch = transferLine->epoch();
    QMessageBox::information(m_main, title, text, QMessageBox::Ok);
    transferLine->giveBack(epoch);
    deleteLater();
}
