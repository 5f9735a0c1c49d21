#ifndef REPLYVALUE_H
#define REPLYVALUE_H

#include "protocol/replyvalue.h"

// Caption of the output switch for a reported "MOD:" value: "关闭" while the
// output is on, "开启" while it is off; the current caption otherwise.
QString outputSwitchCaption(const QString &value, const QString &current);

#endif
