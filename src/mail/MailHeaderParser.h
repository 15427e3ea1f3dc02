#pragma once

#include "mail/SpanWriter.h"

#include <QByteArray>

#include <span>
#include <string>

// Reads the header block at the start of a message as it streams past and
// fills the four text buffers of a message query:
//   subject  the value of the first Subject field
//   date     the value of the first Date field
//   from     the value of the first From field
//   header   the whole header block as sent (CRLF line ends), without the
//            empty line that ends it
// Field values are unfolded (the CRLF before a continuation line is removed,
// its blank kept), stripped of the blanks around them and left as raw bytes
// (encoded words are not decoded). Each buffer is cut to its size and
// NUL-terminated. Memory stays within the largest of the four buffers: a
// longer header line is cut.
class MailHeaderParser
{
public:
    MailHeaderParser(std::span<char> subject, std::span<char> date, std::span<char> from,
                     std::span<char> header);

    // Feeds the next bytes of the message; bytes after the header are ignored.
    void feed(QByteArrayView bytes);
    // Ends the header where the data ended when no empty line came; writes the NULs.
    void finish();

private:
    void endLine(QByteArrayView line);
    void startField(QByteArrayView content);
    void flushField();

    SpanWriter m_subject;
    SpanWriter m_date;
    SpanWriter m_from;
    SpanWriter m_header;
    bool m_haveSubject = false;
    bool m_haveDate = false;
    bool m_haveFrom = false;
    bool m_done = false;
    bool m_finished = false;
    qsizetype m_cap = 0;
    // A physical line split between two pieces, cut at m_cap; a line that
    // arrives whole in one piece is read where it lies, without a copy.
    QByteArray m_line;
    // The logical (unfolded) field being read, cut at m_cap; kept only for a
    // field whose value is still wanted, empty otherwise.
    std::string m_field;
    bool m_keepField = false;
};
