#include "netaddress.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace {
const QLatin1String rawScheme("socket://"), telnetScheme("rfc2217://");
}

bool isNetworkAddress(const QString &given)
{
    return given.startsWith(rawScheme, Qt::CaseInsensitive) || given.startsWith(telnetScheme, Qt::CaseInsensitive);
}

bool parseNetAddress(const QString &given, NetAddress *a, QString *why)
{
    a->telnet = given.startsWith(telnetScheme, Qt::CaseInsensitive);
    const QString rest = given.mid(a->telnet ? telnetScheme.size() : rawScheme.size());
    static const QRegularExpression form(QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([A-Za-z0-9._-]+)):([0-9]{1,5})$"));
    const QRegularExpressionMatch m = form.match(rest);
    const int port = m.hasMatch() ? m.captured(3).toInt() : 0;
    const QString scheme = a->telnet ? QStringLiteral("rfc2217") : QStringLiteral("socket");
    if (!m.hasMatch() || port < 1 || port > 65535
            || (m.capturedLength(1) > 0 && QHostAddress(m.captured(1)).protocol() != QAbstractSocket::IPv6Protocol)) {
        *why = "'" + given + "' is not " + scheme + "://HOST:PORT (a host name or address, an IPv6 address in brackets,"
               " a port from 1 to 65535)";
        return false;
    }
    a->host = m.capturedLength(1) > 0 ? m.captured(1) : m.captured(2);
    a->port = quint16(port);
    return true;
}

QString serverKey(const NetAddress &a)
{
    QHostAddress literal;
    QString host = literal.setAddress(a.host) ? literal.toString() : a.host.toLower();
    // An IPv4 address written as IPv6 is the same server.
    bool v4 = false;
    const quint32 ip4 = literal.toIPv4Address(&v4);
    if (v4)
        host = QHostAddress(ip4).toString();
    return "net:" + host + ':' + QString::number(a.port);
}
