#include "logjob.h"

#include "exitcodes.h"
#include "line.h"
#include "output.h"
#include "platform.h"
#include "protocol/commands.h"
#include "protocol/logrules.h"

#include <QFile>
#include <QJsonObject>

LogJob::LogJob(Session &session, QFile &sink, const QString &name)
    : Job(session)
    , m_sink(sink)
    , m_name(name)
    , m_wake([this] {
        m_capture.wake(m_wake.now(), this->session.line()->bytesWaiting());
        switch (m_capture.end()) {
        case LogCapture::End::Complete:
            if (!m_unsaved.isEmpty())
                return end(false, Exit::NotDone, "cannot write the log to " + shownName(m_name) + ": " + m_unsaved
                                                     + "; the module's dump was read to its end, what was saved is kept");
            return end(true, Exit::Done);
        case LogCapture::End::Incomplete:
            return end(false, Exit::NotDone, QString("the module was silent for %1 s before the end of its log; what arrived is kept")
                                                 .arg(LogRules::giveUpSilenceMs / 1000));
        case LogCapture::End::None:
            return m_wake.wakeAt(m_capture.wakeAt());
        }
    })
{
}

void LogJob::start()
{
    // Late answers to earlier commands are no log.
    session.whenQuiet([this](bool quiet) {
        if (!quiet)
            return session.finish(Exit::NotDone, QStringLiteral("the line never went quiet; no log asked for"));
        m_dumping = true;
        if (m_name != QLatin1String("-"))
            m_sink.resize(0);
        session.write(Cmd::DumpLog);
        m_wake.restart();
        m_capture.start(0);
        m_wake.wakeAt(m_capture.wakeAt());
    });
}

void LogJob::received(const QByteArray &bytes)
{
    if (!m_dumping)
        return;
    if (m_unsaved.isEmpty())
        save(bytes);
    m_capture.received(bytes, m_wake.now());
    m_wake.wakeAt(m_capture.wakeAt());
}

void LogJob::save(const QByteArray &bytes)
{
    if (m_name == QLatin1String("-")) {
        if (session.out().data(bytes, &m_unsaved))
            m_saved += bytes.size();
        return;
    }
    // Counted as the file takes them: a write cut short by a full disk counts its part.
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 n = m_sink.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            m_unsaved = m_sink.errorString();
            return;
        }
        done += n;
        m_saved += n;
    }
}

void LogJob::interrupted()
{
    end(false, Exit::Interrupted, QStringLiteral("interrupted; what arrived is kept"));
}

void LogJob::lost(const QString &why)
{
    end(false, Exit::Port, why + "; what arrived is kept");
}

void LogJob::end(bool complete, int code, const QString &message)
{
    m_wake.stop();
    const bool toStdout = m_name == QLatin1String("-");
    const QString where = shownName(m_name);
    const QString text = session.port() + ": log " + where + ": " + QString::number(m_saved) + " bytes, "
                       + (complete ? QStringLiteral("complete") : QStringLiteral("incomplete"));
    // With the log on standard output the summary must not mix into it.
    if (toStdout)
        session.out().note(QString(), text);
    else
        session.out().result({{"event", "log"}, {"port", session.port()}, {"file", where}, {"bytes", m_saved},
                              {"complete", complete}}, text);
    session.finish(code, message);
}
