#include "logcapture.h"

#include "logrules.h"

using namespace LogRules;

void LogCapture::start(qint64 now)
{
    m_end = End::None;
    m_atLineStart = true;
    m_promptLast = false;
    m_deadline = now + giveUpSilenceMs;
}

void LogCapture::received(const QByteArray &bytes, qint64 now)
{
    if (m_end != End::None)
        return;
    // Read byte by byte with the state carried over, so that where the
    // reads are cut changes nothing.
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            m_atLineStart = true;
        } else if (c == ' ' || c == '\t' || c == '\0') {
            m_atLineStart = false;
        } else {
            m_promptLast = c == '>' && m_atLineStart;
            m_atLineStart = false;
        }
    }
    m_deadline = now + (m_promptLast ? promptSilenceMs : giveUpSilenceMs);
}

void LogCapture::wake(qint64 now, bool bytesPending)
{
    if (m_end != End::None || now < m_deadline)
        return;
    if (bytesPending)
        m_deadline = now + promptSilenceMs;
    else
        m_end = m_promptLast ? End::Complete : End::Incomplete;
}
