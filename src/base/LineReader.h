#pragma once

#include <QByteArrayView>
#include <QStringView>

#include <algorithm>

// Walks the lines of a text held in memory: the bytes of a file in code page
// 932 (QByteArrayView) or UTF-16 text (QStringView). A line ends at CR LF, LF
// or CR alone; the last line needs no line end. CR and LF never occur inside
// a double-byte CP932 character, so the split is right for Shift-JIS text too.
template <typename View> class BasicLineReader
{
public:
    struct Line
    {
        qsizetype begin = 0; // first unit of the line
        qsizetype end = 0;   // one past its last unit, line end excluded
        qsizetype next = 0;  // first unit of the next line (end + 0, 1 or 2)
        bool hasLineEnd() const { return next > end; }
    };

    explicit BasicLineReader(View text) : m_text(text) {}

    // Moves to the next line; false at the end of the text.
    bool next(Line& line)
    {
        const qsizetype size = m_text.size();
        if (m_pos >= size)
            return false;
        // Each search resumes only once the previous find is passed, so the
        // whole walk stays linear even with one kind of line end missing from
        // the text.
        if (m_nextCr < m_pos)
            m_nextCr = indexOf('\r');
        if (m_nextLf < m_pos)
            m_nextLf = indexOf('\n');
        const qsizetype end = std::min(m_nextCr, m_nextLf);
        qsizetype next = end;
        if (end < size) {
            // CR LF only when the LF is really there: a CR on the last unit
            // of the text is a line end of its own ("not found" is the size).
            const bool crLf = end == m_nextCr && end + 1 < size && m_nextLf == end + 1;
            next += crLf ? 2 : 1;
        }
        line = {m_pos, end, next};
        m_pos = next;
        return true;
    }

    View text(const Line& line) const { return m_text.sliced(line.begin, line.end - line.begin); }

private:
    // The first c at or after m_pos, or the size of the text.
    qsizetype indexOf(char c) const
    {
        const qsizetype hit = m_text.indexOf(c, m_pos);
        return hit < 0 ? m_text.size() : hit;
    }

    View m_text;
    qsizetype m_pos = 0;
    qsizetype m_nextCr = -1;
    qsizetype m_nextLf = -1;
};

using LineReader = BasicLineReader<QByteArrayView>;
