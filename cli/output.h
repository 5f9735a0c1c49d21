#ifndef CLI_OUTPUT_H
#define CLI_OUTPUT_H

#include "platform.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;

// Where the program's words go: a person's text or JSON lines on standard
// output; errors, notes, traces and progress on standard error.
//
// Nothing here waits for a reader: what a slow or stopped reader cannot take
// yet is queued and written once it can, so the line to the module is served
// meanwhile. Results and errors are never dropped; progress is skipped while
// older words still wait, and notes and traces beyond a megabyte waiting.
class Output
{
public:
    Output(bool json, bool quiet, bool verbose);
    ~Output();

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
    // Bytes for standard output as they are (log -); false, with the
    // system's reason, once standard output cannot take them.
    bool data(const QByteArray &bytes, QString *why);
    // then() once everything queued is written, or can no longer be.
    void whenDrained(std::function<void()> then);
    // Why results were lost (standard output closed under them); empty if none were.
    QString lostResults() const;

private:
    struct Stream {
        WriteEnd end;
        QByteArray queue;
        std::unique_ptr<QSocketNotifier> writable;
        QString failed; // the system's reason once writing failed; nothing more is tried
    };
    enum class Kind { Result, Progress, Chatter };
    void line(Stream &s, const QString &text, Kind kind = Kind::Result);
    void put(Stream &s, const QByteArray &bytes, Kind kind);
    void flush(Stream &s);
    void drawProgress();

    bool m_json, m_quiet, m_verbose, m_terminal;
    QElapsedTimer m_clock;
    Stream m_out, m_err;
    QMap<QString, QString> m_progress;
    bool m_progressShown = false;
    bool m_resultsLost = false;
    std::function<void()> m_drained;
};

// A refusal of the whole run before any port opens: its line on standard
// error and, with --json, an error event on standard output. Returns code.
int refuseRun(bool json, int code, const QString &why);

// ISO 8601 in UTC with milliseconds: 2026-12-07T10:00:00.000Z
QString utcNow();

#endif
