#ifndef PROTOCOL_OWEDANSWERS_H
#define PROTOCOL_OWEDANSWERS_H

#include <QByteArray>
#include <QByteArrayList>
#include <QList>

// What the module still owes on one line: fed every command written and every
// byte received, with the driver's clock in ms. A command owes the key lines
// of its answer (Cmd::answerKeys); a key line counts once its line feed has
// come, gathered across reads, and answers the oldest command still waiting
// for that key. What is not answered within QuietLine::limitMs of its command
// is given up on.
class OwedAnswers
{
public:
    void wrote(const QByteArray &bytes, qint64 now);
    void received(const QByteArray &bytes, qint64 now);
    // Bytes wait on the line that the driver has not read yet.
    void heard(qint64 now);
    // The line opened or closed: nothing owed, nothing heard.
    void clear() { *this = OwedAnswers(); }

    // When the last answer owed so far is settled: answered, or given up on
    // (which may lie ahead); -1 when nothing was ever owed. Nothing is owed
    // from then on.
    qint64 settledAt() const;
    // When the module was last heard; -1 when never.
    qint64 lastHeard() const { return m_heard; }

private:
    struct Owed {
        qint64 since;
        QByteArrayList keys; // those not seen yet
    };
    void giveUp(qint64 now);
    void lineEnded(qint64 now);

    QList<Owed> m_owed;
    QByteArray m_line;      // the line so far, its head only
    qint64 m_settled = -1;
    qint64 m_heard = -1;
};

#endif
