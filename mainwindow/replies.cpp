#include "dudaze.h"
#include "ui_dudaze.h"

#include "replyvalue.h"

namespace {

// Runs show(value) when the key is in the text; its widget stays as it is otherwise.
template <class Show>
void withValue(const QString &text, const char *key, Show show)
{
    bool found = false;
    const QString value = replyValue(text, QLatin1String(key), &found);
    if (found)
        show(value);
}

void showAlarm(QTextEdit *box, const QString &value)
{
    box->clear();
    box->setText(value);
}

} // namespace

void DUDaze::parseInfoReply(const QByteArray &bytes)
{
    const QString text = replyText(bytes);
    withValue(text, Key::Temperature, [this](const QString &v) { ui->TEMP->setText(v); });
    withValue(text, Key::Firmware, [this](const QString &v) { ui->FW->setText(v); });
    withValue(text, Key::Fpga, [this](const QString &v) { ui->PL->setText(v); });
    withValue(text, Key::Waveform, [this](const QString &v) { ui->DATA->setText(v); });
    withValue(text, Key::Output, [this](const QString &v) {
        ui->GOorSTOP->setText(outputSwitchCaption(v, ui->GOorSTOP->text()));
    });
    withValue(text, Key::Alarm, [this](const QString &v) { showAlarm(ui->mosta, v); });
}

void DUDaze::parseStatusReply(const QByteArray &bytes)
{
    const QString text = replyText(bytes);
    withValue(text, Key::Output, [this](const QString &v) {
        ui->mosta_module->setText(v);
        ui->GOorSTOP->setText(outputSwitchCaption(v, ui->GOorSTOP->text()));
    });
    withValue(text, Key::Dac, [this](const QString &v) { ui->DAC_Value->setText(v); });
    withValue(text, Key::Alarm, [this](const QString &v) { showAlarm(ui->mosta, v); });
}
