#include "mail/Pop3Host.h"

namespace {

constexpr quint16 kPop3Port = 110;
constexpr quint16 kPop3sPort = 995;

// A port is 1 to 65535 written in decimal digits only.
bool parsePort(const QString& text, quint16& port)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    const int value = text.toInt();
    if (value < 1 || value > 65535)
        return false;
    port = quint16(value);
    return true;
}

bool hasBadCharacter(const QString& host)
{
    for (const QChar c : host) {
        if (c.isSpace() || c == u'/' || c == u'@' || c == u'[' || c == u']' || c.unicode() < 0x20)
            return true;
    }
    return false;
}

} // namespace

Pop3Host Pop3Host::parse(const QString& value)
{
    Pop3Host result;
    QString rest = value.trimmed();
    quint16 defaultPort = kPop3Port;

    if (rest.startsWith(u"pop3s://", Qt::CaseInsensitive)) {
        result.m_security = Security::Tls;
        defaultPort = kPop3sPort;
        rest = rest.mid(8);
    } else if (rest.startsWith(u"pop3://", Qt::CaseInsensitive)) {
        result.m_security = Security::Plain;
        rest = rest.mid(7);
    }
    if (result.m_security != Security::StartTlsIfOffered && rest.endsWith(u'/'))
        rest.chop(1);
    if (rest.isEmpty())
        return result;

    QString host;
    quint16 port = defaultPort;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 2)
            return result;
        host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(u':') || !parsePort(after.mid(1), port))
                return result;
        }
        for (const QChar c : host) {
            // Hex digits, colons and dots, and a zone after '%' ("fe80::1%eth0").
            if (!(c.isLetterOrNumber() || c == u':' || c == u'.' || c == u'%' || c == u'_' ||
                  c == u'-'))
                return result;
        }
    } else {
        const qsizetype colons = rest.count(u':');
        if (colons == 1) {
            const qsizetype colon = rest.indexOf(u':');
            host = rest.left(colon);
            if (!parsePort(rest.mid(colon + 1), port))
                return result;
        } else {
            host = rest; // no port, or a bare IPv6 address
        }
        if (host.isEmpty() || hasBadCharacter(host))
            return result;
    }

    result.m_host = host;
    result.m_port = port;
    result.m_valid = true;
    return result;
}
