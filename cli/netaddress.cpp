#include "netaddress.h"

#include <QHostAddress>
#include <QUrl>

namespace {
const QLatin1String rawScheme("socket://"), telnetScheme("rfc2217://");
}

bool isNetworkAddress(const QString &given)
{
    return given.startsWith(rawScheme, Qt::CaseInsensitive) || given.startsWith(telnetScheme, Qt::CaseInsensitive);
}

bool parseNetAddress(const QString &given, NetAddress *a, QString *why)
{
    const QUrl url(given);
    a->telnet = given.startsWith(telnetScheme, Qt::CaseInsensitive);
    if (!url.isValid() || url.host().isEmpty() || url.port() < 1 || !url.path().isEmpty() || !url.userInfo().isEmpty()
            || url.hasQuery() || url.hasFragment()) {
        *why = "'" + given + "' is not " + (a->telnet ? "rfc2217" : "socket") + "://HOST:PORT (a host name or address, an IPv6 address in"
               " brackets, a port from 1 to 65535)";
        return false;
    }
    a->host = url.host(); // without brackets, in lower case
    a->port = quint16(url.port());
    return true;
}

QString serverKey(const NetAddress &a)
{
    QHostAddress literal;
    QString host = literal.setAddress(a.host) ? literal.toString() : a.host;
    // An IPv4 address written as IPv6 is the same server.
    bool v4 = false;
    const quint32 ip4 = literal.toIPv4Address(&v4);
    if (v4)
        host = QHostAddress(ip4).toString();
    return "net:" + host + ':' + QString::number(a.port);
}
