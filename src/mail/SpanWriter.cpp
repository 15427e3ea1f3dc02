#include "mail/SpanWriter.h"

#include "base/Cp932.h"

#include <cstring>

SpanWriter::SpanWriter(std::span<char> out)
    : m_out(out), m_capacity(out.empty() ? 0 : qsizetype(out.size()) - 1)
{
    if (!m_out.empty())
        m_out[0] = '\0';
}

void SpanWriter::append(QByteArrayView bytes)
{
    m_total += bytes.size();
    const qsizetype room = m_capacity - m_written;
    const qsizetype n = bytes.size() < room ? bytes.size() : room;
    if (n > 0) {
        std::memcpy(m_out.data() + m_written, bytes.data(), size_t(n));
        m_written += n;
    }
}

void SpanWriter::finish()
{
    if (m_out.empty())
        return;
    if (truncated() && m_written > 0) {
        // A byte below 0x40 is never the second half of a double-byte
        // character, so characters start right after the last such byte;
        // walk forward from there to find whether the last one is whole.
        const auto* data = reinterpret_cast<const unsigned char*>(m_out.data());
        qsizetype start = m_written;
        while (start > 0 && data[start - 1] >= 0x40)
            --start;
        qsizetype pos = start;
        while (pos < m_written)
            pos += Cp932::isLeadByte(data[pos]) ? 2 : 1;
        if (pos > m_written)
            --m_written;
    }
    m_out[size_t(m_written)] = '\0';
}

void writeToSpan(std::span<char> out, QByteArrayView bytes)
{
    SpanWriter writer(out);
    writer.append(bytes);
    writer.finish();
}
