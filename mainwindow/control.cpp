#include "dudaze.h"
#include "ui_dudaze.h"

#include "commands.h"
#include "controlvalues.h"
#include "globals.h"

#include <QMessageBox>
#include <QTimer>

void DUDaze::on_GOorSTOP_clicked()
{
    const QString caption = ui->GOorSTOP->text();
    recvMode = 4;
    if (caption == QStringLiteral("开启"))
        writeCommand(Cmd::OutputOn);
    else
        writeCommand(Cmd::OutputOff);
    pollTimer->start(1000);
}

void DUDaze::on_DAC_BU_clicked()
{
    dacText = ui->DAC_SET->text();
    if (dacText.isEmpty())
        return;
    if (!dacValueAccepted(dacText)) {
        QMessageBox::information(this, QStringLiteral("提示"), QStringLiteral("数值超出范围"), QMessageBox::Ok);
        return;
    }
    writeCommand(Cmd::KeyLower3);
    delayMs(100);
    dacText = QLatin1String(Cmd::DacPrefix) + dacText + QLatin1String(Cmd::LineEnd);
    const QByteArray command = dacText.toLocal8Bit();
    serialPort->write(command.constData(), command.size());
    delayMs(100);
    writeCommand(Cmd::Boot);
    delayMs(100);
}
