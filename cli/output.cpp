#include "output.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QSocketNotifier>

#include <cstdio>

namespace {
// Notes and traces waiting beyond this are dropped: a reader stopped for
// hours must not cost the program its memory.
constexpr int chatterLimit = 1 << 20;
}

Output::Output(bool json, bool quiet, bool verbose)
    : m_json(json)
    , m_quiet(quiet)
    , m_verbose(verbose)
    , m_terminal(isTerminal(2))
{
    m_clock.start();
    m_out.end = openWriteEnd(1);
    m_err.end = openWriteEnd(2);
}

Output::~Output()
{
    for (Stream *s : {&m_out, &m_err}) {
        s->writable.reset();
        closeWriteEnd(s->end);
    }
}

void Output::put(Stream &s, const QByteArray &bytes, Kind kind)
{
    if (!s.failed.isEmpty()) {
        m_resultsLost = m_resultsLost || (&s == &m_out && kind == Kind::Result);
        return;
    }
    if ((kind == Kind::Progress && !s.queue.isEmpty()) || (kind == Kind::Chatter && s.queue.size() > chatterLimit))
        return;
    s.queue += bytes;
    flush(s);
}

void Output::flush(Stream &s)
{
    while (!s.queue.isEmpty() && s.failed.isEmpty()) {
        const qint64 n = writeNow(s.end, s.queue.constData(), s.queue.size(), &s.failed);
        if (n <= 0)
            break;
        s.queue.remove(0, int(n));
    }
    if (!s.failed.isEmpty()) {
        // A closed reader: what waited for it is lost; results among it count.
        m_resultsLost = m_resultsLost || (&s == &m_out && !s.queue.isEmpty());
        s.queue.clear();
    }
    const bool waiting = !s.queue.isEmpty();
    if (waiting && !s.writable) {
        s.writable = std::make_unique<QSocketNotifier>(s.end.fd, QSocketNotifier::Write);
        QObject::connect(s.writable.get(), &QSocketNotifier::activated, [this, &s] { flush(s); });
    }
    if (s.writable)
        s.writable->setEnabled(waiting);
    if (m_drained && m_out.queue.isEmpty() && m_err.queue.isEmpty())
        std::exchange(m_drained, nullptr)();
}

void Output::whenDrained(std::function<void()> then)
{
    m_drained = std::move(then);
    flush(m_out);
}

QString Output::lostResults() const
{
    return m_resultsLost ? "results not written to standard output: " + m_out.failed : QString();
}

bool Output::data(const QByteArray &bytes, QString *why)
{
    put(m_out, bytes, Kind::Result);
    *why = m_out.failed;
    return m_out.failed.isEmpty();
}

void Output::line(Stream &s, const QString &text, Kind kind)
{
    // A progress line on the terminal is cleared first, then drawn again below.
    if (m_progressShown)
        put(m_err, "\r\033[K", Kind::Result);
    put(s, (text + '\n').toUtf8(), kind);
    if (m_progressShown)
        drawProgress();
}

void Output::result(const QJsonObject &event, const QString &text)
{
    if (m_json)
        line(m_out, QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact)));
    else
        line(m_out, text);
}

void Output::error(const QString &port, int code, const QString &message)
{
    line(m_err, "dudaze-cli: " + (port.isEmpty() ? QString() : port + ": ") + message);
    if (m_json && !port.isEmpty())
        result({{"event", "error"}, {"port", port}, {"code", code}, {"message", message}}, QString());
}

void Output::note(const QString &port, const QString &message)
{
    if (!m_quiet)
        line(m_err, (port.isEmpty() ? QString() : port + ": ") + message, Kind::Chatter);
}

void Output::trace(const QString &port, bool out, const QByteArray &bytes)
{
    if (!m_verbose)
        return;
    QString shown;
    if (bytes.size() > 64) {
        shown = QString("(%1 bytes)").arg(bytes.size());
    } else {
        for (char c : bytes) {
            const uchar u = uchar(c);
            shown += u >= 0x20 && u < 0x7F && c != '\\' ? QString(QLatin1Char(c))
                   : c == '\r' ? QStringLiteral("\\r") : c == '\n' ? QStringLiteral("\\n")
                   : QString("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        }
    }
    line(m_err, QString("%1 ms %2 %3 %4").arg(m_clock.elapsed(), 7).arg(port, out ? ">" : "<", shown), Kind::Chatter);
}

void Output::progress(const QString &port, const QJsonObject &event, const QString &text)
{
    if (m_json) {
        line(m_out, QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact)), Kind::Progress);
        return;
    }
    if (m_quiet || !m_terminal)
        return;
    m_progress[port] = text;
    m_progressShown = true;
    drawProgress();
}

void Output::progressEnded(const QString &port)
{
    m_progress.remove(port);
    if (!m_progressShown)
        return;
    put(m_err, "\r\033[K", Kind::Result);
    m_progressShown = !m_progress.isEmpty();
    if (m_progressShown)
        drawProgress();
}

void Output::drawProgress()
{
    QStringList parts;
    for (auto it = m_progress.cbegin(); it != m_progress.cend(); ++it)
        parts << (m_progress.size() > 1 ? it.key() + ' ' + it.value() : it.value());
    put(m_err, "\r\033[K" + parts.join(QStringLiteral(" | ")).toUtf8(), Kind::Progress);
}

int refuseRun(bool json, int code, const QString &why)
{
    std::fprintf(stderr, "dudaze-cli: %s\n", qUtf8Printable(why));
    if (json) {
        const QJsonObject event{{"event", "error"}, {"port", QJsonValue::Null}, {"code", code}, {"message", why}};
        std::fputs(QJsonDocument(event).toJson(QJsonDocument::Compact).append('\n').constData(), stdout);
    }
    return code;
}

QString utcNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}
