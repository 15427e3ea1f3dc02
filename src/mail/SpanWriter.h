#pragma once

#include <QByteArrayView>

#include <span>

// Copies a byte stream into a caller-sized buffer: at most size - 1 bytes
// plus the terminating NUL, never a byte past the end. What does not fit is
// counted and dropped. When the cut falls inside a double-byte CP932
// character, that character's lead byte is dropped too, so the buffer always
// ends on a character boundary.
class SpanWriter
{
public:
    explicit SpanWriter(std::span<char> out);

    void append(QByteArrayView bytes);
    // Writes the NUL; call once, after the last append.
    void finish();

    // Bytes offered so far, kept or not.
    qint64 total() const { return m_total; }
    qsizetype written() const { return m_written; }
    bool truncated() const { return m_total > m_written; }
    qsizetype capacity() const { return m_capacity; }

private:
    std::span<char> m_out;
    qsizetype m_capacity = 0;
    qsizetype m_written = 0;
    qint64 m_total = 0;
};

// Writes text into a caller-sized buffer the way SpanWriter does.
void writeToSpan(std::span<char> out, QByteArrayView bytes);
