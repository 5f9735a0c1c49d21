#include "uploadmachine.h"

#include "pacing.h"
#include "xmodem.h"

#include <algorithm>
#include <climits>

UploadMachine::UploadMachine(const UploadTarget &target, const QByteArray &data, const UploadSettings &settings)
    : m_target(target)
    , m_data(data)
    , m_settings(settings)
{
}

void UploadMachine::start(qint64 now)
{
    if (m_phase != Phase::Idle)
        return;
    m_phase = Phase::Requesting;
    m_writes << m_target.command;
    if (m_settings.silenceLimitMs > 0)
        m_silentAt = now + m_settings.silenceLimitMs;
}

void UploadMachine::received(const QByteArray &bytes, qint64 now)
{
    if (!running() || bytes.isEmpty())
        return;
    if (m_phase == Phase::Cancelling) {
        // The module's prompt: it has left receive mode.
        if (bytes.contains('>')) {
            m_answered = true;
            finish(m_givingUp);
        }
        return;
    }
    if (m_settings.silenceLimitMs > 0)
        m_silentAt = now + m_settings.silenceLimitMs;
    if (m_phase == Phase::Ending)
        return farewellRead(bytes);
    blockRead(bytes, now);
}

// A read while blocks are asked for. A prompt '>' or the module's cancel stops
// it; the bytes before the stop are judged as one reply, and once the final
// block is taken whatever follows its ACK is the farewell.
void UploadMachine::blockRead(const QByteArray &bytes, qint64 now)
{
    int stop = 0;
    bool moduleCancelled = false;
    for (; stop < bytes.size() && bytes[stop] != '>'; ++stop) {
        m_cans = bytes[stop] == Xmodem::CAN ? m_cans + 1 : 0;
        if ((moduleCancelled = m_cans >= Upload::moduleCancelCans))
            break;
    }
    const QByteArray reply = bytes.left(stop);
    switch (Upload::blockReply(reply, m_phase == Phase::Sending)) {
    case Upload::Reply::Start:
        m_phase = Phase::Sending;
        m_blockNo = 1;
        m_events << Event::Started;
        sendBlock();
        break;
    case Upload::Reply::Resend:
        ++m_naks;
        m_events << Event::Resend;
        if (m_settings.nakLimit > 0 && ++m_naksInRow >= m_settings.nakLimit)
            return giveUp(End::NakLimit, now);
        // Before the module's 'C' this is a block numbered 0.
        sendBlock();
        break;
    case Upload::Reply::Ack:
        m_naksInRow = 0;
        m_offset += m_lastLength;
        ++m_blocks;
        m_events << Event::BlockTaken;
        if (m_offset < m_data.size()) {
            ++m_blockNo;
            sendBlock();
            break;
        }
        m_phase = Phase::Ending;
        m_writes << QByteArray(1, Xmodem::EOT);
        m_secondEotAt = now + Pace::eotGapMs;
        return farewellRead(bytes.mid(reply.indexOf(Xmodem::ACK) + 1));
    case Upload::Reply::None:
        break;
    }
    if (moduleCancelled)
        finish(End::ModuleCancelled);
    else if (stop < bytes.size())
        giveUp(m_phase == Phase::Requesting ? End::PromptBeforeBlocks : End::LeftReceiveMode, now);
}

// Counted across reads up to its first '>'; judged once the second EOT is out too.
void UploadMachine::farewellRead(const QByteArray &bytes)
{
    for (const char byte : bytes) {
        if (m_prompt >= 0)
            break;
        if (m_farewellBytes++ == 0 && byte == Xmodem::ACK)
            m_farewellAck = true;
        else if (byte == '>')
            m_prompt = int(qMin<qint64>(m_farewellBytes - 1 - m_farewellAck, INT_MAX));
    }
    if (m_secondEot)
        judgeFarewell();
}

void UploadMachine::sendBlock()
{
    m_lastLength = qMin(m_data.size() - m_offset, Xmodem::DataSize);
    m_writes << xmodemBlock(m_blockNo, m_data.mid(m_offset, m_lastLength));
}

void UploadMachine::judgeFarewell()
{
    if (m_prompt >= 0)
        finish(m_target.promptMeansDone(m_prompt) ? End::Done : End::FarewellRefused);
}

void UploadMachine::wake(qint64 now, bool bytesPending)
{
    auto due = [now](qint64 &at) {
        if (at < 0 || now < at)
            return false;
        at = -1;
        return true;
    };
    // What the module is waited for: bytes waiting unread are its answer.
    auto waitedFor = [&](qint64 &at, int ms) {
        if (!due(at))
            return false;
        if (bytesPending)
            at = now + ms;
        return !bytesPending;
    };
    if (due(m_secondEotAt)) {
        m_writes << QByteArray(1, Xmodem::EOT);
        m_secondEot = true;
        judgeFarewell();
    }
    if (waitedFor(m_silentAt, m_settings.silenceLimitMs))
        giveUp(End::Silence, now);
    if (waitedFor(m_verdictDueAt, Upload::cancelWaitMs))
        giveUp(End::Cancelled, now);
    if (waitedFor(m_cancelDueAt, Upload::cancelWaitMs)) {
        // The line may have lost the first.
        m_writes << Upload::cancel();
        finish(m_givingUp);
    }
}

void UploadMachine::cancel(qint64 now)
{
    switch (m_phase) {
    case Phase::Idle:
        return finish(End::Cancelled);
    case Phase::Requesting:
    case Phase::Sending:
        return giveUp(End::Cancelled, now);
    case Phase::Ending:
        if (!m_settings.cancelAwaitsVerdict)
            return giveUp(End::Cancelled, now);
        if (m_verdictDueAt < 0)
            m_verdictDueAt = now + Upload::cancelWaitMs;
        return;
    case Phase::Cancelling:
        m_writes << Upload::cancel();
        if (m_settings.cancelAgainEnds)
            finish(End::Cancelled);
        return;
    case Phase::Ended:
        return;
    }
}

void UploadMachine::lineLost()
{
    if (!ended())
        finish(End::Lost);
}

// Out of receive mode before the end: the cancel, the module's prompt
// awaited, the cancel once more if none came.
void UploadMachine::giveUp(End end, qint64 now)
{
    m_phase = Phase::Cancelling;
    m_givingUp = end;
    m_secondEotAt = m_silentAt = m_verdictDueAt = -1;
    m_writes << Upload::cancel();
    m_cancelDueAt = now + Upload::cancelWaitMs;
}

void UploadMachine::finish(End end)
{
    m_phase = Phase::Ended;
    m_end = end;
    m_secondEotAt = m_silentAt = m_verdictDueAt = m_cancelDueAt = -1;
    m_events << Event::Ended;
}

qint64 UploadMachine::wakeAt() const
{
    qint64 at = -1;
    for (const qint64 t : {m_secondEotAt, m_silentAt, m_verdictDueAt, m_cancelDueAt})
        if (t >= 0 && (at < 0 || t < at))
            at = t;
    return at;
}

const char *UploadMachine::result() const
{
    static const char *const names[] = {"", "done", "failed", "failed", "failed", "failed", "timeout", "cancelled",
                                        "module-cancelled", "lost"};
    static_assert(sizeof(names) / sizeof(*names) == int(End::Lost) + 1, "a name for every end");
    return names[int(m_end)];
}

int UploadMachine::blockTotal() const
{
    return (m_data.size() + Xmodem::DataSize - 1) / Xmodem::DataSize;
}
