#include "quietline.h"

void QuietLine::begin(qint64 now)
{
    m_state = State::Waiting;
    m_began = m_last = now;
}

void QuietLine::arrived(qint64 now)
{
    // A stamp older than what is known already changes nothing.
    m_last = qMax(m_last, now);
}

void QuietLine::wake(qint64 now, bool bytesPending)
{
    if (m_state != State::Waiting)
        return;
    if (bytesPending)
        m_last = now;
    if (now - m_last >= quietMs)
        m_state = State::Quiet;
    else if (now - m_began >= limitMs)
        m_state = State::GaveUp;
}

qint64 QuietLine::wakeAt() const
{
    if (m_state != State::Waiting)
        return -1;
    return qMin(m_last + quietMs, m_began + limitMs);
}
