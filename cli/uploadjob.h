#ifndef CLI_UPLOADJOB_H
#define CLI_UPLOADJOB_H

#include "session.h"
#include "statusreader.h"
#include "line/machinetimer.h"
#include "protocol/uploadmachine.h"

#include <QJsonObject>

class Record;

// The file to upload, read whole and checked before any port opens.
struct UploadFile {
    const UploadTarget *target = nullptr;
    QString kind;     // firmware or data
    QString path;     // absolute
    QByteArray data;
    QString sha256;
};

// upload firmware|data FILE: the versions before, the upload machine driven
// on the line (each block right after the ACK of the one before), the load
// after a data upload, the versions after; one record line.
class UploadJob : public Job
{
public:
    UploadJob(Session &session, const UploadFile &file, const Record &record);
    void start() override;
    void received(const QByteArray &bytes) override;
    void interrupted() override;
    void lost(const QString &why) override;

private:
    enum class Stage { Before, Transfer, Loading, After };
    // Hands what the machine asks for to the line and its timer.
    void drive();
    void transferEnded();
    QString whyEnded() const;
    void completed();
    void progress(bool force);
    void end(const char *result, int code, const QString &message = QString());

    const UploadFile &m_file;
    const Record &m_record;
    Stage m_stage = Stage::Before;
    StatusReader m_reader;
    QJsonObject m_before, m_after;
    UploadMachine m_machine;
    MachineTimer m_wake;      // its clock runs from the module's receive command
    bool m_interruptPending = false; // honoured once the module's verdict (and the load) are in
    bool m_interruptedAgain = false;
    qint64 m_transferMs = -1; // to the end of the transfer: the module's prompt, or the upload's end
    qint64 m_lastProgress = -1;
};

#endif
