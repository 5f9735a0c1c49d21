#ifndef PROTOCOL_PACING_H
#define PROTOCOL_PACING_H

// The gaps the module needs between what it is sent.
namespace Pace {
constexpr int commandGapMs = 100; // between the commands of a sequence
constexpr int loadGapMs = 20;     // between the two commands of the load after data, and after the last
constexpr int eotGapMs = 10;      // between the first and the second EOT
}

#endif
