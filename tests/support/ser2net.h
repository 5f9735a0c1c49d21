#ifndef SER2NET_H
#define SER2NET_H

#include <QProcess>
#include <QStringList>

// Debian's ser2net in front of modules' pseudo-terminals, on loopback ports
// only, with a configuration written into a folder of the test's.
class Ser2net
{
public:
    explicit Ser2net(const QString &dir) : m_dir(dir) {}
    ~Ser2net() { stop(); }

    // A server port in front of device, raw or RFC 2217, on IPv4's or IPv6's
    // loopback, as dudaze-cli takes it (socket://127.0.0.1:PORT,
    // rfc2217://[::1]:PORT, …); taken up by start().
    QString serve(const QString &device, bool telnet, bool ipv6 = false);
    // Starts it and waits until every port listens.
    bool start();
    void stop();
    QString errors();

private:
    QString m_dir;
    QStringList m_config;
    QList<quint16> m_ports;
    QProcess m_process;
};

// A loopback port nothing listens on: free for a server, refused to a client.
quint16 freeLoopbackPort();
// Whether this machine has IPv6's loopback (some containers have none).
bool hasIpv6Loopback();

// A loopback listener that takes no connection and whose queue is full, so
// that a connection to it is never answered; closed with the object.
class SilentListener
{
public:
    SilentListener();
    ~SilentListener();
    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    int m_filler = -1;
    quint16 m_port = 0;
};

#endif
