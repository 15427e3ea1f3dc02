#pragma once

#include "mail/Pop3Host.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QSslCertificate>
#include <QSslError>

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
//
// A server certificate is accepted when it verifies against the trusted
// certificates handed in, or when its SHA-256 equals the pinned digest (the
// certificate the user chose to trust for this server). Otherwise the
// handshake fails and the certificate and its errors are kept for the caller.
class Pop3Connection
{
public:
    enum class Status {
        Ok,
        ServerError,    // the server answered -ERR
        Timeout,        // no answer within the bound
        ConnectionLost, // the link closed or broke
        ProtocolError,  // an answer that is not POP3, or an answer beyond its size limit
        HostNotFound,   // the name does not resolve
        ConnectFailed,  // no TCP connection: refused or unreachable
        TlsFailed,      // TLS handshake or certificate check failed
    };

    // How a multi-line answer is bounded. A short answer (CAPA, the header of
    // TOP) holds at most kMaxShortAnswer bytes and must be complete within
    // one reply wait; a long one (RETR) may be any size and take any time as
    // long as no wait for more data runs out.
    enum class Length { Short, Long };

    // The longest status line accepted, CRLF included.
    static constexpr qsizetype kMaxStatusLine = 64 * 1024;
    // The most a short multi-line answer may hold.
    static constexpr qsizetype kMaxShortAnswer = 64 * 1024;

    // The certificates a server's chain may end in; asked for only when TLS
    // starts, since loading them costs more than a plain session.
    using TrustedCertificates = std::function<const QList<QSslCertificate>&()>;

    // pinnedSha256: the SHA-256 of the one certificate accepted however it
    // verifies, or empty.
    Pop3Connection(int connectTimeoutMs, int replyTimeoutMs, TrustedCertificates trusted,
                   QByteArray pinnedSha256);
    ~Pop3Connection();
    Pop3Connection(const Pop3Connection&) = delete;
    Pop3Connection& operator=(const Pop3Connection&) = delete;

    // Connects, reads the greeting and, for a plain connection that may be
    // upgraded, asks CAPA and switches to TLS when STLS is listed. A greeting
    // of -ERR is ServerError, with the greeting kept.
    Status open(const Pop3Host& host);

    // Sends one command line (CRLF added) and reads its status line into
    // reply (without CRLF). Ok for +OK, ServerError for -ERR. The line must
    // be complete within one reply wait, however its bytes trickle in.
    Status command(QByteArrayView line, QByteArray* reply);

    // Reads the data of a multi-line answer after its +OK, dot-unstuffed, up
    // to and without the terminating line, handing it to sink in pieces as it
    // arrives, bounded as length says.
    Status readMultiLine(const std::function<void(QByteArrayView)>& sink, Length length);

    // Sends QUIT and waits a bounded time for its answer, then closes.
    void quit();
    // Closes at once.
    void abort();

    bool isUsable() const;
    bool isEncrypted() const;
    const QByteArray& greeting() const { return m_greeting; }
    // For a failed TLS handshake: what the TLS layer said.
    const QString& tlsErrorText() const { return m_tlsError; }
    // For a handshake that failed on the certificate: the server's
    // certificate and why it did not verify. Empty otherwise.
    const QSslCertificate& rejectedCertificate() const { return m_rejectedCertificate; }
    const QList<QSslError>& certificateErrors() const { return m_certificateErrors; }
    // The bound, in milliseconds, of the last wait that began.
    int lastWaitMs() const { return m_lastWaitMs; }

private:
    Status fail(Status status);
    Status readStatusLine(QByteArray* line);
    Status fill(QDeadlineTimer deadline);
    Status writeLine(QByteArrayView line);
    Status startTls(const QString& host);
    Status connectFailure(const QDeadlineTimer& deadline) const;
    Status handshakeFailure(const QDeadlineTimer& deadline);
    void configureTls(const QString& host);
    void checkCertificate(const QList<QSslError>& errors);
    QDeadlineTimer startWait(int ms);

    std::unique_ptr<QSslSocket> m_socket;
    int m_connectTimeoutMs;
    int m_replyTimeoutMs;
    int m_lastWaitMs = 0;
    TrustedCertificates m_trusted;
    QByteArray m_pinnedSha256;
    QByteArray m_pending; // received, not yet consumed
    qsizetype m_pendingPos = 0;
    QByteArray m_greeting;
    QString m_tlsError;
    QSslCertificate m_rejectedCertificate;
    QList<QSslError> m_certificateErrors;
    bool m_tcpConnected = false;
    bool m_broken = false;
};
