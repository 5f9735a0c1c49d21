#ifndef LOGPROMPT_H
#define LOGPROMPT_H

#include <QByteArray>

// The last character of a piece of the log other than blank, CR and LF; 0
// when it has none. The bytes so far end with the module's prompt when the
// last such character is '>'; a '>' anywhere else is log text.
char lastTextChar(const QByteArray &chunk);

#endif
