#ifndef PROTOCOL_QUIETLINE_H
#define PROTOCOL_QUIETLINE_H

#include <QtGlobal>

// When a line counts as quiet: nothing has arrived for quietMs, and the wait
// itself is that old (an answer to a command written just before may still
// be on its way); bytes arrived but not yet read count as just arrived. A
// line that is not quiet by limitMs never will be (a module still dumping).
// Times are the driver's clock in ms.
class QuietLine
{
public:
    static constexpr int quietMs = 300;
    static constexpr int limitMs = 2000;
    enum class State { Waiting, Quiet, GaveUp };

    void begin(qint64 now);
    void arrived(qint64 now);
    void wake(qint64 now, bool bytesPending);
    State state() const { return m_state; }
    // When the state may change next; -1 once it is decided.
    qint64 wakeAt() const;

private:
    State m_state = State::Waiting;
    qint64 m_began = 0;
    qint64 m_last = 0;
};

#endif
