#ifndef LOGPROMPT_H
#define LOGPROMPT_H

#include <QByteArray>

// Whether a chunk of the log dump ends with the module's prompt: its last
// character other than blank, CR and LF is '>'. A '>' anywhere else is log text.
bool endsWithPrompt(const QByteArray &chunk);

#endif
