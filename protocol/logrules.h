#ifndef LOGRULES_H
#define LOGRULES_H

#include <QByteArray>

// How a log dump is asked for and how its end is told (LogCapture).
namespace LogRules {
// "dump logtext" goes out on a quiet line only (QuietLine), so that late
// answers to earlier commands are not taken as log.
// After the module's prompt the line must stay silent this long: a '>'
// inside the log text may end a read by chance.
constexpr int promptSilenceMs = 300;
// A line silent this long during the dump ends it as incomplete.
constexpr int giveUpSilenceMs = 15000;
}

// The last character of a piece of the log other than blank, CR and LF; 0
// when it has none. The bytes so far end with the module's prompt when the
// last such character is '>'; a '>' anywhere else is log text.
char lastTextChar(const QByteArray &chunk);

#endif
