#include "logcapture.h"

#include "logrules.h"

using namespace LogRules;

void LogCapture::start(qint64 now)
{
    m_end = End::None;
    m_endsWithPrompt = false;
    m_deadline = now + giveUpSilenceMs;
}

void LogCapture::received(const QByteArray &bytes, qint64 now)
{
    if (m_end != End::None)
        return;
    // A piece of blanks and line ends leaves the judgement of the last text as it was.
    if (const char last = lastTextChar(bytes))
        m_endsWithPrompt = last == '>';
    m_deadline = now + (m_endsWithPrompt ? promptSilenceMs : giveUpSilenceMs);
}

void LogCapture::wake(qint64 now, bool bytesPending)
{
    if (m_end != End::None || now < m_deadline)
        return;
    if (bytesPending)
        m_deadline = now + promptSilenceMs;
    else
        m_end = m_endsWithPrompt ? End::Complete : End::Incomplete;
}
