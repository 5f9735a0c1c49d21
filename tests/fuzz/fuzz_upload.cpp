// The upload machine fed arbitrary reads, pauses and operator actions, both
// kinds and both programs' settings: it writes only its request, whole blocks,
// EOTs and the cancel, calls nothing done that the module did not take whole,
// ends once and never asks to be woken in the past.
#include "steps.h"

#include "protocol/uploadmachine.h"
#include "protocol/xmodem.h"

using End = UploadMachine::End;

// What a module says most often, so that the inputs reach the farewell.
static QByteArray moduleSays(int which)
{
    const QByteArray ack(1, Xmodem::ACK);
    const QByteArray says[] = {"C", ack, QByteArray(1, Xmodem::NAK), QByteArray(2, Xmodem::CAN),
                               ack + "\r\n>", ack + QByteArray(32, '.') + '>', "\r\n>", "CC" + ack};
    return says[which % 8];
}

static void checkBlock(const QByteArray &w, const QByteArray &file, const UploadMachine &m, int eots)
{
    // No block after an EOT.
    FUZZ_CHECK(eots == 0 && w.size() == Xmodem::BlockSize && w.at(0) == Xmodem::STX);
    // Number 0 only as the answer to a NAK before the module's 'C'.
    const quint8 number = quint8(w.at(1));
    FUZZ_CHECK((number == quint8(m.blocksTaken() + 1) || (number == 0 && m.blocksTaken() == 0)) && quint8(w.at(2)) == quint8(~number));
    const QByteArray payload = w.mid(3, Xmodem::DataSize), part = file.mid(m.bytesTaken(), Xmodem::DataSize);
    FUZZ_CHECK(crc16Xmodem(payload) == (quint8(w.at(1027)) << 8 | quint8(w.at(1028))));
    FUZZ_CHECK(payload == part + QByteArray(Xmodem::DataSize - part.size(), Xmodem::Pad));
}

extern "C" int LLVMFuzzerTestOneInput(const quint8 *data, size_t size)
{
    Steps steps(data, size);
    const quint8 setup = steps.byte();
    const UploadTarget &target = setup & 1 ? Upload::firmware : Upload::data;
    // Pad, CAN, EOT and IAC bytes in the file, repeating at no block boundary.
    const QByteArray file = QByteArray("\x1a\x18\x04\xff-file", 9).repeated(900).left(1 + steps.byte() * 29);
    UploadMachine m(target, file, setup & 2 ? UploadSettings::commandLine() : UploadSettings::window());
    qint64 now = 0;
    bool started = !(setup & 4), requested = false, cancelSent = false, farewell = false;
    int eots = 0, endEvents = 0;
    End ended = End::None;
    if (started)
        m.start(now);
    while (steps.more()) {
        now += steps.delay();
        const quint8 op = steps.byte();
        const bool wasEnded = m.ended();
        if (op % 8 < 4) {
            const QByteArray read = op & 8 ? moduleSays(op >> 4) : steps.bytes();
            m.received(read, now);
            // The farewell: a prompt in the read with the final block's ACK or after it.
            farewell = farewell || (read.contains('>') && m.bytesTaken() == file.size());
        } else if (op % 8 < 6) {
            // The driver's timer, due or not, with or without module bytes it holds unread.
            now = qMax(now, m.wakeAt());
            m.wake(now, op & 8);
            FUZZ_CHECK(m.wakeAt() < 0 || m.wakeAt() > now);
        } else if (op % 8 == 6) {
            m.cancel(now);
        } else if (op & 8) {
            m.lineLost();
        } else {
            started = true;
            m.start(now);
        }
        for (const QByteArray &w : m.takeWrites()) {
            FUZZ_CHECK(started && !wasEnded && (requested || w == target.command));
            // After the cancel nothing but the cancel again.
            const bool cancel = !w.isEmpty() && w.count(Xmodem::CAN) == w.size(), eot = w == QByteArray(1, Xmodem::EOT);
            FUZZ_CHECK(cancel || !cancelSent);
            if (requested && !cancel && !eot)
                checkBlock(w, file, m, eots);
            cancelSent = cancelSent || cancel;
            eots += eot;
            requested = true;
        }
        endEvents += m.takeEvents().count(UploadMachine::Event::Ended);
        FUZZ_CHECK(endEvents == (m.ended() ? 1 : 0) && (ended == End::None || m.end() == ended));
        if ((ended = m.end()) == End::Done)
            FUZZ_CHECK(m.bytesTaken() == file.size() && m.blocksTaken() == m.blockTotal() && eots == 2 && farewell);
        // Given up by the tool once requested: the module has been told to leave receive mode.
        if (ended == End::Cancelled || ended == End::NakLimit || ended == End::Silence)
            FUZZ_CHECK(cancelSent || !requested);
    }
    return 0;
}
