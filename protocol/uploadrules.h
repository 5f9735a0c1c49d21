#ifndef UPLOADRULES_H
#define UPLOADRULES_H

#include <QByteArray>
#include <QtGlobal>

// How an upload to the module goes and how its replies are judged: the same
// for every program that uploads.
struct UploadTarget {
    const char *command;                   // puts the module in receive mode
    bool (*promptMeansDone)(int position); // the module's '>' at this index of its farewell
    bool loadAfter;                        // "KEY 1" and "LOADDAC" after a complete upload
};

namespace Upload {
// The farewell is every byte the module sends after the final block's ACK,
// one leading ACK (the first EOT's) left out, up to its prompt '>'.
extern const UploadTarget firmware; // the prompt within the first ten bytes
extern const UploadTarget data;     // the prompt at index 32 or 33: joined to the EOT's ACK, or after a pause

// What the module's bytes before any '>' or cancel say about the blocks; the
// first that applies wins: 'C' before the blocks flow starts them, NAK asks
// for the block again, ACK (once they flow) takes it.
enum class Reply { None, Start, Resend, Ack };
Reply blockReply(const QByteArray &bytes, bool blocksFlowing);

// The module's cancel: this many CAN in a row, counted across reads; fewer
// are noise on the line.
constexpr int moduleCancelCans = 2;

// The window hands on what arrives within this long of a read's first byte
// as one read; no verdict depends on it.
constexpr int readGatherMs = 20;

// The largest file whose bytes an upload can count (block numbers and
// offsets stay within an int).
constexpr qint64 maxFileSize = qint64(2047) * 1024 * 1024;
// After the tool's cancel the module answers with its prompt; one that does
// not is given up on this much later.
constexpr int cancelWaitMs = 3000;
// The five CAN bytes that tell the module to leave receive mode.
QByteArray cancel();
}

#endif
