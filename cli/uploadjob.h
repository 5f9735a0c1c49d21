#ifndef CLI_UPLOADJOB_H
#define CLI_UPLOADJOB_H

#include "session.h"
#include "statusreader.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QTimer>

#include <functional>

class Record;
struct UploadTarget;

// The file to upload, read whole and checked before any port opens.
struct UploadFile {
    const UploadTarget *target = nullptr;
    QString kind;     // firmware or data
    QString path;     // absolute
    QByteArray data;
    QString sha256;
};

// upload firmware|data FILE: the versions before, the XMODEM-1K transfer
// (each block right after the ACK of the one before), the module's prompt
// judged, the load after a data upload, the versions after; one record line.
class UploadJob : public Job
{
public:
    UploadJob(Session &session, const UploadFile &file, const Record &record);
    void start() override;
    void received(const QByteArray &bytes) override;
    void interrupted() override;
    void lost(const QString &why) override;

private:
    enum class Stage { Before, Requesting, Sending, Ending, Cancelling, Loading, After };
    void blockReply(const QByteArray &bytes);
    void sendBlock();
    void farewellRead(const QByteArray &bytes);
    void judgeFarewell();
    // Out of receive mode before giving up: the cancel, the module's prompt
    // awaited, the cancel once more if none came; then the upload ends so.
    void giveUp(const char *result, int code, const QString &message);
    void completed();
    void progress(bool force);
    void end(const char *result, int code, const QString &message = QString());

    const UploadFile &m_file;
    const Record &m_record;
    Stage m_stage = Stage::Before;
    StatusReader m_reader;
    QJsonObject m_before, m_after;
    int m_offset = 0;        // file bytes the module has acknowledged
    int m_lastLength = 0;    // file bytes in the block on its way
    quint8 m_blockNo = 0;
    int m_blocks = 0;
    int m_naks = 0;
    int m_naksInRow = 0;
    bool m_secondEot = false;
    QByteArray m_read;       // the module's read after the end of the transfer, while it gathers
    QTimer m_readCut;        // ends that read
    bool m_interruptPending = false; // honoured once the module's verdict (and the load) are in
    std::function<void(bool answered)> m_afterCancel; // how a given-up upload ends
    QElapsedTimer m_clock;   // from the module's receive command
    qint64 m_transferMs = -1; // to the end of the transfer: the module's prompt, or the upload's end
    qint64 m_lastProgress = -1;
    QTimer m_silence;
};

#endif
