#include "uploadrules.h"

#include "commands.h"
#include "xmodem.h"

#include <QByteArray>

namespace {
bool firmwareDone(int position) { return position >= 0 && position <= 9; }
bool dataDone(int position) { return position == 33; }
} // namespace

namespace Upload {

const UploadTarget firmware{Cmd::ReceiveFirmware, firmwareDone, false};
const UploadTarget data{Cmd::ReceiveData, dataDone, true};

Reply blockReply(const QString &text, bool blocksFlowing)
{
    if (!blocksFlowing && text.contains(QLatin1Char(Xmodem::CrcRequest)))
        return Reply::Start;
    if (text.contains(QLatin1Char(Xmodem::CAN)))
        return Reply::Cancel;
    if (text.contains(QLatin1Char(Xmodem::NAK)))
        return Reply::Resend;
    if (blocksFlowing && text.contains(QLatin1Char(Xmodem::ACK)))
        return Reply::Ack;
    return Reply::None;
}

int promptPosition(const QString &text)
{
    return text.indexOf(QLatin1Char('>'));
}

QByteArray cancel()
{
    return QByteArray(5, Xmodem::CAN);
}

} // namespace Upload
