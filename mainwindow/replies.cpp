#include "dudaze.h"
#include "ui_dudaze.h"

#include "replyvalue.h"

void DUDaze::parseInfoReply(const QByteArray &bytes)
{
    const QString text = replyText(bytes);
    bool found = false;
    QString value = replyValue(text, QStringLiteral("MT:"), &found);
    if (found)
        ui->TEMP->setText(value);
    value = replyValue(text, QStringLiteral("Firmware Vers:"), &found);
    if (found)
        ui->FW->setText(value);
    value = replyValue(text, QStringLiteral("PL Vers:"), &found);
    if (found)
        ui->PL->setText(value);
    value = replyValue(text, QStringLiteral("SN:"), &found);
    if (found)
        ui->DATA->setText(value);
    value = replyValue(text, QStringLiteral("MOD:"), &found);
    if (found)
        ui->GOorSTOP->setText(outputSwitchCaption(value, ui->GOorSTOP->text()));
    value = replyValue(text, QStringLiteral("AST:"), &found);
    if (found) {
        ui->mosta->clear();
        ui->mosta->setText(value);
    }
}

void DUDaze::parseStatusReply(const QByteArray &bytes)
{
    const QString text = replyText(bytes);
    bool found = false;
    QString value = replyValue(text, QStringLiteral("MOD:"), &found);
    if (found) {
        ui->mosta_module->setText(value);
        ui->GOorSTOP->setText(outputSwitchCaption(value, ui->GOorSTOP->text()));
    }
    value = replyValue(text, QStringLiteral("DAC:"), &found);
    if (found)
        ui->DAC_Value->setText(value);
    value = replyValue(text, QStringLiteral("AST:"), &found);
    if (found) {
        ui->mosta->clear();
        ui->mosta->setText(value);
    }
}
