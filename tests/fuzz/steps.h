#ifndef FUZZ_STEPS_H
#define FUZZ_STEPS_H

#include "protocol/timing.h"

#include <cstdio>
#include <cstdlib>

// A property the target holds for every input; libFuzzer keeps the input that breaks it.
#define FUZZ_CHECK(cond) ((cond) ? void() : (std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond), std::abort()))

// The fuzzer's bytes read as steps against a fake clock: a pause, then one
// thing the module or the operator does.
class Steps
{
public:
    Steps(const quint8 *data, size_t size) : m_at(data), m_end(data + size) {}
    bool more() const { return m_at < m_end; }
    quint8 byte() { return more() ? *m_at++ : 0; }
    // A short pause, or one just below, at or just above a time constant of the program.
    int delay()
    {
        const int b = byte();
        if (b < 128)
            return b;
        return Timing::constants[size_t(b - 128) / 3 % (sizeof Timing::constants / sizeof *Timing::constants)].ms + (b - 128) % 3 - 1;
    }
    // A length, then up to that many bytes.
    QByteArray bytes()
    {
        const int n = int(qMin<size_t>(byte(), m_end - m_at));
        m_at += n;
        return QByteArray(reinterpret_cast<const char *>(m_at - n), n);
    }

private:
    const quint8 *m_at, *m_end;
};

#endif
