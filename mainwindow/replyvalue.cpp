#include "replyvalue.h"

QString outputSwitchCaption(const QString &value, const QString &current)
{
    if (value.contains(QLatin1String("ON")))
        return QStringLiteral("关闭");
    if (value.contains(QLatin1String("OFF")))
        return QStringLiteral("开启");
    return current;
}
