#ifndef DUDAZE_H
#define DUDAZE_H

#include "lineowner.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QSerialPort>
#include <QString>

#include <functional>

class QTimer;

namespace Ui {
class DUDaze;
}

struct UploadKind;

class DUDaze : public QMainWindow
{
    Q_OBJECT

public:
    explicit DUDaze(QWidget *parent = nullptr);
    ~DUDaze() override;

    // Handlers of received chunks, chosen by recvMode.
    void parseInfoReply(const QByteArray &bytes);
    void parseStatusReply(const QByteArray &bytes);
    void parseFwUploadReply(const QByteArray &bytes);
    void parseDataUploadReply(const QByteArray &bytes);
    void parseLogReply(const QByteArray &bytes);

    LineOwner lineOwner() const { return owner; }
    // An upload takes the line: a fresh block flow, polling stopped, the link
    // controls locked.
    void uploadStarted(LineOwner upload);
    // Ends the upload that holds the line with its box (and, when it
    // completed, the follow-up commands).
    void endUpload(const QString &title, const QString &text, const QByteArrayList &followUp = {});
    // Polling as it was before an upgrade window or a transfer paused it:
    // the automatic cycle at its period if it ran, else the status poll
    // every 2000 ms.
    void resumePolling();
    // Waits, with the line taken, until the module has been quiet for a
    // while, so that late answers reach the handlers of their own exchanges
    // and no transfer starts on them. False, after at most about 2 s, when
    // the line did not go quiet, or when the link went or stillWanted() turned
    // false meanwhile.
    bool waitForQuietLine(const std::function<bool()> &stillWanted);
    // Ends the log download that holds the line with its box.
    void endLogDownload(const QString &title, const QString &text);
    // A read is being gathered: bytes have come that no handler has seen yet.
    bool gathering() const { return dispatching; }

protected:
    void closeEvent(QCloseEvent *event) override;

signals:
    void recvOK();

private slots:
    void handleSerialError(QSerialPort::SerialPortError error);
    void sendOnce();
    void handleTimeout();
    void on_DAKAI_clicked();
    void on_GOorSTOP_clicked();
    void on_AUTO_clicked();
    void on_single_clicked();
    void serialPort_readyRead();
    void chuan_MENU();
    void sheng_MENU();
    void fs_MENU();
    void rizhi_MENU();
    void on_DAC_BU_clicked();
    void set_cflag();

private:
    // Whatever the port holds; every byte fetched, wherever, counts as the
    // module's newest arrival, so that no wait takes a busy line for quiet.
    QByteArray fetchLine();
    // Hands one read to the handler of the exchange in force.
    void dispatch(const QByteArray &chunk);
    void claimLine(LineOwner transfer);
    void releaseLine();
    // Whether the line is still free and open since a sequence read the epoch.
    bool lineFreeSince(quint64 epoch) const;
    // Writes a command sequence gapMs apart; it stops writing for good once the
    // link closes or a transfer takes the line during one of its waits.
    void runSequence(const QByteArrayList &commands, int gapMs, bool waitAfterLast);
    // Ends the transfer that holds the line: its box, then, if the link is
    // still open and the line still the transfer's, the follow-up commands
    // (20 ms apart), the idle mode, polling every 2000 ms and the link
    // controls. False when the link went while the box was up.
    bool finishTransfer(const QString &title, const QString &text, const QByteArrayList &followUp = {});
    void connectLink();
    // The link closes for good: a running upload is cancelled on the module
    // before the port closes.
    void leaveLine();
    void disconnectLink();
    void setLinkControlsEnabled(bool enabled);
    void showClosedLink();
    void handleUploadReply(const QByteArray &bytes, const UploadKind &kind);

    Ui::DUDaze *ui;
    QString dacText;
    QByteArray recvBuffer;
    int cflag = 0;
    bool dispatching = false;
    QElapsedTimer lastArrival; // since the module's newest bytes arrived
    LineOwner owner = LineOwner::None;
    // Changes whenever the line is opened, closed, taken or given back, so that
    // whoever waited can tell whether the line is still as it left it.
    quint64 lineEpoch = 0;
    bool redispatchQueued = false;
    // The automatic cycle's period while it runs (also while an upgrade
    // window or a transfer pauses it); 0 when it does not.
    int cyclePeriod = 0;
};

#endif
