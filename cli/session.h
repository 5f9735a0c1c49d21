#ifndef CLI_SESSION_H
#define CLI_SESSION_H

#include "line/machinetimer.h"
#include "protocol/quietline.h"

#include <QObject>

#include <functional>
#include <memory>

class Job;
class Line;
class Output;
struct Invocation;

// One port: owns its line, hands what the module sends to the command
// running on it, and ends once with an exit code. Everything runs from the
// event loop; waits are timers.
class Session : public QObject
{
    Q_OBJECT
public:
    Session(const QString &given, const Invocation &inv, Output &out, QObject *parent = nullptr);
    ~Session() override;

    // Opens the line (a local port, or one on the network) and runs the job
    // on it once the line has been quiet (a module still sending, an old log
    // say, would mix into the answers); a port that does not open, or a line
    // that does not go quiet, ends the session at once.
    void start(std::unique_ptr<Job> job);
    void interrupt();

    const QString &port() const { return m_given; }
    const Invocation &invocation() const { return m_inv; }
    Output &out() { return m_out; }
    const Line *line() const { return m_line.get(); }
    bool ended() const { return m_ended; }
    int code() const { return m_code; }

    void write(const QByteArray &bytes);
    // The commands gapMs apart; then runs tailMs after the last one.
    void writePaced(const QByteArrayList &commands, int gapMs, int tailMs, std::function<void()> then);
    // Runs then in ms, unless the session has ended meanwhile.
    void after(int ms, std::function<void()> then);
    // then(true) once the line is quiet, then(false) if it does not go quiet (QuietLine).
    void whenQuiet(std::function<void(bool)> then);
    // The commands at the usual pace, then then(quiet) once their answers are in.
    void ask(const QByteArrayList &commands, std::function<void(bool)> then);
    // Ends the session with code; a message goes to standard error. Bytes
    // still on their way out are written before the line closes.
    void finish(int code, const QString &message = QString());

signals:
    void finished();

private:
    void onOpened();
    void onReadyRead();
    void onLost(const QString &why);
    void close();
    void checkQuiet();

    QString m_given;
    const Invocation &m_inv;
    Output &m_out;
    std::unique_ptr<Line> m_line;
    std::unique_ptr<Job> m_job;
    QuietLine m_quietLine;
    MachineTimer m_quietWake;
    std::function<void(bool)> m_onQuiet;
    bool m_settling = false; // what arrives before the job starts is no answer to it
    bool m_ended = false;
    bool m_closed = false;
    bool m_lost = false;
    int m_code = 0;
};

// A command running on one session.
class Job
{
public:
    explicit Job(Session &session) : session(session) {}
    virtual ~Job() = default;
    virtual void start() = 0;
    // Whether the job starts only on a quiet line; one that waits its own way says no.
    virtual bool startsOnQuietLine() const { return true; }
    virtual void received(const QByteArray &bytes) = 0;
    virtual void interrupted();
    virtual void lost(const QString &why);

protected:
    Session &session;
};

#endif
