// The Telnet framing of a port on a network server: the module's bytes that
// come out are exactly those the stream carried as data, however it is cut,
// and what the framing keeps stays bounded.
#include "steps.h"

#include "cli/telnetframing.h"

#include <sanitizer/allocator_interface.h>

using namespace Telnet;

// The data in a stream, plainly: IAC IAC is 0xFF, a command and its option
// carry nothing, a subnegotiation ends only at IAC SE.
static QByteArray moduleBytes(const QByteArray &stream)
{
    enum { Data, Iac, Option, Sub, SubIac } state = Data;
    QByteArray out;
    for (const char c : stream) {
        const quint8 b = quint8(c);
        if (state == Data && b != IAC)
            out += c;
        else if (state == Data || state == Sub)
            state = b == IAC ? (state == Data ? Iac : SubIac) : state;
        else if (state == Iac && b == IAC)
            out += c, state = Data;
        else if (state == Iac)
            state = b == SB ? Sub : b >= WILL ? Option : Data;
        else if (state == Option)
            state = Data;
        else
            state = b == SE ? Data : Sub;
    }
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const quint8 *data, size_t size)
{
    // Cut points first, then the stream.
    Steps cuts(data, qMin<size_t>(size, 8));
    const QByteArray stream = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    QByteArray got;
    got.reserve(int(size) + 1);
    Client client;
    const size_t base = __sanitizer_get_current_allocated_bytes();
    for (int at = 0, n; at < stream.size(); at += n) {
        n = cuts.more() ? cuts.byte() + 1 : stream.size();
        got += client.take(stream.mid(at, n)).data;
        // What the framing holds between reads: a subnegotiation is far smaller than this.
        FUZZ_CHECK(qint64(__sanitizer_get_current_allocated_bytes()) - qint64(base) < 4096);
    }
    FUZZ_CHECK(got == moduleBytes(stream));
    return 0;
}
