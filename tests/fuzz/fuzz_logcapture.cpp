// The end of a log dump told from arbitrary pieces and pauses: it ends once,
// complete only after the prompt as the last text (blanks, line ends and NULs
// are no text) and a silence after it, and at the latest once the line has
// been silent for the log's limit.
#include "steps.h"

#include "protocol/logcapture.h"

using End = LogCapture::End;

extern "C" int LLVMFuzzerTestOneInput(const quint8 *data, size_t size)
{
    Steps steps(data, size);
    LogCapture capture;
    qint64 now = 1000, heard = now, pendingAt = -1;
    char lastText = 0;
    capture.start(now);
    End ended = End::None;
    while (steps.more()) {
        now += steps.delay();
        const quint8 what = steps.byte();
        if (what & 1) {
            // The drivers hand in no empty reads.
            const QByteArray read = steps.bytes(), piece = read.isEmpty() ? QByteArray(1, char(what >> 1)) : read;
            capture.received(piece, now);
            heard = ended == End::None ? now : heard;
            for (const char c : piece)
                lastText = ended == End::None && !QByteArray(" \t\r\n", 5).contains(c) ? c : lastText;
        } else {
            // The driver's timer: due or not, with or without bytes held.
            const bool pending = what & 2;
            if (what & 4)
                now = qMax(now, capture.wakeAt());
            capture.wake(now, pending);
            const bool silentEnough = now - heard >= LogRules::giveUpSilenceMs
                    && (pendingAt < 0 || now - pendingAt >= LogRules::promptSilenceMs);
            FUZZ_CHECK(pending || !silentEnough || capture.end() != End::None);
            FUZZ_CHECK(capture.wakeAt() < 0 || capture.wakeAt() > now);
            pendingAt = pending ? now : pendingAt;
        }
        if (ended != End::None) {
            FUZZ_CHECK(capture.end() == ended && capture.wakeAt() == -1);
        } else if ((ended = capture.end()) != End::None) {
            FUZZ_CHECK(now - heard >= LogRules::promptSilenceMs && (ended != End::Complete || lastText == '>'));
        }
    }
    return 0;
}
