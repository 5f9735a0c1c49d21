#include "logjob.h"

#include "exitcodes.h"
#include "output.h"
#include "protocol/commands.h"
#include "protocol/logrules.h"

#include <QFile>
#include <QJsonObject>

LogJob::LogJob(Session &session, QFile &sink)
    : Job(session)
    , m_sink(sink)
    , m_wake([this] {
        m_capture.wake(m_wake.now(), false);
        switch (m_capture.end()) {
        case LogCapture::End::Complete:
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
        if (!m_sink.fileName().isEmpty())
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
    if (m_sink.write(bytes) != bytes.size() || !m_sink.flush())
        return end(false, Exit::BadInput, "cannot write the log to " + m_sink.fileName() + ": " + m_sink.errorString());
    m_saved += bytes.size();
    m_capture.received(bytes, m_wake.now());
    m_wake.wakeAt(m_capture.wakeAt());
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
    m_sink.close();
    const bool toStdout = m_sink.fileName().isEmpty();
    const QString where = toStdout ? QStringLiteral("-") : m_sink.fileName();
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
