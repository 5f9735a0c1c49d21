#ifndef LOGRULES_H
#define LOGRULES_H

// How a log dump is asked for and how its end is told (LogCapture).
namespace LogRules {
// "dump logtext" goes out on a quiet line only (QuietLine), so that late
// answers to earlier commands are not taken as log.
// After the module's prompt the line must stay silent this long: a line of
// the log may begin with '>' and a read may end right after it.
constexpr int promptSilenceMs = 300;
// A line silent this long during the dump ends it as incomplete.
constexpr int giveUpSilenceMs = 15000;
}

#endif
