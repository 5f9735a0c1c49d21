#ifndef CLI_LOGJOB_H
#define CLI_LOGJOB_H

#include "session.h"
#include "line/machinetimer.h"
#include "protocol/logcapture.h"

class QFile;

// log FILE|-: asks for the dump once the line is quiet and saves every byte
// as it comes; the log capture tells its end.
class LogJob : public Job
{
public:
    LogJob(Session &session, QFile &sink);
    void start() override;
    bool startsOnQuietLine() const override { return false; } // waits by the log's own rule
    void received(const QByteArray &bytes) override;
    void interrupted() override;
    void lost(const QString &why) override;

private:
    void end(bool complete, int code, const QString &message = QString());

    QFile &m_sink;
    bool m_dumping = false;
    qint64 m_saved = 0;
    LogCapture m_capture;
    MachineTimer m_wake;
};

#endif
