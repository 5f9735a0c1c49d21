#include "replyvalue.h"

QString outputSwitchCaption(const QString &value, const QString &current)
{
    switch (outputState(value)) {
    case OutputState::On: return QStringLiteral("关闭");
    case OutputState::Off: return QStringLiteral("开启");
    default: return current;
    }
}
