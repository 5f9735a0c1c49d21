#include "uploadmachine.h"

#include "pacing.h"
#include "replyvalue.h"
#include "xmodem.h"

#include <algorithm>

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
        if (Upload::promptPosition(replyText(bytes)) >= 0) {
            m_answered = true;
            finish(m_givingUp);
        }
        return;
    }
    if (m_settings.silenceLimitMs > 0)
        m_silentAt = now + m_settings.silenceLimitMs;
    if (m_phase != Phase::Ending)
        return blockRead(bytes, now);
    if (m_settings.gatherReads && m_read.isEmpty() && m_readEndsAt < 0)
        m_readEndsAt = now + Upload::readGatherMs;
    m_read += bytes;
    // A read that came before the second EOT went out is judged after it.
    if (!m_settings.gatherReads && m_secondEot)
        judgeFarewell();
}

void UploadMachine::blockRead(const QByteArray &bytes, qint64 now)
{
    const QString text = replyText(bytes);
    switch (Upload::blockReply(text, m_phase == Phase::Sending)) {
    case Upload::Reply::Start:
        m_phase = Phase::Sending;
        m_blockNo = 1;
        m_events << Event::Started;
        sendBlock();
        break;
    case Upload::Reply::Cancel:
        // Whatever follows in this read.
        return finish(End::ModuleCancelled);
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
        // The rest of this read is not looked at: the farewell comes after the EOTs.
        m_phase = Phase::Ending;
        m_writes << QByteArray(1, Xmodem::EOT);
        m_secondEotAt = now + Pace::eotGapMs;
        return;
    case Upload::Reply::None:
        break;
    }
    if ((m_prompt = Upload::promptPosition(text)) >= 0)
        finish(m_phase == Phase::Requesting ? End::PromptBeforeBlocks : End::LeftReceiveMode);
}

void UploadMachine::sendBlock()
{
    m_lastLength = qMin(m_data.size() - m_offset, Xmodem::DataSize);
    m_writes << xmodemBlock(m_blockNo, m_data.mid(m_offset, m_lastLength));
}

// The prompt, counted within the read that holds it (the ACK of the EOT
// included when it came in the same read), says whether the module took the
// upload whole; a read without it leaves the verdict to the next.
void UploadMachine::judgeFarewell()
{
    const int position = Upload::promptPosition(replyText(std::exchange(m_read, QByteArray())));
    if (position < 0)
        return;
    m_prompt = position;
    finish(m_target.promptMeansDone(position) ? End::Done : End::FarewellRefused);
}

void UploadMachine::wake(qint64 now)
{
    auto due = [now](qint64 &at) {
        if (at < 0 || now < at)
            return false;
        at = -1;
        return true;
    };
    if (due(m_secondEotAt)) {
        m_writes << QByteArray(1, Xmodem::EOT);
        m_secondEot = true;
        if (m_readEndsAt < 0)
            judgeFarewell();
    }
    if (due(m_readEndsAt) && m_secondEot)
        judgeFarewell();
    if (due(m_silentAt))
        giveUp(End::Silence, now);
    if (due(m_verdictDueAt))
        giveUp(End::Cancelled, now);
    if (due(m_cancelDueAt)) {
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
    m_secondEotAt = m_readEndsAt = m_silentAt = m_verdictDueAt = -1;
    m_writes << Upload::cancel();
    m_cancelDueAt = now + Upload::cancelWaitMs;
}

void UploadMachine::finish(End end)
{
    m_phase = Phase::Ended;
    m_end = end;
    m_secondEotAt = m_readEndsAt = m_silentAt = m_verdictDueAt = m_cancelDueAt = -1;
    m_events << Event::Ended;
}

qint64 UploadMachine::wakeAt() const
{
    qint64 at = -1;
    for (const qint64 t : {m_secondEotAt, m_readEndsAt, m_silentAt, m_verdictDueAt, m_cancelDueAt})
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
