#include "dudaze.h"
#include "ui_dudaze.h"

#include "globals.h"

#include <QSerialPort>
#include <QTimer>

DUDaze::DUDaze(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::DUDaze)
{
    ui->setupUi(this);

    serialPort = new QSerialPort();
    connect(serialPort, SIGNAL(errorOccurred(QSerialPort::SerialPortError)),
            this, SLOT(handleSerialError(QSerialPort::SerialPortError)));

    setWindowTitle(QStringLiteral("DAZODOZ"));

    transferLine = new TransferLine(this);
    // A transfer holds the line: no polling, the link controls locked until
    // it gives the line back.
    connect(transferLine, &TransferLine::taken, this, [this] {
        pollTimer->stop();
        setLinkControlsEnabled(false);
    });
    connect(transferLine, &TransferLine::released, this, [this] {
        resumePolling();
        setLinkControlsEnabled(serialPort->isOpen());
    });
    connect(transferLine, &TransferLine::blocksReady, this, &DUDaze::recvOK);
    transferLine->dispatchNested = [this](const QByteArray &read) { dispatch(read); };

    pollTimer = new QTimer(this);
    connect(pollTimer, SIGNAL(timeout()), this, SLOT(handleTimeout()));

    connect(serialPort, SIGNAL(readyRead()), this, SLOT(serialPort_readyRead()));
    connect(this, &DUDaze::recvOK, this, &DUDaze::sendOnce);

    ui->FW->setReadOnly(true);
    ui->PL->setReadOnly(true);
    ui->DATA->setReadOnly(true);
    ui->TEMP->setReadOnly(true);
    ui->mosta->setReadOnly(true);

    ui->single->setEnabled(false);
    ui->AUTO->setEnabled(false);
    ui->shengji->setEnabled(false);
    ui->GOorSTOP->setEnabled(false);
    ui->fs->setEnabled(false);
    ui->rizhi->setEnabled(false);
    ui->DAC_BU->setEnabled(false);

    const QString band = QStringLiteral("QLabel{background-color:rgb(0, 145, 217);color: rgb(236,236, 236);}");
    for (QLabel *title : {ui->label_5, ui->label_18, ui->label_6, ui->label_7, ui->label_8})
        title->setStyleSheet(band);
    const QString field = QStringLiteral("QLabel{background-color:rgb(179, 222, 255);}");
    for (QLabel *name : {ui->label, ui->label_4, ui->label_2, ui->label_3, ui->label_9, ui->label_10, ui->label_11})
        name->setStyleSheet(field);

    connect(ui->chuankou, SIGNAL(triggered()), this, SLOT(chuan_MENU()));
    connect(ui->shengji, SIGNAL(triggered()), this, SLOT(sheng_MENU()));
    connect(ui->fs, SIGNAL(triggered()), this, SLOT(fs_MENU()));
    connect(ui->rizhi, SIGNAL(triggered()), this, SLOT(rizhi_MENU()));

    recvMode = 4;
}

LineOwner DUDaze::lineOwner() const
{
    return transferLine->owner();
}

DUDaze::~DUDaze()
{
    // The application quits: the module is left as 断开 leaves it.
    leaveLine();
    delete ui;
}

void DUDaze::set_cflag()
{
    cflag = 0;
}
