#pragma once

#include "mail/Pop3Connection.h"
#include "mail/Pop3Host.h"

#include <QHostAddress>
#include <QList>

#include <functional>
#include <memory>
#include <vector>

// How the server is reached: turns a server value into an open POP3 session,
// greeted and, where the server offers it, switched to TLS.
//
// The name is resolved once and its addresses raced (AddressRace); the name,
// the race and a TLS handshake share the connect bound. The value says TLS
// from the first byte or STLS, and which fallback it allows:
//   - a bare host whose port 110 refuses, does not answer or sends nothing
//     is tried with pop3s on port 995 (its attempts join the race after the
//     silent look, or at once when every attempt on 110 has failed);
//   - a port given without a scheme that accepts and sends nothing for the
//     silent look (3 s) is tried over TLS on a second connection to the same
//     address; the first stays open, and is read on if TLS does not work.
// A fallback is always to TLS with the certificate checked as always, and a
// scheme the user wrote (pop3://, pop3s://) is never crossed.
class Pop3Dialer
{
public:
    using Status = Pop3Connection::Status;
    // The addresses of a host name (an address stands for itself); none when
    // the name does not resolve.
    using Resolver = std::function<QList<QHostAddress>(const QString& host)>;
    // The pinned SHA-256 of the server's certificate on a port, or empty.
    using PinFor = std::function<QByteArray(quint16 port)>;

    static constexpr int kSilentLookMs = 3000;

    struct Settings
    {
        int connectTimeoutMs = 0;
        int replyTimeoutMs = 0;
        Pop3Connection::TrustedCertificates trusted;
        PinFor pinned;
        Resolver resolve; // the system's when empty
    };

    // What happened on one port when more than one was tried.
    struct PortTried
    {
        quint16 port = 0;
        bool tls = false;
        Status status = Status::ConnectFailed; // ConnectFailed, Timeout, Silent or TlsFailed
        int waitedMs = 0;
        QString tlsError;
    };

    struct Result
    {
        Status status = Status::HostNotFound;
        // Open when Ok; otherwise the session whose failure tells what
        // happened (its greeting, certificate, TLS error), or null when none
        // was connected.
        std::unique_ptr<Pop3Connection> connection;
        quint16 port = 0;              // the port of that session
        int waitedMs = 0;              // the bound that ran out, when one did
        QList<QHostAddress> addresses; // every address a connection was tried to
        // Filled when the bare host's ports 110 and 995 both failed: the
        // status is then ConnectFailed.
        std::vector<PortTried> ports;
    };

    explicit Pop3Dialer(Settings settings);
    Result dial(const Pop3Host& host) const;

    // The system's addresses for host, each once.
    static QList<QHostAddress> systemResolve(const QString& host);

private:
    struct Leg;
    std::unique_ptr<Pop3Connection> newConnection(quint16 port) const;
    Leg startTls(qintptr socket, quint16 port, const Pop3Host& host, int handshakeMs) const;
    static PortTried tried(quint16 port, const Pop3Connection& connection, Status status);
    int silentLookMs() const;

    Settings m_settings;
};
