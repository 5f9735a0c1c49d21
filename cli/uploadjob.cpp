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
        // Out of receive mode before the line is given up.
        if (m_stage == Stage::Requesting || m_stage == Stage::Sending)
            this->session.write(Upload::cancel());
        end("timeout", Exit::NotDone, QString("the module was silent for %1 s in the middle of the upload").arg(silenceLimitMs / 1000));
    });
}

void UploadJob::start()
{
    // The versions before; the line must then be quiet, or a late answer
    // would be taken for the module's request for blocks.
    session.ask(Cmd::singleQuery(), [this](bool quiet) {
        if (!m_reader.answered())
            return session.finish(Exit::NotDone, QStringLiteral("no answer from the module; nothing uploaded"));
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
        m_farewell += bytes;
        judgeFarewell();
        break;
    case Stage::Cancelling:
        if (Upload::promptPosition(replyText(bytes)) >= 0)
            end("cancelled", Exit::Interrupted, QStringLiteral("interrupted; the module left receive mode"));
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
        if (++m_naksInRow >= naksLimit) {
            session.write(Upload::cancel());
            return end("failed", Exit::NotDone, QString("the module refused block %1 %2 times in a row").arg(m_blocks + 1).arg(naksLimit));
        }
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
        m_farewell.clear();
        session.write(QByteArray(1, Xmodem::EOT));
        session.after(eotGapMs, [this] {
            session.write(QByteArray(1, Xmodem::EOT));
            m_secondEot = true;
            judgeFarewell();
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

// The module's prompt, counted from the first byte it sent after the end of
// the transfer, says whether it took the upload whole.
void UploadJob::judgeFarewell()
{
    const int position = Upload::promptPosition(replyText(m_farewell));
    if (!m_secondEot || position < 0 || m_stage != Stage::Ending)
        return;
    if (!m_file.target->promptMeansDone(position))
        return end("failed", Exit::NotDone,
                   QString("the module's prompt came at position %1 of its answer: it did not take the upload").arg(position));
    m_transferMs = m_clock.elapsed();
    progress(true);
    m_stage = Stage::Loading;
    session.writePaced(m_file.target->loadAfter ? Cmd::loadAfterData() : QByteArrayList(), loadGapMs,
                       m_file.target->loadAfter ? loadGapMs : 0, [this] { completed(); });
}

void UploadJob::completed()
{
    m_stage = Stage::After;
    m_silence.stop();
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
    case Stage::Ending:
        // The module is told to leave receive mode and gets a moment to say so.
        m_stage = Stage::Cancelling;
        m_silence.stop();
        session.write(Upload::cancel());
        session.after(Upload::cancelWaitMs, [this] {
            end("cancelled", Exit::Interrupted, QStringLiteral("interrupted; the module did not answer the cancel"));
        });
        return;
    case Stage::Cancelling:
        return end("cancelled", Exit::Interrupted, QStringLiteral("interrupted"));
    case Stage::Loading:
    case Stage::After:
        return end("done", Exit::Interrupted, QStringLiteral("interrupted after the upload was done"));
    }
}

void UploadJob::lost(const QString &why)
{
    if (m_stage == Stage::Before)
        return session.finish(Exit::Port, why + "; nothing uploaded");
    end(m_stage == Stage::Loading || m_stage == Stage::After ? "done" : "lost", Exit::Port, why);
}

void UploadJob::end(const char *result, int code, const QString &message)
{
    if (session.ended())
        return;
    m_silence.stop();
    session.out().progressEnded(session.port());
    const double seconds = (m_transferMs >= 0 ? m_transferMs : m_clock.elapsed()) / 1000.0;
    const bool done = qstrcmp(result, "done") == 0;
    QJsonObject event{{"event", "upload"}, {"port", session.port()}, {"kind", m_file.kind}, {"file", m_file.path},
                      {"size", m_file.data.size()}, {"sha256", m_file.sha256}, {"result", result},
                      {"blocks", m_blocks}, {"naks", m_naks}, {"seconds", qRound(seconds * 1000) / 1000.0},
                      {"rate", seconds > 0 ? qRound(m_offset / seconds) : 0}, {"before", m_before},
                      {"after", done && !m_after.isEmpty() ? QJsonValue(m_after) : QJsonValue()}};
    QString text = QString("%1: %2 upload of %3 (%4 bytes): %5, %6 blocks, %7 NAKs, %8 s, %9 B/s")
                       .arg(session.port(), m_file.kind, m_file.path).arg(m_file.data.size()).arg(QLatin1String(result))
                       .arg(m_blocks).arg(m_naks).arg(seconds, 0, 'f', 1).arg(event.value("rate").toInt());
    if (done && !m_after.isEmpty())
        text += QString("\n%1: before: %2\n%1: after:  %3").arg(session.port(), statusText(m_before, queriedValues), statusText(m_after, queriedValues));
    session.out().result(event, text);
    QString why;
    QJsonObject line = event;
    line.insert(QStringLiteral("time"), utcNow());
    if (!m_record.append(line, &why)) {
        session.out().error(session.port(), Exit::BadInput, why);
        code = qMax(code, int(Exit::BadInput));
    }
    session.finish(code, message);
}
