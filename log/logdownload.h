#ifndef LOGDOWNLOAD_H
#define LOGDOWNLOAD_H

#include "mainwindow/lineowner.h"
#include "protocol/logcapture.h"

#include "line/machinetimer.h"

#include <QObject>
#include <QString>

class QWidget;

// Path of the log file of the newest download.
extern QString logFilePath;

// 日志下载: the save dialog, then, on a quiet line, the module's dump into
// the chosen file; its boxes have main as parent.
void startLogDownload(QWidget *main);

// One running log download: its file, the capture that tells the dump's end,
// and the timer that wakes it. Every byte is saved as it comes, also those
// that come while its end box is up.
class LogDownload : public QObject, public LineTransfer
{
public:
    LogDownload(QWidget *main, const QString &path);
    // "dump logtext" has gone out.
    void started();
    void received(const QByteArray &bytes) override;
    bool left() override;
    // Its box, then the line back to polling.
    void end(const QString &title, const QString &text);

private:
    void wake();

    QWidget *m_main;
    LogCapture m_capture;
    MachineTimer m_wake;
    bool m_writeFailed = false;
    bool m_ending = false;
};

#endif
