#include "logdownload.h"

#include "protocol/logrules.h"
#include "mainwindow/commands.h"
#include "mainwindow/dudaze.h"
#include "mainwindow/globals.h"
#include "line/lineprobe.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QSerialPort>
#include <QTimer>


QString logFilePath;

namespace {
// A chunk that could not be written: the end is then not reported as done.
bool logWriteFailed = false;
// The bytes so far end with the module's prompt; whether that is the end
// is known only once the line stays silent after it.
bool logEndsWithPrompt = false;
// The end box is up: what still comes is saved, but ends nothing again.
bool logEnding = false;

using namespace LogRules;
}

void DUDaze::rizhi_MENU()
{
    const QString path = QFileDialog::getSaveFileName(this, QString(), QString(), QString());
    // The dialog ran the event loop: the link may have gone meanwhile.
    if (path.isEmpty() || !serialPort->isOpen() || owner != LineOwner::None)
        return;
    // Emptied only once the dump is asked for: a download that never starts
    // leaves the chosen file as it was.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        QMessageBox::information(this, QStringLiteral("错误"), QStringLiteral("日志文件无法打开"), QMessageBox::Ok);
        return;
    }
    file.close();
    logFilePath = path;
    logWriteFailed = false;
    logEndsWithPrompt = false;
    logEnding = false;
    claimLine(LineOwner::LogDownload);
    // Answers to commands written before the line was taken are no part of
    // the log: they go to their own handler until the line has been quiet.
    // A line that does not go quiet (a module still dumping an older log)
    // is not asked at all.
    if (!waitForQuietLine([] { return true; })) {
        if (owner == LineOwner::LogDownload)
            endLogDownload(QStringLiteral("错误"), QStringLiteral("日志下载未完成"));
        return;
    }
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        logWriteFailed = true;
    file.close();
    recvMode = 5;
    writeCommand(Cmd::DumpLog);
    if (!logSilence) {
        logSilence = new QTimer(this);
        logSilence->setSingleShot(true);
        // A coarse timer may fire 5 % early: 750 ms short of the 15 s.
        logSilence->setTimerType(Qt::PreciseTimer);
        connect(logSilence, SIGNAL(timeout()), this, SLOT(logLineSilent()));
    }
    logSilence->start(giveUpSilenceMs);
}

void DUDaze::parseLogReply(const QByteArray &bytes)
{
    if (owner != LineOwner::LogDownload)
        return;
    // Saved as the module sent it, and on disk before the next chunk comes.
    QFile file(logFilePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size() || !file.flush())
        logWriteFailed = true;
    file.close();
    if (logEnding)
        return;
    // A chunk of blanks and line ends leaves the judgement of the last text as it was.
    if (const char last = lastTextChar(bytes))
        logEndsWithPrompt = last == '>';
    logSilence->start(logEndsWithPrompt ? promptSilenceMs : giveUpSilenceMs);
}

void DUDaze::logLineSilent()
{
    if (owner != LineOwner::LogDownload || logEnding)
        return;
    // Bytes still waiting for their dispatch break the silence, also those
    // the port has not fetched from the line yet (the loop may run late).
    if (dispatching || serialPort->bytesAvailable() > 0 || bytesOnLine(serialPort->handle()) > 0) {
        logSilence->start(promptSilenceMs);
        return;
    }
    if (!logEndsWithPrompt)
        endLogDownload(QStringLiteral("错误"), QStringLiteral("日志下载未完成"));
    else if (logWriteFailed)
        endLogDownload(QStringLiteral("错误"), QStringLiteral("日志文件写入失败"));
    else
        endLogDownload(QStringLiteral("提示"), QStringLiteral("日志下载完成"));
}

void DUDaze::endLogDownload(const QString &title, const QString &text)
{
    logEnding = true;
    finishTransfer(title, text);
    logEnding = false;
}
