#include "uploadrules.h"

#include "commands.h"
#include "xmodem.h"


namespace {
bool firmwareDone(int position) { return position >= 0 && position <= 9; }
bool dataDone(int position) { return position == 32 || position == 33; }
} // namespace

namespace Upload {

const UploadTarget firmware{Cmd::ReceiveFirmware, firmwareDone, false};
const UploadTarget data{Cmd::ReceiveData, dataDone, true};

Reply blockReply(const QByteArray &bytes, bool blocksFlowing)
{
    if (!blocksFlowing && bytes.contains(Xmodem::CrcRequest))
        return Reply::Start;
    if (bytes.contains(Xmodem::NAK))
        return Reply::Resend;
    if (blocksFlowing && bytes.contains(Xmodem::ACK))
        return Reply::Ack;
    return Reply::None;
}

QByteArray cancel()
{
    return QByteArray(5, Xmodem::CAN);
}

} // namespace Upload
