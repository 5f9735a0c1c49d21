#include "session.h"

#include "exitcodes.h"
#include "invocation.h"
#include "output.h"
#include "platform.h"
#include "line.h"
#include "protocol/pacing.h"

namespace {
// Bytes still queued when a session ends get this long to leave.
constexpr int drainLimitMs = 3000;
}

Session::Session(const QString &given, const Invocation &inv, Output &out, QObject *parent)
    : QObject(parent)
    , m_given(given)
    , m_inv(inv)
    , m_out(out)
    , m_quietWake([this] { checkQuiet(); })
{
}

Session::~Session() = default;

void Session::start(std::unique_ptr<Job> job)
{
    m_job = std::move(job);
    m_line = makeLine(m_given);
    connect(m_line.get(), &Line::opened, this, &Session::onOpened);
    connect(m_line.get(), &Line::failed, this, [this](const QString &why) { finish(Exit::Port, why); });
    connect(m_line.get(), &Line::readyRead, this, &Session::onReadyRead);
    connect(m_line.get(), &Line::lost, this, &Session::onLost);
    m_line->open(m_inv.line);
}

void Session::onOpened()
{
    if (m_ended)
        return;
    if (!m_job->startsOnQuietLine())
        return m_job->start();
    m_settling = true;
    whenQuiet([this](bool quiet) {
        m_settling = false;
        if (!quiet)
            return finish(Exit::NotDone, QStringLiteral("the module did not stop sending (an old log?); nothing asked"));
        m_job->start();
    });
}

void Session::interrupt()
{
    if (!m_ended && m_job)
        m_job->interrupted();
}

void Session::write(const QByteArray &bytes)
{
    if (m_ended || !m_line || !m_line->isOpen())
        return;
    m_out.trace(m_given, true, bytes);
    m_owed.wrote(bytes, m_quietWake.now());
    m_line->write(bytes);
}

void Session::writePaced(const QByteArrayList &commands, int gapMs, int tailMs, std::function<void()> then)
{
    if (commands.isEmpty()) {
        after(tailMs, std::move(then));
        return;
    }
    write(commands.constFirst());
    const QByteArrayList rest = commands.mid(1);
    after(rest.isEmpty() ? tailMs : gapMs, [this, rest, gapMs, tailMs, then] {
        if (rest.isEmpty())
            then();
        else
            writePaced(rest, gapMs, tailMs, then);
    });
}

void Session::after(int ms, std::function<void()> then)
{
    QTimer::singleShot(ms, Qt::PreciseTimer, this, [this, then] {
        if (!m_ended)
            then();
    });
}

void Session::whenQuiet(std::function<void(bool)> then)
{
    m_onQuiet = std::move(then);
    m_quietLine.begin(m_quietWake.now());
    m_quietWake.wakeAt(m_quietLine.wakeAt());
}

void Session::checkQuiet()
{
    m_quietLine.wake(m_quietWake.now(), m_line->bytesWaiting());
    if (m_quietLine.state() == QuietLine::State::Waiting)
        return m_quietWake.wakeAt(m_quietLine.wakeAt());
    if (auto then = std::exchange(m_onQuiet, nullptr))
        then(m_quietLine.state() == QuietLine::State::Quiet);
}

void Session::ask(const QByteArrayList &commands, std::function<void(bool)> then)
{
    writePaced(commands, Pace::commandGapMs, 0, [this, then] { whenQuiet(then); });
}

void Session::onReadyRead()
{
    const QByteArray bytes = m_line->readAll();
    if (bytes.isEmpty() || m_ended)
        return;
    m_out.trace(m_given, false, bytes);
    m_owed.received(bytes, m_quietWake.now());
    // The last answer owed may have come: the quiet may come sooner.
    if (m_onQuiet)
        m_quietWake.wakeAt(m_quietLine.wakeAt());
    if (!m_settling)
        m_job->received(bytes);
}

void Session::onLost(const QString &why)
{
    if (m_ended)
        return;
    m_lost = true;
    m_job->lost(why);
}

void Session::finish(int code, const QString &message)
{
    if (m_ended)
        return;
    m_ended = true;
    m_code = code;
    m_quietWake.stop();
    m_onQuiet = nullptr;
    if (!message.isEmpty())
        m_out.error(m_given, code, message);
    if (!m_line || !m_line->isOpen() || m_line->bytesToWrite() == 0 || m_lost)
        return close();
    connect(m_line.get(), &Line::bytesWritten, this, [this] {
        if (m_line->bytesToWrite() == 0)
            close();
    });
    QTimer::singleShot(drainLimitMs, this, &Session::close);
}

void Session::close()
{
    if (m_closed)
        return;
    m_closed = true;
    if (m_line)
        m_line->close();
    emit finished();
}

void Job::interrupted()
{
    session.finish(Exit::Interrupted, QStringLiteral("interrupted"));
}

void Job::lost(const QString &why)
{
    session.finish(Exit::Port, why);
}
