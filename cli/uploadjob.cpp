#include "uploadjob.h"

#include "exitcodes.h"
#include "output.h"
#include "pacing.h"
#include "record.h"
#include "protocol/commands.h"
#include "protocol/replyvalue.h"
#include "protocol/uploadrules.h"
#include "protocol/xmodem.h"

#include <QJsonDocument>

using namespace Pace;

namespace {
constexpr int eotGapMs = 10, loadGapMs = 20;
// A module silent this long mid-upload has gone; one that refuses a block
// this often in a row will not take it.
constexpr int silenceLimitMs = 10000, naksLimit = 10;
constexpr int progressEveryMs = 250;

QString clock(qint64 seconds)
{
    return QString("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

UploadJob::UploadJob(Session &session, const UploadFile &file, const Record &record)
    : Job(session)
    , m_file(file)
    , m_record(record)
{
    m_silence.setSingleShot(true);
    m_silence.setInterval(silenceLimitMs);
    QObject::connect(&m_silence, &QTimer::timeout, &session, [this] {
        giveUp("timeout", Exit::NotDone, QString("the module was silent for %1 s in the middle of the upload").arg(silenceLimitMs / 1000));
    });
    m_readCut.setSingleShot(true);
    m_readCut.setTimerType(Qt::PreciseTimer);
    m_readCut.setInterval(Upload::readGatherMs);
    QObject::connect(&m_readCut, &QTimer::timeout, &session, [this] { judgeFarewell(); });
}

void UploadJob::start()
{
    // The versions before; the line must then be quiet, or a late answer
    // would be taken for the module's request for blocks.
    session.ask(Cmd::singleQuery(), [this](bool quiet) {
        if (!m_reader.answered())
            return session.finish(Exit::NotDone, m_reader.whyUnanswered() + "; nothing uploaded");
        if (!quiet)
            return session.finish(Exit::NotDone, QStringLiteral("the module did not stop talking; nothing uploaded"));
        m_before = m_reader.values();
        m_stage = Stage::Requesting;
        m_clock.start();
        m_silence.start();
        session.write(m_file.target->command);
    });
}

void UploadJob::received(const QByteArray &bytes)
{
    switch (m_stage) {
    case Stage::Before:
    case Stage::After:
        m_reader.add(bytes);
        break;
    case Stage::Requesting:
    case Stage::Sending:
        m_silence.start();
        blockReply(bytes);
        break;
    case Stage::Ending:
        m_silence.start();
        farewellRead(bytes);
        break;
    case Stage::Cancelling:
        // The module's prompt says it has left receive mode; the end waits in giveUp().
        if (Upload::promptPosition(replyText(bytes)) >= 0)
            m_afterCancel(true);
        break;
    case Stage::Loading:
        break;
    }
}

void UploadJob::blockReply(const QByteArray &bytes)
{
    const QString text = replyText(bytes);
    switch (Upload::blockReply(text, m_stage == Stage::Sending)) {
    case Upload::Reply::Start:
        m_stage = Stage::Sending;
        m_blockNo = 1;
        sendBlock();
        return;
    case Upload::Reply::Cancel:
        return end("module-cancelled", Exit::NotDone, QString("the module cancelled the upload after %1 blocks").arg(m_blocks));
    case Upload::Reply::Resend:
        ++m_naks;
        if (++m_naksInRow >= naksLimit)
            return giveUp("failed", Exit::NotDone, QString("the module refused block %1 %2 times in a row").arg(m_blocks + 1).arg(naksLimit));
        sendBlock();
        return;
    case Upload::Reply::Ack:
        m_naksInRow = 0;
        m_offset += m_lastLength;
        ++m_blocks;
        progress(false);
        if (m_offset < m_file.data.size()) {
            ++m_blockNo;
            sendBlock();
            return;
        }
        m_stage = Stage::Ending;
        m_read.clear();
        session.write(QByteArray(1, Xmodem::EOT));
        session.after(eotGapMs, [this] {
            if (m_stage != Stage::Ending)
                return;
            session.write(QByteArray(1, Xmodem::EOT));
            m_secondEot = true;
            if (!m_readCut.isActive())
                judgeFarewell(); // a read that ended before this EOT went out
        });
        return;
    case Upload::Reply::None:
        break;
    }
    if (Upload::promptPosition(text) < 0)
        return;
    if (m_stage == Stage::Requesting)
        return end("failed", Exit::NotDone, QStringLiteral("the module answered with its prompt instead of asking for blocks"));
    end("failed", Exit::NotDone, QString("the module left receive mode after %1 of %2 blocks")
        .arg(m_blocks).arg((m_file.data.size() + Xmodem::DataSize - 1) / Xmodem::DataSize));
}

void UploadJob::sendBlock()
{
    m_lastLength = qMin(m_file.data.size() - m_offset, Xmodem::DataSize);
    session.write(xmodemBlock(m_blockNo, m_file.data.mid(m_offset, m_lastLength)));
}

// After the end of the transfer the module's bytes are taken in reads, as
// the window reads them: what arrives within a moment of a read's first byte.
void UploadJob::farewellRead(const QByteArray &bytes)
{
    if (!m_readCut.isActive() && m_read.isEmpty())
        m_readCut.start();
    m_read += bytes;
}

// The module's prompt, counted within the read that holds it (the ACK of the
// EOT included when it came in the same read), says whether it took the
// upload whole; a read without the prompt leaves the verdict to the next.
void UploadJob::judgeFarewell()
{
    if (!m_secondEot || m_stage != Stage::Ending || m_read.isEmpty())
        return;
    const int position = Upload::promptPosition(replyText(std::exchange(m_read, QByteArray())));
    if (position < 0)
        return;
    if (!m_file.target->promptMeansDone(position))
        return end("failed", Exit::NotDone,
                   QString("the module's prompt came at position %1 of its answer: it did not take the upload").arg(position));
    m_transferMs = m_clock.elapsed();
    progress(true);
    // The module holds the upload: the load after data goes out whatever
    // interrupts meanwhile, or the module would keep the old waveform.
    m_stage = Stage::Loading;
    m_silence.stop();
    session.writePaced(m_file.target->loadAfter ? Cmd::loadAfterData() : QByteArrayList(), loadGapMs,
                       m_file.target->loadAfter ? loadGapMs : 0, [this] { completed(); });
}

void UploadJob::giveUp(const char *result, int code, const QString &message)
{
    m_stage = Stage::Cancelling;
    m_silence.stop();
    m_readCut.stop();
    m_afterCancel = [this, result, code, message](bool answered) {
        end(result, code, message + (answered ? QStringLiteral("; the module left receive mode")
                                              : QStringLiteral("; the module did not answer the cancel, sent once more")));
    };
    session.write(Upload::cancel());
    session.after(Upload::cancelWaitMs, [this] {
        // The line may have lost the first.
        session.write(Upload::cancel());
        m_afterCancel(false);
    });
}

void UploadJob::completed()
{
    if (m_interruptPending)
        return end("done", Exit::Interrupted, QStringLiteral("interrupted after the upload was done"));
    m_stage = Stage::After;
    m_reader.clear();
    session.ask(Cmd::singleQuery(), [this](bool) {
        m_after = m_reader.values();
        end("done", Exit::Done);
    });
}

void UploadJob::progress(bool force)
{
    const qint64 ms = m_clock.elapsed();
    if (!force && m_lastProgress >= 0 && ms - m_lastProgress < progressEveryMs)
        return;
    m_lastProgress = ms;
    const int size = m_file.data.size();
    const int total = (size + Xmodem::DataSize - 1) / Xmodem::DataSize;
    const double rate = ms > 0 ? m_offset * 1000.0 / ms : 0;
    const int percent = int(qint64(m_offset) * 100 / size);
    const QJsonObject event{{"event", "progress"}, {"port", session.port()}, {"blocks", m_blocks}, {"total", total},
                            {"bytes", m_offset}, {"size", size}, {"percent", percent}, {"rate", qRound(rate)}};
    const QString left = rate > 0 ? ", " + clock(qint64((size - m_offset) / rate)) + " left" : QString();
    session.out().progress(session.port(), event,
                           QString("%1: block %2 of %3, %4 %, %5 B/s%6").arg(m_file.kind).arg(m_blocks).arg(total)
                               .arg(percent).arg(qRound(rate)).arg(left));
}

void UploadJob::interrupted()
{
    switch (m_stage) {
    case Stage::Before:
        return session.finish(Exit::Interrupted, QStringLiteral("interrupted before the upload began; nothing uploaded"));
    case Stage::Requesting:
    case Stage::Sending:
        return giveUp("cancelled", Exit::Interrupted, QStringLiteral("interrupted"));
    case Stage::Ending:
        // Every block is taken and the module's verdict is due: it is awaited
        // a while, and the module is told to leave receive mode only if it
        // does not come.
        m_interruptPending = true;
        session.after(Upload::cancelWaitMs, [this] {
            if (m_stage == Stage::Ending)
                giveUp("cancelled", Exit::Interrupted,
                       QStringLiteral("interrupted after the module had taken every block, without its verdict"));
        });
        return;
    case Stage::Cancelling:
        session.write(Upload::cancel());
        return end("cancelled", Exit::Interrupted, QStringLiteral("interrupted again; the cancel sent once more"));
    case Stage::Loading:
        m_interruptPending = true;
        return;
    case Stage::After:
        return end("done", Exit::Interrupted, QStringLiteral("interrupted after the upload was done"));
    }
}

void UploadJob::lost(const QString &why)
{
    if (m_stage == Stage::Before)
        return session.finish(Exit::Port, why + "; nothing uploaded");
    // Done only once the load after data has gone out.
    end(m_stage == Stage::After ? "done" : "lost", Exit::Port, why);
}

void UploadJob::end(const char *result, int code, const QString &message)
{
    if (session.ended())
        return;
    if (m_interruptPending)
        code = qMax(code, int(Exit::Interrupted));
    m_silence.stop();
    m_readCut.stop();
    session.out().progressEnded(session.port());
    const double seconds = (m_transferMs >= 0 ? m_transferMs : m_clock.elapsed()) / 1000.0;
    const bool done = qstrcmp(result, "done") == 0;
    QJsonObject event{{"event", "upload"}, {"port", session.port()}, {"kind", m_file.kind}, {"file", m_file.path},
                      {"size", m_file.data.size()}, {"sha256", m_file.sha256}, {"result", result},
                      {"blocks", m_blocks}, {"naks", m_naks}, {"seconds", qRound(seconds * 1000) / 1000.0},
                      {"rate", seconds > 0 ? qRound(m_offset / seconds) : 0}, {"before", m_before},
                      {"after", done && !m_after.isEmpty() ? QJsonValue(m_after) : QJsonValue()}};
    // Names as given joined, never substituted: a '%1' in a file name stays as it is.
    QString text = session.port() + ": " + m_file.kind + " upload of " + m_file.path + " ("
                 + QString::number(m_file.data.size()) + " bytes): " + QLatin1String(result) + ", "
                 + QString("%1 blocks, %2 NAKs, %3 s, %4 B/s").arg(m_blocks).arg(m_naks).arg(seconds, 0, 'f', 1)
                       .arg(event.value("rate").toInt());
    if (done && !m_after.isEmpty())
        text += QString("\n%1: before: %2\n%1: after:  %3").arg(session.port(), statusText(m_before, queriedValues), statusText(m_after, queriedValues));
    session.out().result(event, text);
    QString why;
    QJsonObject line = event;
    line.insert(QStringLiteral("time"), utcNow());
    if (!m_record.append(line, &why)) {
        session.out().error(session.port(), Exit::NotRecorded, why);
        code = qMax(code, int(Exit::NotRecorded));
    }
    session.finish(code, message);
}
