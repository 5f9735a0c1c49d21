#include "ser2net.h"

#include "testdata.h"

#include <QFile>
#include <QTcpServer>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Whether something listens on the loopback port (the kernel's table, so
// that the check itself makes no connection).
bool listening(quint16 port)
{
    const QByteArray hex = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    const QByteArray local = "0100007F" + hex, local6 = "00000000000000000000000001000000" + hex;
    for (const QByteArray &line : fileContents("/proc/net/tcp").split('\n') + fileContents("/proc/net/tcp6").split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() > 3 && (f.at(1) == local || f.at(1) == local6) && f.at(3) == "0A")
            return true;
    }
    return false;
}

} // namespace

bool hasIpv6Loopback()
{
    return QTcpServer().listen(QHostAddress::LocalHostIPv6);
}

quint16 freeLoopbackPort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

QString Ser2net::serve(const QString &device, bool telnet, bool ipv6)
{
    const quint16 port = freeLoopbackPort();
    m_ports << port;
    // As the README configures it: "local", a pseudo-terminal has no modem
    // lines to watch; no gathering wait before the module's bytes go out.
    m_config << QString("connection: &module%1\n"
                        "  accepter: %2tcp,%4,%1\n"
                        "  connector: serialdev,%3,115200n81,local\n"
                        "  options:\n"
                        "    chardelay: false\n")
                    .arg(port).arg(telnet ? "telnet(rfc2217)," : "", device, ipv6 ? "::1" : "127.0.0.1");
    return QString("%1://%2:%3").arg(telnet ? "rfc2217" : "socket", ipv6 ? "[::1]" : "127.0.0.1").arg(port);
}

bool Ser2net::start()
{
    // As the README runs it: with whatever device locking it has (none in
    // Debian's build, which our programs make up for by seeing it hold the device).
    const QString config = writeFile(m_dir + "/ser2net.yaml", m_config.join('\n').toUtf8());
    m_process.start(QStringLiteral("ser2net"), {"-n", "-c", config});
    if (!m_process.waitForStarted())
        return false;
    for (int waited = 0; waited < 5000; waited += 20) {
        if (std::all_of(m_ports.begin(), m_ports.end(), listening))
            return true;
        if (m_process.state() != QProcess::Running)
            return false;
        QTest::qWait(20);
    }
    return false;
}

QString Ser2net::errors()
{
    return m_process.state() == QProcess::NotRunning && m_process.error() == QProcess::FailedToStart
        ? m_process.errorString() : QString::fromLocal8Bit(m_process.readAllStandardError());
}

void Ser2net::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000))
        m_process.kill();
    m_process.waitForFinished(1000);
}

SilentListener::SilentListener()
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    // A queue of one, filled by a connection of our own: the kernel then
    // drops every further connection's first packet, as an absent host would.
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&a), size) != 0 || ::listen(m_listener, 0) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&a), &size) != 0)
        return;
    m_port = ntohs(a.sin_port);
    m_filler = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(m_filler, reinterpret_cast<sockaddr *>(&a), size);
}

SilentListener::~SilentListener()
{
    for (int fd : {m_filler, m_listener})
        if (fd >= 0)
            ::close(fd);
}
