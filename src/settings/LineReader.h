#pragma once

#include <QByteArrayView>

#include <algorithm>
#include <cstring>

// Walks the lines of a text held in memory. A line ends at CR LF, LF or CR
// alone; the last line needs no line end. CR and LF never occur inside a
// double-byte CP932 character, so the split is right for Shift-JIS text too.
class LineReader
{
public:
    struct Line
    {
        qsizetype begin = 0; // first byte of the line
        qsizetype end = 0;   // one past its last byte, line end excluded
        qsizetype next = 0;  // first byte of the next line (end + 0, 1 or 2)
        bool hasLineEnd() const { return next > end; }
    };

    explicit LineReader(QByteArrayView text) : m_text(text) {}

    // Moves to the next line; false at the end of the text.
    bool next(Line& line)
    {
        const qsizetype size = m_text.size();
        if (m_pos >= size)
            return false;
        // memchr runs fast; each search resumes only once the previous find
        // is passed, so the whole walk stays linear even with one kind of
        // line end missing from the text.
        if (m_nextCr < m_pos)
            m_nextCr = indexOf('\r');
        if (m_nextLf < m_pos)
            m_nextLf = indexOf('\n');
        const qsizetype end = std::min(m_nextCr, m_nextLf);
        qsizetype next = end;
        if (end < size)
            next += (end == m_nextCr && m_nextLf == end + 1) ? 2 : 1;
        line = {m_pos, end, next};
        m_pos = next;
        return true;
    }

    QByteArrayView text(const Line& line) const
    {
        return m_text.sliced(line.begin, line.end - line.begin);
    }

private:
    // The first c at or after m_pos, or the size of the text.
    qsizetype indexOf(char c) const
    {
        const void* hit = std::memchr(m_text.data() + m_pos, c, size_t(m_text.size() - m_pos));
        return hit ? static_cast<const char*>(hit) - m_text.data() : m_text.size();
    }

    QByteArrayView m_text;
    qsizetype m_pos = 0;
    qsizetype m_nextCr = -1;
    qsizetype m_nextLf = -1;
};
