#include "replyvalue.h"

QString replyText(const QByteArray &chunk)
{
    const int nul = chunk.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? chunk : chunk.left(nul));
}

QString replyValue(const QString &text, const QString &key, bool *found)
{
    const int at = text.indexOf(key);
    *found = at >= 0;
    if (at < 0)
        return QString();
    const int colon = text.indexOf(QLatin1Char(':'), at);
    const int lineFeed = text.indexOf(QLatin1Char('\n'), colon);
    // A negative length (no line feed, or one right after the colon) makes
    // mid() return the rest of the text.
    return text.mid(colon + 2, lineFeed - colon - 3);
}

OutputState outputState(const QString &value)
{
    if (value.contains(QLatin1String("ON")))
        return OutputState::On;
    return value.contains(QLatin1String("OFF")) ? OutputState::Off : OutputState::Unknown;
}
