#include "logjob.h"

#include "exitcodes.h"
#include "output.h"
#include "protocol/commands.h"
#include "protocol/logrules.h"

#include <QFile>
#include <QJsonObject>

namespace {
constexpr int tailBytes = 64;
}

LogJob::LogJob(Session &session, QFile &sink)
    : Job(session)
    , m_sink(sink)
{
    m_afterPrompt.setSingleShot(true);
    m_afterPrompt.setInterval(LogRules::promptSilenceMs);
    m_giveUp.setSingleShot(true);
    m_giveUp.setInterval(LogRules::giveUpSilenceMs);
    QObject::connect(&m_afterPrompt, &QTimer::timeout, &session, [this] { end(true, Exit::Done); });
    QObject::connect(&m_giveUp, &QTimer::timeout, &session, [this] {
        end(false, Exit::NotDone, QString("the module was silent for %1 s before the end of its log; what arrived is kept")
                                      .arg(LogRules::giveUpSilenceMs / 1000));
    });
}

void LogJob::start()
{
    // Late answers to earlier commands are no log.
    session.whenQuiet(LogRules::quietBeforeDumpMs, LogRules::quietWaitLimitMs, [this](bool quiet) {
        if (!quiet)
            return session.finish(Exit::NotDone, QStringLiteral("the line never went quiet; no log asked for"));
        m_dumping = true;
        if (!m_sink.fileName().isEmpty())
            m_sink.resize(0);
        session.write(Cmd::DumpLog);
        m_giveUp.start();
    });
}

void LogJob::received(const QByteArray &bytes)
{
    if (!m_dumping)
        return;
    if (m_sink.write(bytes) != bytes.size() || !m_sink.flush())
        return end(false, Exit::BadInput, "cannot write the log to " + m_sink.fileName() + ": " + m_sink.errorString());
    m_saved += bytes.size();
    m_tail = (m_tail + bytes).right(tailBytes);
    m_giveUp.start();
    if (lastTextChar(m_tail) == '>')
        m_afterPrompt.start();
    else
        m_afterPrompt.stop();
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
    m_afterPrompt.stop();
    m_giveUp.stop();
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
