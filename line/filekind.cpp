#include "line/filekind.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>

QString fileKindOf(const QByteArray &systemPath)
{
    struct stat info = {};
    if (::stat(systemPath.constData(), &info) != 0 || S_ISREG(info.st_mode))
        return QString();
    return QLatin1String(S_ISDIR(info.st_mode) ? "a folder" : S_ISFIFO(info.st_mode) ? "a FIFO"
                         : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "a device"
                         : S_ISSOCK(info.st_mode) ? "a socket" : "no regular file");
}

#else

QString fileKindOf(const QByteArray &systemPath)
{
    const QFileInfo info(QFile::decodeName(systemPath));
    return !info.exists() || info.isFile() ? QString() : info.isDir() ? QStringLiteral("a folder") : QStringLiteral("no regular file");
}

#endif
