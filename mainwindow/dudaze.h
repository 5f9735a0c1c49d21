#ifndef DUDAZE_H
#define DUDAZE_H

#include <QByteArray>
#include <QMainWindow>
#include <QSerialPort>
#include <QString>

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

    // An upload has begun: a fresh block flow, and no other exchange may
    // write into it.
    void uploadStarted();
    // Gives the link controls back once no upload or log download runs, if
    // the link is still open.
    void unlockLinkControls();

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
    void connectLink();
    void disconnectLink();
    void setLinkControlsEnabled(bool enabled);
    void showClosedLink();
    void handleUploadReply(const QByteArray &bytes, const UploadKind &kind);

    Ui::DUDaze *ui;
    QString dacText;
    QByteArray recvBuffer;
    int cflag = 0;
    bool dispatching = false;
    bool redispatchQueued = false;
};

#endif
