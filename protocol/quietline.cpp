#include "quietline.h"

#include "owedanswers.h"

void QuietLine::begin(qint64 now)
{
    m_state = State::Waiting;
    m_began = now;
    m_pending = -1;
}

void QuietLine::wake(qint64 now, bool bytesPending)
{
    if (m_state != State::Waiting)
        return;
    if (bytesPending)
        m_pending = now;
    const qint64 settled = this->settled();
    if (now < settled)
        return; // an answer is still owed
    if (now - qMax(settled, lastHeard()) >= quietMs)
        m_state = State::Quiet;
    else if (now - settled >= limitMs)
        m_state = State::GaveUp;
}

qint64 QuietLine::wakeAt() const
{
    if (m_state != State::Waiting)
        return -1;
    const qint64 settled = this->settled();
    return qMin(qMax(settled, lastHeard()) + quietMs, settled + limitMs);
}

qint64 QuietLine::settled() const
{
    return qMax(m_began, m_owed.settledAt());
}

qint64 QuietLine::lastHeard() const
{
    return qMax(qMax(m_began, m_owed.lastHeard()), m_pending);
}
