#include "globals.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

void delayMs(int ms)
{
    if (ms <= 0)
        return;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
    // A timer may fire a fraction of a millisecond early; wait out the rest.
    for (qint64 left = ms; left > 0; left = ms - clock.elapsed()) {
        wake.start(int(left));
        loop.exec();
    }
}
