#include "line.h"

#include "networkline.h"
#include "serialline.h"

std::unique_ptr<Line> makeLine(const QString &given)
{
    NetAddress address;
    QString why;
    if (isNetworkAddress(given) && parseNetAddress(given, &address, &why))
        return std::make_unique<NetworkLine>(address);
    return std::make_unique<SerialLine>(given);
}
