#include "controlvalues.h"

#include <climits>
#include <cmath>

bool dacValueAccepted(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    // In double precision: single precision rounds 8.99999999 up to 9.
    const double value = text.toDouble();
    return !std::isnan(value) && value >= 9.0 && value <= 31.5;
}

int cyclePeriodMs(const QString &seconds)
{
    const uint count = seconds.toUInt(nullptr, 10);
    if (count == 0)
        return 10000;
    const qint64 ms = qint64(count) * 1000;
    return ms > INT_MAX ? INT_MAX : int(ms);
}
