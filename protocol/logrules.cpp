#include "logrules.h"

char lastTextChar(const QByteArray &chunk)
{
    int end = chunk.size();
    while (end > 0 && (chunk[end - 1] == ' ' || chunk[end - 1] == '\r' || chunk[end - 1] == '\n'))
        --end;
    return end > 0 ? chunk[end - 1] : '\0';
}
