#include "owedanswers.h"

#include "commands.h"
#include "quietline.h"

namespace {
// Key lines are short; a longer line is kept by its head only, so that a
// module sending without line feeds costs no memory.
constexpr int lineHeadBytes = 256;
}

void OwedAnswers::wrote(const QByteArray &bytes, qint64 now)
{
    giveUp(now);
    // A command is written whole; a block of an upload is never taken for one.
    const QByteArrayList keys = Cmd::answerKeys(bytes);
    if (!keys.isEmpty())
        m_owed.append({now, keys});
}

void OwedAnswers::received(const QByteArray &bytes, qint64 now)
{
    if (bytes.isEmpty())
        return;
    heard(now);
    // An answer that comes after its limit settles nothing: that command has
    // been given up on, and a later one waiting for the same key is not
    // answered by it.
    giveUp(now);
    for (const char c : bytes) {
        if (c == '\n') {
            lineEnded(now);
            m_line.clear();
        } else if (m_line.size() < lineHeadBytes) {
            m_line += c;
        }
    }
}

void OwedAnswers::heard(qint64 now)
{
    m_heard = qMax(m_heard, now);
}

void OwedAnswers::lineEnded(qint64 now)
{
    for (int i = 0; i < m_owed.size(); ++i) {
        QByteArrayList &keys = m_owed[i].keys;
        for (int k = 0; k < keys.size(); ++k) {
            if (!m_line.contains(keys.at(k)))
                continue;
            keys.removeAt(k);
            if (keys.isEmpty()) {
                m_owed.removeAt(i);
                m_settled = qMax(m_settled, now);
            }
            return; // one line answers one command
        }
    }
}

void OwedAnswers::giveUp(qint64 now)
{
    while (!m_owed.isEmpty() && m_owed.constFirst().since + QuietLine::limitMs <= now)
        m_settled = qMax(m_settled, m_owed.takeFirst().since + QuietLine::limitMs);
}

qint64 OwedAnswers::settledAt() const
{
    qint64 at = m_settled;
    for (const Owed &owed : m_owed)
        at = qMax(at, owed.since + QuietLine::limitMs);
    return at;
}
