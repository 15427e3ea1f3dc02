#include "mail/MailHeaderParser.h"

#include <algorithm>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Case-insensitive equality, with the length compared first: most field
// names differ from the three wanted ones in length already.
bool isName(QByteArrayView name, QByteArrayView wanted)
{
    return name.size() == wanted.size() && name.compare(wanted, Qt::CaseInsensitive) == 0;
}

QByteArrayView trimmed(QByteArrayView v)
{
    while (!v.isEmpty() && (isBlank(v.front()) || v.front() == '\r' || v.front() == '\n'))
        v = v.sliced(1);
    while (!v.isEmpty() && (isBlank(v.back()) || v.back() == '\r' || v.back() == '\n'))
        v.chop(1);
    return v;
}

} // namespace

MailHeaderParser::MailHeaderParser(std::span<char> subject, std::span<char> date,
                                   std::span<char> from, std::span<char> header)
    : m_subject(subject), m_date(date), m_from(from), m_header(header)
{
    m_cap = std::max({qsizetype(subject.size()), qsizetype(date.size()), qsizetype(from.size()),
                      qsizetype(header.size()), qsizetype(2)});
}

void MailHeaderParser::feed(QByteArrayView bytes)
{
    while (!m_done && !bytes.isEmpty()) {
        const qsizetype lf = bytes.indexOf('\n');
        const QByteArrayView piece = lf < 0 ? bytes : bytes.first(lf + 1);
        bytes = bytes.sliced(piece.size());
        if (lf >= 0 && m_line.isEmpty()) {
            endLine(piece.first(std::min(m_cap, piece.size())));
            continue;
        }
        const qsizetype room = m_cap - m_line.size();
        if (room > 0)
            m_line.append(piece.first(std::min(room, piece.size())));
        if (lf < 0)
            return;
        endLine(m_line);
        m_line.truncate(0); // keeps its memory for the next split line
    }
}

// line: one physical line as received, cut at m_cap.
void MailHeaderParser::endLine(QByteArrayView line)
{
    QByteArrayView content = line;
    if (content.endsWith('\n'))
        content.chop(1);
    if (content.endsWith('\r'))
        content.chop(1);
    if (content.isEmpty()) {
        m_done = true;
        flushField();
        return;
    }
    m_header.append(line);
    if (isBlank(content.front())) {
        const qsizetype room = m_cap - m_field.size();
        if (m_keepField && room > 0)
            m_field.append(content.data(), size_t(std::min(room, content.size())));
    } else {
        flushField();
        startField(content);
    }
}

// Keeps a field only while its value may still be wanted: most header lines
// are neither Subject, Date nor From, or come after the first of their name.
// A first line without a colon is kept: its name may end on the next line.
void MailHeaderParser::startField(QByteArrayView content)
{
    const qsizetype colon = content.indexOf(':');
    if (colon == 0)
        return;
    if (colon > 0) {
        const QByteArrayView name = trimmed(content.first(colon));
        if (!(!m_haveSubject && isName(name, "Subject")) &&
            !(!m_haveDate && isName(name, "Date")) && !(!m_haveFrom && isName(name, "From")))
            return;
    }
    m_keepField = true;
    m_field.append(content.data(), size_t(content.size()));
}

void MailHeaderParser::flushField()
{
    if (!m_keepField)
        return;
    m_keepField = false;
    const QByteArrayView field(m_field.data(), qsizetype(m_field.size()));
    const qsizetype colon = field.indexOf(':');
    if (colon > 0) {
        const QByteArrayView name = trimmed(field.first(colon));
        const QByteArrayView value = trimmed(field.sliced(colon + 1));
        if (!m_haveSubject && isName(name, "Subject")) {
            m_subject.append(value);
            m_haveSubject = true;
        } else if (!m_haveDate && isName(name, "Date")) {
            m_date.append(value);
            m_haveDate = true;
        } else if (!m_haveFrom && isName(name, "From")) {
            m_from.append(value);
            m_haveFrom = true;
        }
    }
    m_field.clear(); // keeps its memory for the next wanted field
}

void MailHeaderParser::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (!m_done) {
        if (!m_line.isEmpty())
            endLine(m_line);
        flushField();
        m_done = true;
    }
    m_subject.finish();
    m_date.finish();
    m_from.finish();
    m_header.finish();
}
