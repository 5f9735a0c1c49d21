#include "output.h"

#include "platform.h"

#include <QDateTime>
#include <QJsonDocument>

#include <cstdio>

Output::Output(bool json, bool quiet, bool verbose)
    : m_json(json)
    , m_quiet(quiet)
    , m_verbose(verbose)
    , m_terminal(isTerminal(stderr))
{
    m_clock.start();
}

void Output::line(FILE *stream, const QString &text)
{
    // A progress line on the terminal is cleared first, then drawn again below.
    if (m_progressShown)
        std::fputs("\r\033[K", stderr);
    std::fputs(qUtf8Printable(text + '\n'), stream);
    std::fflush(stream);
    if (m_progressShown)
        drawProgress();
}

void Output::result(const QJsonObject &event, const QString &text)
{
    if (m_json)
        line(stdout, QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact)));
    else
        line(stdout, text);
}

void Output::error(const QString &port, int code, const QString &message)
{
    line(stderr, "dudaze-cli: " + (port.isEmpty() ? QString() : port + ": ") + message);
    if (m_json && !port.isEmpty())
        result({{"event", "error"}, {"port", port}, {"code", code}, {"message", message}}, QString());
}

void Output::note(const QString &port, const QString &message)
{
    if (!m_quiet)
        line(stderr, (port.isEmpty() ? QString() : port + ": ") + message);
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
    line(stderr, QString("%1 ms %2 %3 %4").arg(m_clock.elapsed(), 7).arg(port, out ? ">" : "<", shown));
}

void Output::progress(const QString &port, const QJsonObject &event, const QString &text)
{
    if (m_json) {
        result(event, QString());
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
    std::fputs("\r\033[K", stderr);
    m_progressShown = !m_progress.isEmpty();
    if (m_progressShown)
        drawProgress();
    std::fflush(stderr);
}

void Output::drawProgress()
{
    QStringList parts;
    for (auto it = m_progress.cbegin(); it != m_progress.cend(); ++it)
        parts << (m_progress.size() > 1 ? it.key() + ' ' + it.value() : it.value());
    std::fprintf(stderr, "\r\033[K%s", qUtf8Printable(parts.join(QStringLiteral(" | "))));
    std::fflush(stderr);
}

QString utcNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}
