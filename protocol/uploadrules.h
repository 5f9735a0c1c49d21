#ifndef UPLOADRULES_H
#define UPLOADRULES_H

#include <QString>
#include <QtGlobal>

// How an upload to the module goes and how its replies are judged: the same
// for every program that uploads.
struct UploadTarget {
    const char *command;                   // puts the module in receive mode
    bool (*promptMeansDone)(int position); // the module's '>' at this index of its farewell
    bool loadAfter;                        // "KEY 1" and "LOADDAC" after a complete upload
};

namespace Upload {
extern const UploadTarget firmware; // the prompt within the first ten characters
extern const UploadTarget data;     // the prompt exactly at index 33

// What one read of the module says about the blocks; the first that applies
// wins: 'C' before the blocks flow starts them, CAN is the module's cancel,
// NAK asks for the block again, ACK (once they flow) takes it.
enum class Reply { None, Start, Cancel, Resend, Ack };
Reply blockReply(const QString &text, bool blocksFlowing);

// One read of the module is what arrives within this long of its first
// byte; the prompt's position is counted within the read that holds it.
constexpr int readGatherMs = 20;

// Index of the module's prompt '>' in a read; -1 without one.
int promptPosition(const QString &text);

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
