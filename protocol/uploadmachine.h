#ifndef PROTOCOL_UPLOADMACHINE_H
#define PROTOCOL_UPLOADMACHINE_H

#include "uploadrules.h"

#include <QByteArrayList>
#include <QList>

#include <utility>

// One XMODEM-1K upload to the module, without I/O: it never writes, waits
// or reads a clock. How a driver uses it:
//
//   UploadMachine m(Upload::data, fileBytes, UploadSettings::window());
//   m.start(now);                         // once the line is quiet and the line is the upload's
//   on each read:      m.received(bytes, now);
//   when wakeAt() due: m.wake(now, bytesPending); // module bytes waiting unread?
//   operator's cancel: m.cancel(now);     // before start() too: then nothing goes out
//   line gone:         m.lineLost();
//   line given up by the operator while running(): lineLost() first, then
//                      the driver writes Upload::cancel() itself, so that no
//                      read handled meanwhile sends a block behind it.
//   after every call:  write each of takeWrites() in order, as separate writes;
//                      show takeEvents() (counts: blocksTaken(), naks(), ...);
//                      (re)arm one timer for wakeAt() (-1: none);
//                      once ended(): end() says how; with loadDue() the driver
//                      writes Cmd::loadAfterData() Pace::loadGapMs apart (the
//                      window after its box, the command line at once).
//
// Times are the driver's clock in ms. The request, the blocks on 'C', NAK
// and ACK, the two EOTs, the farewell judged by its prompt's position, the
// module's cancel, the tool's cancel and its repeat and the limits are all
// here; what differs between the programs by design is UploadSettings. No
// verdict depends on how the module's bytes are cut into reads.
struct UploadSettings {
    int nakLimit = 0;       // NAKs of one block in a row that give up (by the cancel); 0: no limit
    int silenceLimitMs = 0; // a module silent this long mid-upload is given up (by the cancel); 0: no limit
    // A cancel once every block is taken waits Upload::cancelWaitMs for the
    // module's verdict before the module is told to leave receive mode.
    bool cancelAwaitsVerdict = false;
    // A cancel while the first is unanswered ends the upload at once (the
    // five CAN sent again either way).
    bool cancelAgainEnds = false;

    static constexpr UploadSettings window() { return {}; }
    static constexpr UploadSettings commandLine() { return {10, 10000, true, true}; }
};

class UploadMachine
{
public:
    enum class Event { Started, BlockTaken, Resend, Ended };
    // Done: the prompt where the target wants it, every byte acknowledged.
    // FarewellRefused: the farewell's prompt at a position that is no success.
    // ModuleCancelled: the module's two CAN. These are the module's verdicts;
    // every other end but Lost goes through the cancel procedure first, so
    // that the module leaves receive mode:
    // PromptBeforeBlocks: a prompt instead of the module's 'C'.
    // LeftReceiveMode: a prompt while blocks flowed.
    // NakLimit, Silence, Cancelled: too many NAKs, a silent module, the operator.
    enum class End { None, Done, PromptBeforeBlocks, LeftReceiveMode, FarewellRefused, NakLimit, Silence, Cancelled,
                     ModuleCancelled, Lost };

    UploadMachine(const UploadTarget &target, const QByteArray &data, const UploadSettings &settings);

    void start(qint64 now);
    void received(const QByteArray &bytes, qint64 now);
    // bytesPending: module bytes wait unread; no silence is judged then.
    void wake(qint64 now, bool bytesPending);
    void cancel(qint64 now);
    void lineLost();

    QByteArrayList takeWrites() { return std::exchange(m_writes, {}); }
    QList<Event> takeEvents() { return std::exchange(m_events, {}); }
    qint64 wakeAt() const;

    // Started and not ended: the module may be in receive mode.
    bool running() const { return m_phase != Phase::Idle && m_phase != Phase::Ended; }
    bool ended() const { return m_phase == Phase::Ended; }
    // The module has been told to leave receive mode and its answer is awaited.
    bool cancelling() const { return m_phase == Phase::Cancelling; }
    End end() const { return m_end; }
    // done, failed, cancelled, module-cancelled, timeout, lost; empty while running.
    const char *result() const;
    bool loadDue() const { return m_end == End::Done && m_target.loadAfter; }
    // Ended by the cancel procedure: whether the module answered the cancel.
    bool cancelAnswered() const { return m_answered; }
    int promptPosition() const { return m_prompt; } // in the farewell; -1: none yet

    int blocksTaken() const { return m_blocks; }
    int bytesTaken() const { return m_offset; }
    int naks() const { return m_naks; }
    int blockTotal() const;

private:
    enum class Phase { Idle, Requesting, Sending, Ending, Cancelling, Ended };
    void blockRead(const QByteArray &bytes, qint64 now);
    void farewellRead(const QByteArray &bytes);
    void sendBlock();
    void judgeFarewell();
    void giveUp(End end, qint64 now);
    void finish(End end);

    const UploadTarget &m_target;
    const QByteArray m_data;
    const UploadSettings m_settings;
    Phase m_phase = Phase::Idle;
    QByteArrayList m_writes;
    QList<Event> m_events;
    End m_end = End::None;
    End m_givingUp = End::None; // how the cancel procedure under way ends
    bool m_answered = false;
    int m_prompt = -1;
    quint8 m_blockNo = 0;
    // File bytes acknowledged and in the block on its way; blocks taken; NAKs in all and of this block.
    int m_offset = 0, m_lastLength = 0, m_blocks = 0, m_naks = 0, m_naksInRow = 0;
    int m_cans = 0; // CAN in a row from the module, across reads
    bool m_secondEot = false;
    // Farewell bytes so far, its leading ACK included; whether it led with one.
    qint64 m_farewellBytes = 0;
    bool m_farewellAck = false;
    // Deadlines, -1 when not set.
    qint64 m_secondEotAt = -1, m_silentAt = -1, m_verdictDueAt = -1, m_cancelDueAt = -1;
};

#endif
