#pragma once

#include <QString>

// Where and how to reach the POP3 server, parsed from the server value the
// user typed:
//   host                 port 110, upgraded with STLS when the server offers it
//   host:port            as above, on that port
//   [v6addr] [v6addr]:port
//   pop3s://host[:port]  TLS from the first byte, port 995 by default
//   pop3://host[:port]   plain text, never upgraded (for servers whose TLS is broken)
// Blanks around the value are dropped: they are the user's typing, never part
// of a host name. A bare IPv6 address without brackets ("::1") is a host on
// port 110, since its colons cannot be told apart from a port.
class Pop3Host
{
public:
    enum class Security {
        StartTlsIfOffered, // plain connection, upgraded when CAPA lists STLS
        Plain,             // plain connection, never upgraded
        Tls,               // TLS from the first byte
    };

    static Pop3Host parse(const QString& value);

    bool isValid() const { return m_valid; }
    const QString& host() const { return m_host; }
    quint16 port() const { return m_port; }
    Security security() const { return m_security; }

private:
    QString m_host;
    quint16 m_port = 0;
    Security m_security = Security::StartTlsIfOffered;
    bool m_valid = false;
};
