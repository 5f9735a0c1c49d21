#include "dudaze.h"
#include "ui_dudaze.h"

#include "commands.h"
#include "globals.h"
#include "protocol/pacing.h"
#include "line/lineprobe.h"
#include "protocol/uploadrules.h"
#include "linksettings.h"

#include <QMessageBox>
#include <QTimer>


void DUDaze::on_DAKAI_clicked()
{
    if (ui->DAKAI->text() == QStringLiteral("连接"))
        connectLink();
    else
        disconnectLink();
}

void DUDaze::connectLink()
{
    serialPort->setPortName(portNameSetting);
    serialPort->setBaudRate(baudRateSetting, QSerialPort::AllDirections);
    serialPort->setDataBits(dataBitsFor(dataBitsSetting));
    serialPort->setStopBits(stopBitsFor(stopBitsSetting));
    serialPort->setParity(parityFor(paritySetting));
    serialPort->setFlowControl(QSerialPort::NoFlowControl);

    // A device another program holds, under whatever name, is not ours to poll.
    if (deviceHolder(portNameSetting).isEmpty() && serialPort->open(QIODevice::ReadWrite) && !holdDevice(serialPort->handle()))
        serialPort->close();
    if (!serialPort->isOpen()) {
        QMessageBox::critical(this, QStringLiteral("提示"), QStringLiteral("连接失败"), QMessageBox::Ok);
        return;
    }
    transferLine->reset();
    ui->DAKAI->setText(QStringLiteral("断开"));
    setLinkControlsEnabled(true);

    QMessageBox::information(this, QStringLiteral("提示"), QStringLiteral("连接成功"), QMessageBox::Ok);
    // The line may have gone while the box was up; then it is closed already.
    if (!serialPort->isOpen())
        return;

    recvMode = 4;
    pollTimer->start(2000);
    runSequence(Cmd::connectQuery(), Pace::commandGapMs, true);
}

void DUDaze::disconnectLink()
{
    // An upload the module receives is cancelled there first and its answer
    // awaited, the cancel repeated without one, so that the module is not
    // left receiving. Meanwhile the line may go, or a second 断开 or the
    // tool's close may end the link: then that has told it.
    LineTransfer *transfer = transferLine->transfer();
    if (transfer && transfer->leave()) {
        const quint64 epoch = transferLine->epoch();
        while (serialPort->isOpen() && transferLine->epoch() == epoch && transfer->leave())
            delayMs(Upload::readGatherMs);
        // The link went, or was even opened anew: this 断开 has nothing left to close.
        if (!serialPort->isOpen() || transferLine->epoch() != epoch)
            return;
    }
    // The box tells of a closed line only once it is: an upload ended and
    // cancelled on the module, the port closed.
    leaveLine();
    ui->DAKAI->setText(QStringLiteral("连接"));
    QMessageBox::information(this, QStringLiteral("提示"), QStringLiteral("串口关闭成功"), QMessageBox::Ok);
}

void DUDaze::leaveLine()
{
    if (!serialPort || !serialPort->isOpen())
        return;
    // An upload cut here is cancelled on the module first: left in receive
    // mode it would take every later command for block bytes. The upload
    // ends in the tool before, so that no reply read meanwhile sends a block
    // behind the cancel.
    LineTransfer *transfer = transferLine->transfer();
    const bool receiving = transfer && transfer->left();
    showClosedLink();
    if (receiving)
        serialPort->write(Upload::cancel());
    // What is still in the port's buffer (a cancel above, or the repeated one
    // 断开 awaited) goes to the system before the close would drop it.
    serialPort->flush();
    serialPort->close();
}

void DUDaze::closeEvent(QCloseEvent *event)
{
    leaveLine();
    QMainWindow::closeEvent(event);
}

void DUDaze::handleSerialError(QSerialPort::SerialPortError)
{
    if (!serialPort->isOpen())
        return;
    const QSerialPort::SerialPortError error = serialPort->error();
    // A hung-up line is reported as a read error that repeats for as long as
    // the port stays open; it is the same loss as a vanished device.
    const bool lost = error == QSerialPort::ResourceError
            || (error == QSerialPort::ReadError && lineHungUp(serialPort->handle()));
    if (!lost)
        return;

    serialPort->close();
    // What ran over the line ends here, before the box: a cancel's wait or a
    // transfer's timer firing behind it must find nothing left to do.
    showClosedLink();
    QMessageBox::information(this, QStringLiteral("错误"), QStringLiteral("串口断开连接"), QMessageBox::Ok);
}

void DUDaze::serialPort_readyRead()
{
    transferLine->arrived();
    // A dispatch that runs in the nested loop of another would read its bytes
    // first; the running one picks them up when it returns.
    if (transferLine->gathering())
        return;
    transferLine->setGathering(true);
    delayMs(Upload::readGatherMs);
    if (!serialPort->isOpen()) {
        // The line went during the gathering wait: nothing left to read.
        transferLine->setGathering(false);
        return;
    }
    recvBuffer = transferLine->fetch();
    if (!recvBuffer.isEmpty())
        dispatch(QByteArray(recvBuffer));
    recvBuffer.clear();
    transferLine->setGathering(false);
    // The port signals no new bytes while its readyRead slot runs: what the
    // module sent during the gathering wait, a handler's wait or its message
    // box is dispatched now, once this call has returned.
    if (!redispatchQueued && serialPort->isOpen() && serialPort->bytesAvailable() > 0) {
        redispatchQueued = true;
        QTimer::singleShot(0, this, [this] {
            redispatchQueued = false;
            serialPort_readyRead();
        });
    }
}

void DUDaze::dispatch(const QByteArray &chunk)
{
    switch (recvMode) {
    case 0:
    case 6: parseInfoReply(chunk); break;
    case 2: parseFwUploadReply(chunk); break;
    case 3: parseDataUploadReply(chunk); break;
    case 4: parseStatusReply(chunk); break;
    case 5: parseLogReply(chunk); break;
    default: break;
    }
}

void DUDaze::setLinkControlsEnabled(bool enabled)
{
    ui->AUTO->setEnabled(enabled);
    ui->shengji->setEnabled(enabled);
    ui->fs->setEnabled(enabled);
    ui->rizhi->setEnabled(enabled);
    ui->single->setEnabled(enabled);
    ui->GOorSTOP->setEnabled(enabled);
    ui->DAC_BU->setEnabled(enabled);
}

// The window of a closed link: no polling, link controls off, the version and
// temperature boxes empty, idle captions.
void DUDaze::showClosedLink()
{
    // What ran over the link has ended with it.
    if (LineTransfer *transfer = transferLine->transfer())
        transfer->left();
    transferLine->reset();
    cyclePeriod = 0;
    pollTimer->stop();
    setLinkControlsEnabled(false);
    ui->TEMP->clear();
    ui->FW->clear();
    ui->PL->clear();
    ui->DATA->clear();
    ui->GOorSTOP->setText(QStringLiteral("开启"));
    ui->AUTO->setText(QStringLiteral("循环"));
    ui->DAKAI->setText(QStringLiteral("连接"));
}
