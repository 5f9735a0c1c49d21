#ifndef LOGDOWNLOAD_H
#define LOGDOWNLOAD_H

#include "protocol/logcapture.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class DUDaze;

// Path of the log file of the newest download.
extern QString logFilePath;

// One running log download: its file, the capture that tells the dump's end,
// and the timer that wakes it. Every byte is saved as it comes, also those
// that come while its end box is up.
class LogDownload : public QObject
{
public:
    LogDownload(DUDaze *main, const QString &path);
    // "dump logtext" has gone out.
    void started();
    void received(const QByteArray &bytes);
    bool ending() const { return m_ending; }

private:
    void wake();
    void arm();
    void end(const QString &title, const QString &text);

    DUDaze *m_main;
    LogCapture m_capture;
    QTimer m_wake;
    QElapsedTimer m_clock;
    bool m_writeFailed = false;
    bool m_ending = false;
};

#endif
