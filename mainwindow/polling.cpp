#include "dudaze.h"
#include "ui_dudaze.h"

#include "commands.h"
#include "protocol/controlvalues.h"
#include "globals.h"

#include <QTimer>

void DUDaze::handleTimeout()
{
    switch (recvMode) {
    case 4:
        runSequence(Cmd::statusPoll(), 100, false);
        break;
    case 0:
        runSequence({Cmd::ReadTemperature}, 0, false);
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
    // The tick that ends the query comes a whole period from now, after its
    // last answer, not inside its waits.
    if (pollTimer->isActive())
        pollTimer->start(pollTimer->interval());
    recvMode = 6;
    runSequence(Cmd::singleQuery(), 100, false);
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
