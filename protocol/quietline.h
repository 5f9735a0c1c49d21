#ifndef PROTOCOL_QUIETLINE_H
#define PROTOCOL_QUIETLINE_H

#include <QtGlobal>

class OwedAnswers;

// Whether a transfer may take the line: nothing is owed any more (each
// command answered or given up on, OwedAnswers), and then nothing has come
// for quietMs, the wait itself that old too. Bytes arrived but not yet read
// count as just arrived. A line that is not quiet limitMs after the last owed
// answer has settled never will be (a module still dumping). Times are the
// driver's clock in ms, the same the ledger is fed.
class QuietLine
{
public:
    static constexpr int quietMs = 300;
    static constexpr int limitMs = 2000;
    enum class State { Waiting, Quiet, GaveUp };

    explicit QuietLine(const OwedAnswers &owed) : m_owed(owed) {}
    void begin(qint64 now);
    void wake(qint64 now, bool bytesPending);
    State state() const { return m_state; }
    // When the state may change next, as the ledger stands; -1 once it is
    // decided. An answer arriving may bring it forward.
    qint64 wakeAt() const;

private:
    qint64 settled() const;
    qint64 lastHeard() const;

    const OwedAnswers &m_owed;
    State m_state = State::Waiting;
    qint64 m_began = 0;
    qint64 m_pending = -1;
};

#endif
