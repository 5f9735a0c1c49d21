#include "statusjobs.h"

#include "exitcodes.h"
#include "invocation.h"
#include "output.h"
#include "protocol/pacing.h"
#include "protocol/commands.h"
#include "protocol/replyvalue.h"

using namespace Pace;

namespace {
// The module's new output state is asked for this long after the switch.
constexpr int outputSettleMs = 1000;
}

void StatusJob::start()
{
    session.ask(Cmd::statusPoll() + Cmd::singleQuery(), [this](bool) {
        if (!m_reader.answered())
            return session.finish(Exit::NotDone, m_reader.whyUnanswered());
        const QJsonObject values = m_reader.values();
        session.out().result(statusEvent("status", session.port(), values), session.port() + ": " + statusText(values));
        session.finish(Exit::Done);
    });
}

void WatchJob::start()
{
    m_start.start();
    poll();
}

void WatchJob::poll()
{
    if (session.ended())
        return;
    // Polls keep to the grid from the first one: a late turn is not carried
    // into the next, and one later than a whole interval skips to the next point.
    const qint64 interval = session.invocation().intervalMs, now = m_start.elapsed();
    session.after(int((now / interval + 1) * interval - now), [this] { poll(); });
    // A module slower than the interval still owes the poll before its
    // answers: they are that poll's, so this turn is skipped, not begun.
    if (m_pending)
        return;
    m_reader.clear();
    m_pending = true;
    m_time = utcNow();
    ++m_polls;
    session.ask(Cmd::statusPoll() << Cmd::ReadTemperature, [this](bool) { report(); });
}

void WatchJob::report()
{
    m_pending = false;
    if (m_reader.answered())
        ++m_answered;
    QJsonObject event = statusEvent("status", session.port(), m_reader.values());
    event.insert(QStringLiteral("time"), m_time);
    session.out().result(event, m_time + ' ' + session.port() + ": "
                         + (m_reader.answered() ? statusText(m_reader.values(), polledValues + QStringList{"temperature"})
                                                : QStringLiteral("no answer")));
    if (m_polls == session.invocation().count)
        end();
}

void WatchJob::end()
{
    if (m_answered == 0)
        return session.finish(Exit::NotDone, QString("no answer from the module in %1 polls").arg(m_polls));
    session.finish(Exit::Done);
}

void ControlJob::start()
{
    const Invocation &inv = session.invocation();
    auto then = [this, &inv] { inv.verify ? verify() : session.finish(Exit::Done); };
    if (inv.command == QLatin1String("output")) {
        session.write(inv.arguments[0] == QLatin1String("on") ? Cmd::OutputOn : Cmd::OutputOff);
        session.after(inv.verify ? outputSettleMs : 0, then);
    } else {
        session.writePaced(Cmd::dacSetting(inv.arguments[0]), commandGapMs, commandGapMs, then);
    }
}

void ControlJob::verify()
{
    m_reader.clear();
    session.ask(Cmd::statusPoll(), [this](bool) {
        const Invocation &inv = session.invocation();
        const QJsonObject values = m_reader.values();
        const QJsonValue reported = values.value(inv.command == QLatin1String("output") ? "output" : "dac");
        QString wanted, why;
        if (inv.command == QLatin1String("output")) {
            wanted = inv.arguments[0].toUpper();
            const OutputState want = wanted == QLatin1String("ON") ? OutputState::On : OutputState::Off;
            if (outputState(reported.toString()) != want)
                why = "the module does not report its output " + wanted;
        } else {
            wanted = inv.arguments[0];
            if (reported.toString().toFloat() != wanted.toFloat())
                why = "the module does not report the DAC value " + wanted.trimmed();
        }
        session.out().result(statusEvent("status", session.port(), values), session.port() + ": " + statusText(values, polledValues));
        if (!why.isEmpty())
            return session.finish(Exit::NotDone, why + (reported.isNull() ? QStringLiteral(" (no answer)") : ", but " + reported.toString()));
        session.finish(Exit::Done);
    });
}
