// The values in the module's replies: any chunk of bytes, cut by position.
#include "steps.h"

#include "protocol/replyvalue.h"

extern "C" int LLVMFuzzerTestOneInput(const quint8 *data, size_t size)
{
    const QByteArray chunk(reinterpret_cast<const char *>(data), int(size));
    const QString text = replyText(chunk);
    FUZZ_CHECK(!text.contains(QChar(0)) && text.size() <= chunk.size());
    for (const Key::Field &field : Key::fields) {
        bool found = false;
        const QString value = replyValue(text, QLatin1String(field.key), &found);
        const int key = text.indexOf(QLatin1String(field.key));
        FUZZ_CHECK(found == (key >= 0));
        if (!found) {
            FUZZ_CHECK(value.isEmpty());
            continue;
        }
        // Two characters after the key's colon, up to its line's CR, never
        // into the next line unless the line ends within those two.
        const int colon = key + int(qstrlen(field.key)) - 1;
        const int lineFeed = text.indexOf(QLatin1Char('\n'), colon);
        FUZZ_CHECK(text.mid(colon + 2).startsWith(value));
        FUZZ_CHECK(!value.contains(QLatin1Char('\n')) || lineFeed < colon + 3);
        outputState(value);
    }
    return 0;
}
