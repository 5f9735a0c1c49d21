#ifndef PROTOCOL_LOGCAPTURE_H
#define PROTOCOL_LOGCAPTURE_H

#include <QByteArray>

// Tells the end of a log dump from what arrives and from silence: the
// module's prompt, a '>' that begins a line (or the dump) and is the last
// text so far, then promptSilenceMs of silence, ends it complete;
// giveUpSilenceMs of silence ends it incomplete. Blanks, TAB, NUL and line
// ends are no text; a '>' within or at the end of a line of text is log.
// The driver saves every byte itself, also after the end. Times are the
// driver's clock in ms.
class LogCapture
{
public:
    enum class End { None, Complete, Incomplete };

    void start(qint64 now); // the dump has been asked for
    void received(const QByteArray &bytes, qint64 now);
    // Bytes the driver holds but has not handed in yet break the silence.
    void wake(qint64 now, bool bytesPending);
    // When the end may come; -1 once it has.
    qint64 wakeAt() const { return m_end == End::None ? m_deadline : -1; }
    End end() const { return m_end; }

private:
    End m_end = End::None;
    bool m_atLineStart = true; // the next byte begins a line
    bool m_promptLast = false;  // the last text is a prompt
    qint64 m_deadline = -1;
};

#endif
