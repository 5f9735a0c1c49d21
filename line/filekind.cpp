#include "line/filekind.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>

QString fileKind(const QString &path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode))
        return QString();
    return QLatin1String(S_ISDIR(info.st_mode) ? "a folder" : S_ISFIFO(info.st_mode) ? "a FIFO"
                         : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "a device"
                         : S_ISSOCK(info.st_mode) ? "a socket" : "no regular file");
}

#else

QString fileKind(const QString &path)
{
    const QFileInfo info(path);
    return !info.exists() || info.isFile() ? QString() : info.isDir() ? QStringLiteral("a folder") : QStringLiteral("no regular file");
}

#endif
