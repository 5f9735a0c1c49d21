// Network port addresses as typed: an accepted one names a host and a port
// in range, and written out again it reads the same.
#include "steps.h"

#include "cli/netaddress.h"

extern "C" int LLVMFuzzerTestOneInput(const quint8 *data, size_t size)
{
    Steps steps(data, size);
    static const char *const schemes[] = {"socket://", "rfc2217://", ""};
    const QString given = QLatin1String(schemes[steps.byte() % 3])
            + QString::fromUtf8(reinterpret_cast<const char *>(data), int(size)).mid(1);
    NetAddress a;
    QString why;
    // The programs parse only what names the network.
    if (!isNetworkAddress(given) || !parseNetAddress(given, &a, &why))
        return 0;
    FUZZ_CHECK(!a.host.isEmpty() && a.port >= 1);
    const QString host = a.host.contains(QLatin1Char(':')) ? '[' + a.host + ']' : a.host;
    const QString again = QLatin1String(a.telnet ? "rfc2217://" : "socket://") + host + ':' + QString::number(a.port);
    NetAddress b;
    FUZZ_CHECK(parseNetAddress(again, &b, &why));
    FUZZ_CHECK(b.host == a.host && b.port == a.port && b.telnet == a.telnet && serverKey(b) == serverKey(a));
    return 0;
}
