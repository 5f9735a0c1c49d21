#include "dudaze.h"
#include "ui_dudaze.h"

#include "commands.h"
#include "protocol/controlvalues.h"
#include "globals.h"
#include "protocol/pacing.h"

#include <QMessageBox>
#include <QTimer>

void DUDaze::on_GOorSTOP_clicked()
{
    const QString caption = ui->GOorSTOP->text();
    recvMode = 4;
    // The switch ends a running cycle, though AUTO keeps its caption.
    cyclePeriod = 0;
    if (caption == QStringLiteral("开启"))
        writeCommand(Cmd::OutputOn);
    else
        writeCommand(Cmd::OutputOff);
    pollTimer->start(1000);
}

void DUDaze::on_DAC_BU_clicked()
{
    // Each click sends the text read at that click: a second click during the
    // waits below must not change what the first one sends.
    const QString typed = ui->DAC_SET->text();
    dacText = typed;
    if (typed.isEmpty())
        return;
    if (!dacValueAccepted(typed)) {
        QMessageBox::information(this, QStringLiteral("提示"), QStringLiteral("数值超出范围"), QMessageBox::Ok);
        return;
    }
    const QByteArrayList commands = Cmd::dacSetting(typed);
    dacText = QString::fromLatin1(commands[1]);
    runSequence(commands, Pace::commandGapMs, true);
}
