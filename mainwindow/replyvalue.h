#ifndef REPLYVALUE_H
#define REPLYVALUE_H

#include <QByteArray>
#include <QString>

// The text of a received chunk: its bytes up to the first NUL, as UTF-8.
QString replyText(const QByteArray &chunk);

// The value of the first line carrying key, cut by position: from two
// characters after the key's colon to the character before the line feed
// (the CR of CR LF); the rest of the text when no line feed follows.
// Sets *found to false and returns an empty string when the key is absent.
QString replyValue(const QString &text, const QString &key, bool *found);

// Caption of the output switch for a reported "MOD:" value: "关闭" while the
// output is on, "开启" while it is off; the current caption otherwise.
QString outputSwitchCaption(const QString &value, const QString &current);

#endif
