#include "mail/Pop3Host.h"

namespace {

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

QString Pop3Host::normalized(const QString& value)
{
    return value.normalized(QString::NormalizationForm_KC).trimmed();
}

QString Pop3Host::hostPort(const QString& host, quint16 port)
{
    return (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(port);
}

Pop3Host Pop3Host::parse(const QString& value, Ports ports)
{
    Pop3Host result;
    QString rest = normalized(value);
    quint16 defaultPort = ports.pop3;
    result.m_pop3sPort = ports.pop3s;

    if (rest.startsWith(u"pop3s://", Qt::CaseInsensitive)) {
        result.m_security = Security::Tls;
        defaultPort = ports.pop3s;
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
    quint16 port = 0;
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
    result.m_port = port == 0 ? defaultPort : port;
    result.m_valid = true;
    if (result.m_security == Security::StartTlsIfOffered) {
        // Without a scheme the port tells: plain POP3 can never work on the
        // pop3s port, and a provider may listen on that port alone.
        if (port == ports.pop3s)
            result.m_security = Security::Tls;
        else
            result.m_fallback = port == 0 ? Fallback::Pop3sPort : Fallback::TlsIfSilent;
    }
    return result;
}
