#include "platform.h"

#include <cstdio>

#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QSocketNotifier>

namespace {
// Stray bytes of a name that is no valid UTF-8 travel as lone low surrogates
// (U+DC80..U+DCFF) and go back to the system as the bytes they were.
QString fromSystemName(const QByteArray &raw)
{
    QString name;
    for (int i = 0; i < raw.size();) {
        const uchar c = uchar(raw[i]);
        const int n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        const QByteArray piece = raw.mid(i, qMax(n, 1));
        const QString decoded = QString::fromUtf8(piece);
        if (n > 0 && piece.size() == n && decoded.toUtf8() == piece && !decoded.contains(QChar::ReplacementCharacter)) {
            name += decoded;
            i += n;
        } else {
            name += QChar(0xDC00 + c);
            ++i;
        }
    }
    return name;
}

} // namespace

QByteArray systemName(const QString &name)
{
    QByteArray raw;
    for (int i = 0; i < name.size(); ++i) {
        const ushort u = name[i].unicode();
        if (u >= 0xDC80 && u <= 0xDCFF)
            raw += char(u - 0xDC00);
        else if (name[i].isHighSurrogate() && i + 1 < name.size())
            raw += name.mid(i++, 2).toUtf8();
        else
            raw += QString(name[i]).toUtf8();
    }
    return raw;
}

QString shownName(const QString &name)
{
    QString shown = name;
    for (QChar &c : shown)
        if (c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF)
            c = QChar::ReplacementCharacter;
    return shown;
}

QStringList systemArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << fromSystemName(argv[i]);
    return arguments;
}

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {
int interruptPipe[2] = {-1, -1};
termios echoing = {}; // the terminal as it was before the password prompt
int terminal = -1;
const int interruptSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int interruptCount = int(sizeof interruptSignals / sizeof *interruptSignals);

// Ctrl-C at the password prompt: the terminal echoes again before the program ends.
void onSignalAtPrompt(int)
{
    ::tcsetattr(terminal, TCSAFLUSH, &echoing);
    ::_exit(130);
}

void onSignal(int)
{
    const char c = 'i';
    (void)!::write(interruptPipe[1], &c, 1);
}
} // namespace

void openClosedStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open() takes the lowest free number: this one.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened != fd && opened >= 0)
            ::close(opened);
    }
}

bool openNamed(QFile &file, const QString &name, QIODevice::OpenMode mode, bool exclusive, QString *why, bool *there)
{
    const int flags = O_CLOEXEC | O_NOCTTY | (mode & QIODevice::WriteOnly ? O_WRONLY | O_APPEND | O_CREAT | (exclusive ? O_EXCL : 0) : O_RDONLY);
    const int fd = ::open(systemName(name).constData(), flags, 0666);
    if (there)
        *there = fd < 0 && errno == EEXIST;
    if (fd < 0) {
        *why = qt_error_string(errno);
        return false;
    }
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        *why = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
}

bool removeNamed(const QString &name)
{
    return ::unlink(systemName(name).constData()) == 0;
}

WriteEnd openWriteEnd(int fd)
{
    WriteEnd end;
    end.fd = fd;
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || S_ISREG(info.st_mode) || S_ISBLK(info.st_mode))
        return end; // a file takes its writes at once
    if (S_ISSOCK(info.st_mode)) {
        end.socket = true;
        return end;
    }
    // A pipe or a terminal opened again through /proc is a description of its
    // own: O_NONBLOCK on it leaves the one the shell and the other programs
    // of a pipeline share as it was. Without /proc the writes may wait.
    const int own = ::open(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(),
                           O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (own >= 0) {
        end.fd = own;
        end.own = true;
    }
    return end;
}

void closeWriteEnd(const WriteEnd &end)
{
    if (end.own)
        ::close(end.fd);
}

qint64 writeNow(const WriteEnd &end, const char *data, qint64 size, QString *why)
{
    for (;;) {
        const ssize_t n = end.socket ? ::send(end.fd, data, size_t(size), MSG_DONTWAIT | MSG_NOSIGNAL)
                                     : ::write(end.fd, data, size_t(size));
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        *why = qt_error_string(errno);
        return -1;
    }
}

void watchInterrupts(QObject *context, const std::function<void()> &onInterrupt)
{
    if (::pipe(interruptPipe) != 0)
        return;
    ::fcntl(interruptPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : interruptSignals)
        ::sigaction(signal, &action, nullptr);
    auto *notifier = new QSocketNotifier(interruptPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [onInterrupt] {
        char c;
        (void)!::read(interruptPipe[0], &c, 1);
        onInterrupt();
    });
}

void keepGoingOnFailedWrites()
{
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

bool isTerminal(int fd)
{
    return ::isatty(fd);
}

bool readHidden(const QString &prompt, QString *line)
{
    terminal = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0)
        return false;
    const bool hidden = ::tcgetattr(terminal, &echoing) == 0;
    struct sigaction restore = {}, before[interruptCount] = {};
    restore.sa_handler = onSignalAtPrompt;
    sigemptyset(&restore.sa_mask);
    if (hidden) {
        for (int i = 0; i < interruptCount; ++i)
            ::sigaction(interruptSignals[i], &restore, &before[i]);
        termios quiet = echoing;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(terminal, TCSAFLUSH, &quiet);
    }
    // Asked once the echo is off, so that nothing typed at once is echoed or flushed.
    const QByteArray asked = prompt.toUtf8();
    (void)!::write(terminal, asked.constData(), size_t(asked.size()));
    QByteArray typed;
    char c;
    while (::read(terminal, &c, 1) == 1 && c != '\n')
        typed += c;
    if (hidden) {
        ::tcsetattr(terminal, TCSAFLUSH, &echoing);
        for (int i = 0; i < interruptCount; ++i)
            ::sigaction(interruptSignals[i], &before[i], nullptr);
    }
    (void)!::write(terminal, "\n", 1);
    ::close(terminal);
    terminal = -1;
    *line = QString::fromUtf8(typed);
    return true;
}

bool syncToDisk(QFile &file)
{
    return file.flush() && ::fsync(file.handle()) == 0;
}

#else

void openClosedStandardDescriptors() {}

bool openNamed(QFile &file, const QString &name, QIODevice::OpenMode mode, bool exclusive, QString *why, bool *there)
{
    file.setFileName(name);
    const bool exists = file.exists();
    if (there)
        *there = exclusive && exists;
    if (exclusive && exists) {
        *why = QStringLiteral("the file exists");
        return false;
    }
    if (!file.open(mode | (mode & QIODevice::WriteOnly ? QIODevice::Append : QIODevice::NotOpen))) {
        *why = file.errorString();
        return false;
    }
    return true;
}

bool removeNamed(const QString &name) { return QFile::remove(name); }

WriteEnd openWriteEnd(int fd)
{
    WriteEnd end;
    end.fd = fd;
    return end;
}

void closeWriteEnd(const WriteEnd &) {}

qint64 writeNow(const WriteEnd &end, const char *data, qint64 size, QString *why)
{
    FILE *stream = end.fd == 1 ? stdout : stderr;
    if (std::fwrite(data, 1, size_t(size), stream) != size_t(size) || std::fflush(stream) != 0) {
        *why = QStringLiteral("write error");
        return -1;
    }
    return size;
}

void watchInterrupts(QObject *, const std::function<void()> &) {}

void keepGoingOnFailedWrites() {}

bool isTerminal(int) { return false; }

bool readHidden(const QString &, QString *) { return false; }

bool syncToDisk(QFile &file) { return file.flush(); }

#endif
