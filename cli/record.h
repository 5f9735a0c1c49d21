#ifndef CLI_RECORD_H
#define CLI_RECORD_H

#include <QJsonObject>
#include <QString>

// The record of uploads: one JSON line per upload that wrote to the module,
// appended whole and on disk before the program exits.
class Record
{
public:
    explicit Record(const QString &path) : m_path(path) {}
    bool enabled() const { return !m_path.isEmpty(); }
    const QString &path() const { return m_path; }
    // Whether a line could be appended now (the folder is made if missing).
    bool writable(QString *why) const;
    bool append(const QJsonObject &line, QString *why) const;

private:
    QString m_path;
};

#endif
