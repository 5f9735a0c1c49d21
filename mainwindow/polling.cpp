#include "dudaze.h"
#include "ui_dudaze.h"

#include "commands.h"
#include "protocol/controlvalues.h"
#include "globals.h"
#include "lineowner.h"
#include "protocol/pacing.h"

#include <QTimer>

void DUDaze::runSequence(const QByteArrayList &commands, int gapMs, bool waitAfterLast)
{
    const quint64 epoch = transferLine->epoch();
    for (int i = 0; i < commands.size(); ++i) {
        if (!transferLine->freeSince(epoch))
            return;
        transferLine->write(commands[i]);
        if (i + 1 < commands.size() || waitAfterLast)
            delayMs(gapMs);
    }
}

void DUDaze::handleTimeout()
{
    switch (recvMode) {
    case 4:
        runSequence(Cmd::statusPoll(), Pace::commandGapMs, false);
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
    // The query ends a running cycle, though AUTO keeps its caption.
    cyclePeriod = 0;
    recvMode = 6;
    runSequence(Cmd::singleQuery(), Pace::commandGapMs, false);
}

void DUDaze::on_AUTO_clicked()
{
    if (ui->AUTO->text() == QStringLiteral("循环")) {
        recvMode = 0;
        cyclePeriod = cyclePeriodMs(ui->TIME->text());
        pollTimer->start(cyclePeriod);
        ui->AUTO->setText(QStringLiteral("停止"));
    } else {
        ui->AUTO->setText(QStringLiteral("循环"));
        cyclePeriod = 0;
        recvMode = 4;
        pollTimer->start(2000);
    }
}

void DUDaze::resumePolling()
{
    // A single query's answers may still be on their way: they stay with its
    // handler, and the next tick hands over to the status poll as after any
    // single query.
    if (recvMode != 6)
        recvMode = cyclePeriod ? 0 : 4;
    pollTimer->start(cyclePeriod ? cyclePeriod : 2000);
}
