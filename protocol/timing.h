#ifndef PROTOCOL_TIMING_H
#define PROTOCOL_TIMING_H

#include "logrules.h"
#include "pacing.h"
#include "quietline.h"
#include "uploadmachine.h"
#include "uploadrules.h"

// Every time the programs wait for the module, in one list. Each is a guess
// about the module: the sweeps and both fault campaigns read this list and
// try the module's pace below, at and above every one of them.
namespace Timing {

struct Constant {
    const char *name;
    int ms;
    const char *decides;
};

constexpr Constant constants[] = {
    {"read", Upload::readGatherMs, "what the window hands on as one read of the module"},
    {"eot-gap", Pace::eotGapMs, "between the first and the second EOT"},
    {"command-gap", Pace::commandGapMs, "between the commands of a sequence"},
    {"quiet", QuietLine::quietMs, "silence that makes a line quiet before a transfer"},
    {"prompt-silence", LogRules::promptSilenceMs, "silence after the log's prompt that ends the log"},
    {"answer-limit", QuietLine::limitMs, "an answer owed longer than this is given up on"},
    {"cancel-wait", Upload::cancelWaitMs, "the module's answer to a cancel, before the cancel goes again"},
    {"silence", UploadSettings::commandLine().silenceLimitMs, "a silent module mid-upload (command line)"},
    {"log-silence", LogRules::giveUpSilenceMs, "a silent line during the log dump"},
};

// The module's pace as the campaigns and sweeps draw it: each range straddles
// the constants above that it can cross.
struct Range {
    const char *name;
    int minMs;
    int maxMs;
};

constexpr Range ranges[] = {
    {"reply-delay", 0, 1500},  // an answer late after its command
    {"log-gap", 0, 1000},      // a pause between the pieces of the log
    {"log-lines", 0, 1000},    // a pause after each line of the log, the last before its prompt
    {"prompt-delay", 0, 100},  // the farewell after the final EOT's ACK
    {"stall", 0, 30000},       // a reader of the command line's output that stops
};

} // namespace Timing

#endif
