#ifndef CLI_STATUSREADER_H
#define CLI_STATUSREADER_H

#include <QByteArray>
#include <QJsonObject>
#include <QStringList>

// The module's answers to the status poll and the single query, gathered
// until the line is quiet, and the values cut from them by the reply rule.
class StatusReader
{
public:
    void clear() { m_bytes.clear(); }
    void add(const QByteArray &bytes) { m_bytes += bytes; }
    // Whether any value could be read from the answers: bytes alone (a
    // wrong line speed garbles every one) are no answer.
    bool answered() const;
    // Why nothing could be read, for a person: no bytes, or none readable.
    QString whyUnanswered() const;
    // output, alarm, dac, temperature, firmware, fpga, waveform: the text
    // the module sent, or null for a value it did not send.
    QJsonObject values() const;

private:
    QByteArray m_bytes;
};

// "output ON, alarm 0, dac 12.5, …" for a person, the values named in only
// (all when empty); '-' for a value not sent.
QString statusText(const QJsonObject &values, const QStringList &only = QStringList());
// What the status poll and the single query ask for.
extern const QStringList polledValues, queriedValues;
// An event of values with its name and port in front.
QJsonObject statusEvent(const char *event, const QString &port, const QJsonObject &values);

#endif
