#include "hostlookup.h"

#include "exitcodes.h"
#include "netaddress.h"

#include <QEventLoop>
#include <QHash>
#include <QHostAddress>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#else
#include <QHostInfo>
#endif

namespace {

// A name the resolver has not answered within this long is taken as unknown.
constexpr int lookupLimitMs = 5000;

struct Result {
    QStringList addresses;
    QString why;
};
// What each name resolved to in this run: the ports connect to these
// addresses, never looking a name up a second time.
QHash<QString, Result> &results()
{
    static QHash<QString, Result> table;
    return table;
}

bool isLiteral(const QString &host) { return !QHostAddress(host).isNull(); }

// An IPv4 address written as IPv6 is the same server.
QString plain(const QString &address)
{
    const QHostAddress a(address);
    bool v4 = false;
    const quint32 ip4 = a.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip4).toString() : a.toString();
}

#ifdef Q_OS_UNIX
// The child's answer: an address a line, or "!" and the resolver's reason.
[[noreturn]] void lookUpInChild(const QByteArray &host, int out)
{
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int rc = ::getaddrinfo(host.constData(), nullptr, &hints, &found);
    QByteArray answer = rc == 0 ? QByteArray() : QByteArray("!") + ::gai_strerror(rc) + '\n';
    for (addrinfo *a = found; a; a = a->ai_next) {
        char text[NI_MAXHOST];
        if (::getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) == 0)
            answer += QByteArray(text) + '\n';
    }
    for (qsizetype sent = 0, n = 0; sent < answer.size(); sent += n)
        if ((n = ::write(out, answer.constData() + sent, size_t(answer.size() - sent))) <= 0)
            break;
    ::_exit(0);
}

// A child looking the name up; its answer comes on the descriptor returned.
qint64 startLookup(const QString &host, int *fd)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        lookUpInChild(host.toUtf8(), pipeFds[1]);
    }
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    ::fcntl(pipeFds[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    *fd = pipeFds[0];
    return pid;
}

// What has come from the child; false once it has said everything.
bool readLookup(int fd, QByteArray *got)
{
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        got->append(buf, int(n));
    return n < 0 && errno == EAGAIN;
}

void endLookup(qint64 pid, int fd, bool kill)
{
    if (kill)
        ::kill(pid_t(pid), SIGKILL);
    ::waitpid(pid_t(pid), nullptr, 0);
    ::close(fd);
}
#else
// Elsewhere the lookup runs in place, without a limit of its own.
qint64 startLookup(const QString &, int *) { return -1; }
bool readLookup(int, QByteArray *) { return false; }
void endLookup(qint64, int, bool) {}
#endif

} // namespace

HostLookup::~HostLookup()
{
    endAll();
}

int HostLookup::run(const QStringList &ports, QString *why)
{
    for (const QString &given : ports) {
        NetAddress a;
        QString unused;
        if (!isNetworkAddress(given) || !parseNetAddress(given, &a, &unused) || isLiteral(a.host) || results().contains(a.host))
            continue;
        results().insert(a.host, Result{{}, "the name " + a.host + " did not resolve"});
        Child child;
        child.host = a.host;
        child.pid = startLookup(a.host, &child.fd);
        if (child.pid < 0) {
#ifndef Q_OS_UNIX
            const QHostInfo info = QHostInfo::fromName(a.host);
            for (const QHostAddress &address : info.addresses())
                results()[a.host].addresses << address.toString();
            if (info.error() != QHostInfo::NoError)
                results()[a.host].why = a.host + ": " + info.errorString();
#endif
            continue;
        }
        m_children.push_back(child);
    }
    if (!m_children.empty()) {
        QEventLoop loop;
        m_loop = &loop;
        for (Child &child : m_children) {
            child.notifier = new QSocketNotifier(child.fd, QSocketNotifier::Read, this);
            connect(child.notifier, &QSocketNotifier::activated, this, [this, pid = child.pid] {
                for (Child &c : m_children)
                    if (c.pid == pid && !readLookup(c.fd, &c.got))
                        finished(c);
            });
        }
        m_limit.setSingleShot(true);
        connect(&m_limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        m_limit.start(lookupLimitMs);
        loop.exec();
        m_loop = nullptr;
        endAll();
    }
    if (m_interrupted) {
        *why = QStringLiteral("interrupted while looking up the servers' names; no port opened");
        return Exit::Interrupted;
    }
    *why = sameServer(ports);
    return why->isEmpty() ? -1 : Exit::BadInput;
}

void HostLookup::finished(Child &child)
{
    Result &r = results()[child.host];
    for (const QByteArray &line : child.got.split('\n')) {
        if (line.startsWith('!'))
            r.why = child.host + ": " + QString::fromLocal8Bit(line.mid(1));
        else if (!line.isEmpty())
            r.addresses << QString::fromLatin1(line);
    }
    delete std::exchange(child.notifier, nullptr);
    endLookup(std::exchange(child.pid, -1), child.fd, false);
    child.fd = -1;
    if (m_loop && std::all_of(m_children.begin(), m_children.end(), [](const Child &c) { return c.pid < 0; }))
        m_loop->quit();
}

void HostLookup::interrupt()
{
    m_interrupted = true;
    if (m_loop)
        m_loop->quit();
}

// Those still looking up are ended: their names count as not resolved.
void HostLookup::endAll()
{
    for (Child &child : m_children) {
        if (child.pid < 0)
            continue;
        delete child.notifier;
        results()[child.host].why = QString("the name %1 was not resolved within %2 s (no answer from the name server)")
                                        .arg(child.host).arg(lookupLimitMs / 1000);
        endLookup(child.pid, child.fd, true);
    }
    m_children.clear();
}

// Two ports that reach one server (address and port) under different names.
QString HostLookup::sameServer(const QStringList &ports) const
{
    QHash<QString, QString> seen; // address:port → the port as given
    for (const QString &given : ports) {
        NetAddress a;
        QString unused;
        if (!isNetworkAddress(given) || !parseNetAddress(given, &a, &unused))
            continue;
        QStringList names = addressesOf(a.host, &unused);
        names.removeDuplicates();
        for (const QString &address : std::as_const(names)) {
            const QString server = plain(address) + " port " + QString::number(a.port);
            const QString before = seen.value(server);
            if (!before.isEmpty() && before != given)
                return given + " is a port given before (" + before + ", both " + server
                       + "): a port given twice would be written to by two commands at once";
            seen.insert(server, given);
        }
    }
    return QString();
}

QStringList HostLookup::addressesOf(const QString &host, QString *why)
{
    if (isLiteral(host))
        return {host};
    const Result r = results().value(host, Result{{}, "the name " + host + " was not looked up"});
    if (r.addresses.isEmpty())
        *why = r.why;
    return r.addresses;
}
