#pragma once

// Shared by the fuzz targets: structured values read off the fuzzer's bytes,
// and a check that stops the run when a property does not hold.

#include <QByteArrayView>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size)
        : m_data(reinterpret_cast<const char*>(data)), m_size(qsizetype(size))
    {}

    bool atEnd() const { return m_pos >= m_size; }
    // The next byte; 0 once the input is used up.
    uint8_t byte() { return atEnd() ? 0 : uint8_t(m_data[m_pos++]); }
    // The next n bytes, or fewer at the end.
    QByteArrayView take(qsizetype n)
    {
        n = std::min(n, m_size - m_pos);
        const QByteArrayView piece(m_data + m_pos, n);
        m_pos += n;
        return piece;
    }
    // A piece of 0 to 255 bytes, its length in the byte before it.
    QByteArrayView piece() { return take(byte()); }
    QByteArrayView rest() { return take(m_size - m_pos); }

private:
    const char* m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
};

// Stops the fuzzer with the broken property in its report.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
