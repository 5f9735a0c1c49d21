#include "platform.h"

#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QSocketNotifier>
#include <QTextStream>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {
int interruptPipe[2] = {-1, -1};
termios echoing = {}; // the terminal as it was before the password prompt
const int interruptSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int interruptCount = int(sizeof interruptSignals / sizeof *interruptSignals);

// Ctrl-C at the password prompt: the terminal echoes again before the program ends.
void onSignalAtPrompt(int)
{
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &echoing);
    ::_exit(130);
}

void onSignal(int)
{
    const char c = 'i';
    (void)!::write(interruptPipe[1], &c, 1);
}
} // namespace

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

bool isTerminal(FILE *stream)
{
    return ::isatty(::fileno(stream));
}

QString readHidden(const QString &prompt)
{
    std::fputs(qPrintable(prompt), stderr);
    std::fflush(stderr);
    const bool hidden = ::tcgetattr(STDIN_FILENO, &echoing) == 0;
    struct sigaction restore = {}, before[interruptCount] = {};
    restore.sa_handler = onSignalAtPrompt;
    sigemptyset(&restore.sa_mask);
    if (hidden) {
        for (int i = 0; i < interruptCount; ++i)
            ::sigaction(interruptSignals[i], &restore, &before[i]);
        termios quiet = echoing;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QTextStream in(stdin);
    const QString line = in.readLine();
    if (hidden) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &echoing);
        for (int i = 0; i < interruptCount; ++i)
            ::sigaction(interruptSignals[i], &before[i], nullptr);
    }
    std::fputs("\n", stderr);
    return line;
}

bool syncToDisk(QFile &file)
{
    return file.flush() && ::fsync(file.handle()) == 0;
}

#else

void watchInterrupts(QObject *, const std::function<void()> &) {}

void keepGoingOnFailedWrites() {}

bool isTerminal(FILE *) { return false; }

QString readHidden(const QString &prompt)
{
    std::fputs(qPrintable(prompt), stderr);
    std::fflush(stderr);
    return QTextStream(stdin).readLine();
}

bool syncToDisk(QFile &file) { return file.flush(); }

#endif
