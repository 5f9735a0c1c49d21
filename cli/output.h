#ifndef CLI_OUTPUT_H
#define CLI_OUTPUT_H

#include <QElapsedTimer>
#include <QJsonObject>
#include <QMap>
#include <QString>

// Where the program's words go: a person's text or JSON lines on standard
// output; errors, notes, traces and progress on standard error.
class Output
{
public:
    Output(bool json, bool quiet, bool verbose);

    bool json() const { return m_json; }
    // One result: its JSON object (with "event" and "port"), or its text for a person.
    void result(const QJsonObject &event, const QString &text);
    // A failure of one port (port empty for the whole run).
    void error(const QString &port, int code, const QString &message);
    void note(const QString &port, const QString &message);
    // -v: a command written (out) or a reply read, with the time since start.
    void trace(const QString &port, bool out, const QByteArray &bytes);
    // The progress of one port's upload: a JSON event, or on a terminal one
    // line on standard error that holds every port's.
    void progress(const QString &port, const QJsonObject &event, const QString &text);
    void progressEnded(const QString &port);

private:
    void line(FILE *stream, const QString &text);
    void drawProgress();

    bool m_json, m_quiet, m_verbose, m_terminal;
    QElapsedTimer m_clock;
    QMap<QString, QString> m_progress;
    bool m_progressShown = false;
};

// ISO 8601 in UTC with milliseconds: 2026-12-07T10:00:00.000Z
QString utcNow();

#endif
