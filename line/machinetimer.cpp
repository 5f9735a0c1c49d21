#include "machinetimer.h"

MachineTimer::MachineTimer(std::function<void()> onWake)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, std::move(onWake));
}

void MachineTimer::wakeAt(qint64 at)
{
    if (at < 0)
        m_timer.stop();
    else
        m_timer.start(int(qMax<qint64>(0, at - now())));
}
