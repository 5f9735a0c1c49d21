#ifndef CLI_NETADDRESS_H
#define CLI_NETADDRESS_H

#include <QString>

// A serial port behind a server on the network: socket://HOST:PORT (the raw
// byte stream) or rfc2217://HOST:PORT (Telnet with the COM-PORT option).
// HOST is a name, an IPv4 address or an IPv6 address in brackets.
struct NetAddress {
    bool telnet = false;
    QString host;       // without brackets
    quint16 port = 0;
};

// Whether a port as given names the network; it may still be malformed.
bool isNetworkAddress(const QString &given);
bool parseNetAddress(const QString &given, NetAddress *address, QString *why);
// The same server port under whatever spelling of an address literal.
QString serverKey(const NetAddress &address);

#endif
