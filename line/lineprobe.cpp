#include "line/lineprobe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString deviceLocation(const QString &portName)
{
#ifdef Q_OS_UNIX
    if (!portName.startsWith(QLatin1Char('/')) && !portName.startsWith(QLatin1String("./"))
        && !portName.startsWith(QLatin1String("../")))
        return QLatin1String("/dev/") + portName;
#endif
    return portName;
}

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString processName(qint64 pid)
{
    QFile comm(QString("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed()) : QStringLiteral("a program");
}

// A UUCP lock of a live process on the device (LCK..pts_3 for /dev/pts/3, in
// /var/lock), ASCII pid first as every locking program writes it.
QString uucpHolder(const QString &device)
{
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    QFile lock("/var/lock/LCK.." + name.replace('/', '_'));
    if (!lock.open(QIODevice::ReadOnly))
        return QString();
    const qint64 pid = lock.read(64).simplified().split(' ').value(0).toLongLong();
    // A lock whose process is gone is stale; this program's own is not a rival.
    if (pid <= 0 || pid == ::getpid() || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH))
        return QString();
    return QString("%1 (pid %2) holds its lock %3").arg(processName(pid)).arg(pid).arg(lock.fileName());
}

// Another process with the device open, as far as the system lets us see
// (all of them for root, one's own otherwise). The one holding the master of
// a pseudo-terminal is the far end of the line, not a rival.
QString otherOpener(dev_t device, int ptyIndex)
{
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs);
    for (const QString &pidText : pids) {
        const qint64 pid = pidText.toLongLong();
        if (pid == ::getpid())
            continue;
        bool opened = false, farEnd = false;
        const QString fds = "/proc/" + pidText + "/fd/";
        for (const QString &fd : QDir(fds).entryList(QDir::System | QDir::NoDotAndDotDot)) {
            struct stat st;
            if (::stat(QFile::encodeName(fds + fd).constData(), &st) != 0 || !S_ISCHR(st.st_mode))
                continue;
            opened = opened || st.st_rdev == device;
            if (ptyIndex >= 0 && QFile::symLinkTarget(fds + fd) == QLatin1String("/dev/ptmx")) {
                QFile info("/proc/" + pidText + "/fdinfo/" + fd);
                farEnd = farEnd || (info.open(QIODevice::ReadOnly) && info.readAll().contains("tty-index:\t" + QByteArray::number(ptyIndex) + '\n'));
            }
        }
        if (opened && !farEnd)
            return QString("%1 (pid %2) has it open").arg(processName(pid)).arg(pid);
    }
    return QString();
}

} // namespace

QString deviceHolder(const QString &path)
{
    const QString device = QFileInfo(deviceLocation(path)).canonicalFilePath();
    struct stat st;
    if (device.isEmpty() || ::stat(QFile::encodeName(device).constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return QString();
    const QString uucp = uucpHolder(device);
    if (!uucp.isEmpty())
        return uucp;
    bool pty = false;
    const int ptyIndex = device.startsWith(QLatin1String("/dev/pts/")) ? device.mid(9).toInt(&pty) : -1;
    return otherOpener(st.st_rdev, pty ? ptyIndex : -1);
}

bool lineHungUp(qintptr handle)
{
    if (handle < 0)
        return false;
    pollfd probe{int(handle), POLLIN, 0};
    return ::poll(&probe, 1, 0) > 0 && (probe.revents & POLLHUP);
}

int bytesOnLine(qintptr handle)
{
    int count = 0;
    return handle >= 0 && ::ioctl(int(handle), FIONREAD, &count) == 0 ? count : 0;
}

bool holdDevice(qintptr handle)
{
    return handle >= 0 && ::flock(int(handle), LOCK_EX | LOCK_NB) == 0;
}



#else

// Qt reports a vanished device as a resource error on every platform; a
// hang-up that it reports as a read error only is not told apart here.
bool lineHungUp(qintptr)
{
    return false;
}

// The port's own count of fetched bytes is all there is.
int bytesOnLine(qintptr)
{
    return 0;
}

QString deviceHolder(const QString &)
{
    return QString();
}

// Only the port's own exclusive mode guards the device.
bool holdDevice(qintptr)
{
    return true;
}

#endif

bool bytesWaiting(const QIODevice &device, qintptr handle)
{
    return device.bytesAvailable() > 0 || bytesOnLine(handle) > 0;
}
