#pragma once

#include "mail/Pop3Host.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QSslCertificate>

#include <functional>
#include <memory>

class QSslSocket;

// One POP3 session over TCP or TLS, driven synchronously: every call blocks
// on the socket's waitFor* functions with a deadline and never runs an event
// loop, so no timer or other handler runs while it talks to the server.
//
// Once the link breaks, a wait runs out or the server says something that is
// not POP3, the session is dropped (the socket aborted) and every later call
// fails at once with ConnectionLost: a session out of step with its server
// cannot be trusted again.
class Pop3Connection
{
public:
    enum class Status {
        Ok,
        ServerError,    // the server answered -ERR
        Timeout,        // no answer within the bound
        ConnectionLost, // the link closed or broke
        ProtocolError,  // an answer that is not POP3, or a line beyond the limit
        ConnectFailed,  // no TCP connection or no greeting
        TlsFailed,      // TLS handshake or certificate check failed
    };

    // The longest status line accepted, CRLF included.
    static constexpr qsizetype kMaxStatusLine = 64 * 1024;

    Pop3Connection(int connectTimeoutMs, int replyTimeoutMs, QList<QSslCertificate> extraCas);
    ~Pop3Connection();
    Pop3Connection(const Pop3Connection&) = delete;
    Pop3Connection& operator=(const Pop3Connection&) = delete;

    // Connects, reads the greeting and, for a plain connection that may be
    // upgraded, asks CAPA and switches to TLS when STLS is listed.
    Status open(const Pop3Host& host);

    // Sends one command line (CRLF added) and reads its status line into
    // reply (without CRLF). Ok for +OK, ServerError for -ERR.
    Status command(QByteArrayView line, QByteArray* reply);

    // Reads the data of a multi-line answer after its +OK, dot-unstuffed, up
    // to and without the terminating line, handing it to sink in pieces as it
    // arrives. Each wait for more data is bounded by the reply timeout.
    Status readMultiLine(const std::function<void(QByteArrayView)>& sink);

    // Sends QUIT and waits a bounded time for its answer, then closes.
    void quit();
    // Closes at once.
    void abort();

    bool isUsable() const;
    bool isEncrypted() const;
    const QByteArray& greeting() const { return m_greeting; }
    // For a failed TLS handshake: what the TLS layer said.
    const QString& tlsErrorText() const { return m_tlsError; }

private:
    Status fail(Status status);
    Status readStatusLine(QByteArray* line);
    Status fill(QDeadlineTimer deadline);
    Status writeLine(QByteArrayView line);
    Status startTls(const QString& host);
    void configureTls(const QString& host);

    std::unique_ptr<QSslSocket> m_socket;
    int m_connectTimeoutMs;
    int m_replyTimeoutMs;
    QList<QSslCertificate> m_extraCas;
    QByteArray m_pending; // received, not yet consumed
    qsizetype m_pendingPos = 0;
    QByteArray m_greeting;
    QString m_tlsError;
    bool m_broken = false;
};
