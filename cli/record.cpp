#include "record.h"

#include "platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace {
bool openForAppend(QFile &file, QString *why)
{
    if (!QDir().mkpath(QFileInfo(file.fileName()).absolutePath()) || !file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *why = "the upload record " + file.fileName() + " cannot be written: " + file.errorString();
        return false;
    }
    return true;
}
} // namespace

bool Record::writable(QString *why) const
{
    QFile file(m_path);
    return !enabled() || openForAppend(file, why);
}

bool Record::append(const QJsonObject &line, QString *why) const
{
    if (!enabled())
        return true;
    QFile file(m_path);
    if (!openForAppend(file, why))
        return false;
    // One write of the whole line: lines of several ports never mix.
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    if (file.write(bytes) != bytes.size() || !syncToDisk(file)) {
        *why = "the upload record " + m_path + " could not be written: " + file.errorString();
        return false;
    }
    return true;
}
