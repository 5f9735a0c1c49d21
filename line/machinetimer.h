#ifndef MACHINETIMER_H
#define MACHINETIMER_H

#include <QElapsedTimer>
#include <QTimer>

#include <functional>

// The clock a protocol machine is fed and the one timer that wakes it, the
// same for every driver in both programs: now() counts ms from construction
// or restart(), wakeAt() arms the timer for that time of the clock (-1: not
// at all). Precise: a coarse timer may fire 5 % early, 750 ms short of a
// 15 s limit.
class MachineTimer
{
public:
    explicit MachineTimer(std::function<void()> onWake);
    void restart() { m_clock.start(); }
    qint64 now() const { return m_clock.elapsed(); }
    void wakeAt(qint64 at);
    void stop() { m_timer.stop(); }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
};

#endif
