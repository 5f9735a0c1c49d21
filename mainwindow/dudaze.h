#ifndef DUDAZE_H
#define DUDAZE_H

#include "lineowner.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QMainWindow>
#include <QSerialPort>
#include <QString>

class QTimer;

namespace Ui {
class DUDaze;
}


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

    LineOwner lineOwner() const;
    // Polling as it was before an upgrade window or a transfer paused it:
    // the automatic cycle at its period if it ran, else the status poll
    // every 2000 ms.
    void resumePolling();

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
    // Hands one read to the handler of the exchange in force.
    void dispatch(const QByteArray &chunk);
    // Hands one read to the transfer that holds the line, if it is of kind.
    void handToTransfer(const QByteArray &read, LineOwner kind);
    // Writes a command sequence gapMs apart; it stops writing for good once the
    // link closes or a transfer takes the line during one of its waits.
    void runSequence(const QByteArrayList &commands, int gapMs, bool waitAfterLast);
    void connectLink();
    // The link closes for good: a running upload is cancelled on the module
    // before the port closes.
    void leaveLine();
    void disconnectLink();
    void setLinkControlsEnabled(bool enabled);
    void showClosedLink();

    Ui::DUDaze *ui;
    QString dacText;
    QByteArray recvBuffer;
    int cflag = 0;
    bool redispatchQueued = false;
    // The automatic cycle's period while it runs (also while an upgrade
    // window or a transfer pauses it); 0 when it does not.
    int cyclePeriod = 0;
};

#endif
