#include "uploadjob.h"

#include "exitcodes.h"
#include "line.h"
#include "output.h"
#include "record.h"
#include "protocol/commands.h"
#include "protocol/pacing.h"

#include <QJsonDocument>

namespace {
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
    , m_machine(*file.target, file.data, UploadSettings::commandLine())
    , m_wake([this] {
        m_machine.wake(m_wake.now(), this->session.line()->bytesWaiting());
        drive();
    })
{
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
        m_stage = Stage::Transfer;
        m_wake.restart();
        m_machine.start(0);
        drive();
    });
}

void UploadJob::received(const QByteArray &bytes)
{
    if (m_stage == Stage::Transfer) {
        m_machine.received(bytes, m_wake.now());
        drive();
    } else if (m_stage != Stage::Loading) {
        m_reader.add(bytes);
    }
}

void UploadJob::drive()
{
    for (const QByteArray &bytes : m_machine.takeWrites())
        session.write(bytes);
    const QList<UploadMachine::Event> events = m_machine.takeEvents();
    if (events.contains(UploadMachine::Event::BlockTaken))
        progress(false);
    if (events.contains(UploadMachine::Event::Ended))
        return transferEnded();
    m_wake.wakeAt(m_machine.wakeAt());
}

void UploadJob::transferEnded()
{
    m_wake.stop();
    if (m_machine.end() != UploadMachine::End::Done)
        return end(m_machine.result(), m_machine.end() == UploadMachine::End::Lost ? Exit::Port : Exit::NotDone, whyEnded());
    m_transferMs = m_wake.now();
    progress(true);
    // The module holds the upload: the load after data goes out whatever
    // interrupts meanwhile, or the module would keep the old waveform.
    m_stage = Stage::Loading;
    const bool load = m_machine.loadDue();
    session.writePaced(load ? Cmd::loadAfterData() : QByteArrayList(), Pace::loadGapMs, load ? Pace::loadGapMs : 0,
                       [this] { completed(); });
}

QString UploadJob::whyEnded() const
{
    using End = UploadMachine::End;
    const UploadMachine &m = m_machine;
    QString why;
    switch (m.end()) {
    case End::ModuleCancelled:
        return QString("the module cancelled the upload after %1 blocks").arg(m.blocksTaken());
    case End::PromptBeforeBlocks:
        return QStringLiteral("the module answered with its prompt instead of asking for blocks");
    case End::LeftReceiveMode:
        return QString("the module left receive mode after %1 of %2 blocks").arg(m.blocksTaken()).arg(m.blockTotal());
    case End::FarewellRefused:
        return QString("the module's prompt came at position %1 of its farewell: it did not take the upload").arg(m.promptPosition());
    case End::NakLimit:
        why = QString("the module refused block %1 %2 times in a row").arg(m.blocksTaken() + 1)
                  .arg(UploadSettings::commandLine().nakLimit);
        break;
    case End::Silence:
        why = (m.bytesTaken() == m_file.data.size() ? QString("the module took every block but gave no verdict within %1 s")
                                                    : QString("the module was silent for %1 s in the middle of the upload"))
                  .arg(UploadSettings::commandLine().silenceLimitMs / 1000);
        break;
    case End::Cancelled:
        if (m_interruptedAgain)
            return QStringLiteral("interrupted again; the cancel sent once more");
        why = m.bytesTaken() == m_file.data.size()
            ? QStringLiteral("interrupted after the module had taken every block, without its verdict")
            : QStringLiteral("interrupted");
        break;
    default:
        return QString();
    }
    return why + (m.cancelAnswered() ? QStringLiteral("; the module left receive mode")
                                     : QStringLiteral("; the module did not answer the cancel, sent once more: it may still be in receive mode"));
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
    const qint64 ms = m_wake.now();
    if (!force && m_lastProgress >= 0 && ms - m_lastProgress < progressEveryMs)
        return;
    m_lastProgress = ms;
    const int size = m_file.data.size();
    const int total = m_machine.blockTotal();
    const int offset = m_machine.bytesTaken();
    const double rate = ms > 0 ? offset * 1000.0 / ms : 0;
    const int percent = int(qint64(offset) * 100 / size);
    const QJsonObject event{{"event", "progress"}, {"port", session.port()}, {"blocks", m_machine.blocksTaken()}, {"total", total},
                            {"bytes", offset}, {"size", size}, {"percent", percent}, {"rate", qRound(rate)}};
    const QString left = rate > 0 ? ", " + clock(qint64((size - offset) / rate)) + " left" : QString();
    session.out().progress(session.port(), event,
                           QString("%1: block %2 of %3, %4 %, %5 B/s%6").arg(m_file.kind).arg(m_machine.blocksTaken()).arg(total)
                               .arg(percent).arg(qRound(rate)).arg(left));
}

void UploadJob::interrupted()
{
    switch (m_stage) {
    case Stage::Before:
        return session.finish(Exit::Interrupted, QStringLiteral("interrupted before the upload began; nothing uploaded"));
    case Stage::Transfer:
        // Once every block is taken the machine awaits the module's verdict a
        // while before it tells the module to leave receive mode.
        m_interruptPending = true;
        m_interruptedAgain = m_machine.cancelling();
        m_machine.cancel(m_wake.now());
        return drive();
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
    // Cut once the module was asked to receive, nothing could tell it to leave.
    const bool receiving = m_machine.running();
    m_machine.lineLost();
    // Done only once the load after data has gone out.
    end(m_stage == Stage::After ? "done" : "lost", Exit::Port, why + (receiving ? "; the module may still be in receive mode" : QString()));
}

void UploadJob::end(const char *result, int code, const QString &message)
{
    if (session.ended())
        return;
    if (m_interruptPending)
        code = qMax(code, int(Exit::Interrupted));
    m_wake.stop();
    session.out().progressEnded(session.port());
    const double seconds = (m_transferMs >= 0 ? m_transferMs : m_wake.now()) / 1000.0;
    const bool done = qstrcmp(result, "done") == 0;
    QJsonObject event{{"event", "upload"}, {"port", session.port()}, {"kind", m_file.kind}, {"file", m_file.path},
                      {"size", m_file.data.size()}, {"sha256", m_file.sha256}, {"result", result},
                      {"blocks", m_machine.blocksTaken()}, {"naks", m_machine.naks()}, {"seconds", qRound(seconds * 1000) / 1000.0},
                      {"rate", seconds > 0 ? qRound(m_machine.bytesTaken() / seconds) : 0}, {"before", m_before},
                      {"after", done && !m_after.isEmpty() ? QJsonValue(m_after) : QJsonValue()}};
    // Names as given joined, never substituted: a '%1' in a file name stays as it is.
    QString text = session.port() + ": " + m_file.kind + " upload of " + m_file.path + " ("
                 + QString::number(m_file.data.size()) + " bytes): " + QLatin1String(result) + ", "
                 + QString("%1 blocks, %2 NAKs, %3 s, %4 B/s").arg(m_machine.blocksTaken()).arg(m_machine.naks()).arg(seconds, 0, 'f', 1)
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
