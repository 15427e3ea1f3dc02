#include "mail/MailHeaderParser.h"

#include <algorithm>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
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
        const qsizetype room = m_cap - m_line.size();
        if (room > 0)
            m_line.append(piece.first(std::min(room, piece.size())));
        if (lf < 0)
            return;
        endLine();
        bytes = bytes.sliced(lf + 1);
    }
}

void MailHeaderParser::endLine()
{
    QByteArrayView content(m_line);
    if (content.endsWith('\n'))
        content.chop(1);
    if (content.endsWith('\r'))
        content.chop(1);
    if (content.isEmpty()) {
        m_done = true;
        flushField();
        m_line.clear();
        return;
    }
    m_header.append(m_line);
    if (isBlank(content.front())) {
        const qsizetype room = m_cap - m_field.size();
        if (room > 0)
            m_field.append(content.first(std::min(room, content.size())));
    } else {
        flushField();
        m_field = content.toByteArray();
    }
    m_line.clear();
}

void MailHeaderParser::flushField()
{
    if (m_field.isEmpty())
        return;
    const qsizetype colon = m_field.indexOf(':');
    if (colon > 0) {
        const QByteArrayView name = trimmed(QByteArrayView(m_field).first(colon));
        const QByteArrayView value = trimmed(QByteArrayView(m_field).sliced(colon + 1));
        if (!m_haveSubject && name.compare("Subject", Qt::CaseInsensitive) == 0) {
            m_subject.append(value);
            m_haveSubject = true;
        } else if (!m_haveDate && name.compare("Date", Qt::CaseInsensitive) == 0) {
            m_date.append(value);
            m_haveDate = true;
        } else if (!m_haveFrom && name.compare("From", Qt::CaseInsensitive) == 0) {
            m_from.append(value);
            m_haveFrom = true;
        }
    }
    m_field.clear();
}

void MailHeaderParser::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (!m_done) {
        if (!m_line.isEmpty())
            endLine();
        flushField();
        m_done = true;
    }
    m_subject.finish();
    m_date.finish();
    m_from.finish();
    m_header.finish();
}
