#ifndef CLI_PACING_H
#define CLI_PACING_H

// How the module is talked to outside an upload's blocks.
namespace Pace {
constexpr int commandGapMs = 100;  // between commands of a sequence, as the window sends them
constexpr int quietMs = 300;       // the answers are in once the line has been quiet this long
constexpr int quietLimitMs = 3000; // a line that keeps talking is waited for this long at most
}

#endif
