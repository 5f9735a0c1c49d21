#include "dudaze.h"
#include "ui_dudaze.h"

#include "commands.h"
#include "controlvalues.h"
#include "globals.h"

#include <QTimer>

void DUDaze::handleTimeout()
{
    switch (recvMode) {
    case 4:
        writeCommand(Cmd::KeyLower3);
        delayMs(100);
        writeCommand(Cmd::ReadOutput);
        delayMs(100);
        writeCommand(Cmd::ReadAlarm);
        delayMs(100);
        writeCommand(Cmd::ReadDac);
        break;
    case 0:
        writeCommand(Cmd::ReadTemperature);
        break;
    case 6:
        recvMode = 4;
        break;
    default:
        break;
    }
}

void DUDaze::on_single_clicked()
{
    recvMode = 6;
    writeCommand(Cmd::ReadTemperature);
    delayMs(100);
    writeCommand(Cmd::ReadVersions);
    delayMs(100);
    writeCommand(Cmd::KeyUpper1);
    delayMs(100);
    writeCommand(Cmd::DacInfo);
}

void DUDaze::on_AUTO_clicked()
{
    if (ui->AUTO->text() == QStringLiteral("循环")) {
        recvMode = 0;
        pollTimer->start(cyclePeriodMs(ui->TIME->text()));
        ui->AUTO->setText(QStringLiteral("停止"));
    } else {
        ui->AUTO->setText(QStringLiteral("循环"));
        recvMode = 4;
        pollTimer->start(2000);
    }
}
