#include "record.h"

#include "platform.h"
#include "line/filekind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace {
bool openForAppend(QFile &file, QString *why)
{
    const QString folder = QFileInfo(file.fileName()).absolutePath();
    if (!QDir().mkpath(folder)) {
        // The system's reason, taken at once: the file itself was never opened.
        const QString reason = qt_error_string();
        *why = "the upload record " + file.fileName() + " cannot be written: " + folder
             + (QFileInfo(folder).isFile() ? QStringLiteral(" is a file, not a folder") : " cannot be made: " + reason);
        return false;
    }
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
        *why = "the upload record " + file.fileName() + " cannot be written: " + file.errorString();
        return false;
    }
    return true;
}
} // namespace

bool Record::writable(QString *why) const
{
    // A device or pipe keeps no record, and its refusal would come only
    // after the upload: it is refused before the module is touched.
    const QString kind = enabled() ? fileKind(m_path) : QString();
    if (!kind.isEmpty()) {
        *why = "the upload record " + m_path + " cannot be kept: it is " + kind;
        return false;
    }
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
    QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    // A line cut before (a full disk, a crash) gets its end, so this one stands alone.
    const qint64 before = file.size();
    if (before > 0 && file.seek(before - 1) && file.read(1) != "\n")
        bytes.prepend('\n');
    // One write of the whole line: lines of several ports never mix. A line
    // that does not reach the disk whole is taken back whole.
    if (file.write(bytes) != bytes.size() || !syncToDisk(file)) {
        const QString reason = file.error() != QFileDevice::NoError ? file.errorString() : qt_error_string();
        file.resize(before);
        *why = "the upload record " + m_path + " could not be written: " + reason;
        return false;
    }
    return true;
}
