#ifndef CLI_LOGJOB_H
#define CLI_LOGJOB_H

#include "session.h"
#include "line/machinetimer.h"
#include "protocol/logcapture.h"

class QFile;

// log FILE|-: asks for the dump once the line is quiet and saves every byte
// as it comes; the log capture tells its end. A file that stops taking the
// bytes (a full disk, a size limit, a closed pipe) ends the saving, not the
// dump: the rest is read and dropped to the log's end, so that the module is
// left quiet.
class LogJob : public Job
{
public:
    // name: the file's as given, "-" for standard output.
    LogJob(Session &session, QFile &sink, const QString &name);
    void start() override;
    bool startsOnQuietLine() const override { return false; } // waits by the log's own rule
    void received(const QByteArray &bytes) override;
    void interrupted() override;
    void lost(const QString &why) override;

private:
    void save(const QByteArray &bytes);
    void end(bool complete, int code, const QString &message = QString());

    QFile &m_sink;
    QString m_name;
    QString m_unsaved; // why the file stopped taking the log
    bool m_dumping = false;
    qint64 m_saved = 0;
    LogCapture m_capture;
    MachineTimer m_wake;
};

#endif
