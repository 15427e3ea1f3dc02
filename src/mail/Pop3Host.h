#pragma once

#include <QString>

// Where and how to reach the POP3 server, parsed from the server value the
// user typed:
//   host                 port 110, upgraded with STLS when the server offers
//                        it; when 110 is refused, does not answer or sends
//                        nothing, pop3s on port 995
//   host:995             TLS from the first byte: 995 is the pop3s port
//   host:port            as host, on that port; a port that accepts but says
//                        nothing is tried once more over TLS
//   [v6addr] [v6addr]:port
//   pop3s://host[:port]  TLS from the first byte, port 995 by default
//   pop3://host[:port]   plain text, never upgraded (for servers whose TLS is broken)
// The value is read in its compatibility form (NFKC), so the full-width
// letters and digits an input method leaves behind ("ｐｏｐ．ｅｘａｍｐｌｅ．ｊｐ：９９５")
// read as their ASCII ones; blanks around it are dropped: they are the
// user's typing, never part of a host name. A bare IPv6 address without
// brackets ("::1") is a host on port 110, since its colons cannot be told
// apart from a port.
class Pop3Host
{
public:
    enum class Security {
        StartTlsIfOffered, // plain connection, upgraded when CAPA lists STLS
        Plain,             // plain connection, never upgraded
        Tls,               // TLS from the first byte
    };
    // What else is tried when the port does not answer as POP3 should.
    enum class Fallback {
        None,
        TlsIfSilent, // a port that accepts and sends nothing: TLS on it
        Pop3sPort,   // a port that refuses, does not answer or sends nothing: pop3s
    };
    // The standard ports; tests put others in.
    struct Ports
    {
        quint16 pop3 = 110;
        quint16 pop3s = 995;
    };

    static Pop3Host parse(const QString& value, Ports ports);
    static Pop3Host parse(const QString& value) { return parse(value, Ports()); }
    // The value as it is read: compatibility form, blanks around it dropped.
    static QString normalized(const QString& value);
    // "host:port" as a server value writes it, brackets around an IPv6 address.
    static QString hostPort(const QString& host, quint16 port);

    bool isValid() const { return m_valid; }
    const QString& host() const { return m_host; }
    quint16 port() const { return m_port; }
    Security security() const { return m_security; }
    Fallback fallback() const { return m_fallback; }
    // The port of the pop3s fallback.
    quint16 pop3sPort() const { return m_pop3sPort; }

private:
    QString m_host;
    quint16 m_port = 0;
    quint16 m_pop3sPort = 0;
    Security m_security = Security::StartTlsIfOffered;
    Fallback m_fallback = Fallback::None;
    bool m_valid = false;
};
