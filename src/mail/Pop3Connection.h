#pragma once

#include "mail/Pop3Host.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QSslCertificate>
#include <QSslError>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

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
// Commands may be sent ahead of their answers (sendAhead) where the server
// announced PIPELINING (RFC 2449). Each such command is owed an answer; the
// next command() with the same line takes its answer instead of sending it
// again, so every answer is read in order and matched to its own command.
// A command() that is not the next one owed first reads and drops every owed
// answer, so a caller that strays from what it sent ahead stays in step.
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
    // be complete within one reply wait, however its bytes trickle in. When
    // line is the oldest command sent ahead, only its answer is read.
    Status command(QByteArrayView line, QByteArray* reply);

    // A command sent ahead: its line (without CRLF) and whether an answer of
    // +OK brings data after it (TOP, RETR).
    struct Ahead
    {
        QByteArray line;
        bool multiLine = false;
    };
    // Sends the lines in one write without waiting for any answer; each is
    // then owed an answer, taken by command() in the order sent. Only for a
    // server that offers pipelining, and never for a command that changes
    // the mailbox.
    Status sendAhead(const std::vector<Ahead>& commands);
    // Commands sent ahead whose answers no command() has taken yet.
    qsizetype owedAnswers() const { return qsizetype(m_owed.size()); }
    // Whether the server announced PIPELINING. Known from the capability
    // list read before login when the session was not upgraded to TLS since;
    // otherwise asked (CAPA) once, now. A list read in clear text before STLS
    // is trusted only to say no: its yes is asked again under TLS.
    bool offersPipelining();

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
    Status readStatusLine(QByteArray* line, QDeadlineTimer whole = QDeadlineTimer::Forever);
    Status readData(const std::function<void(QByteArrayView)>& sink, qsizetype cap,
                    QDeadlineTimer whole);
    Status takeStatus(QByteArray* reply, QDeadlineTimer whole = QDeadlineTimer::Forever);
    Status drainOwed(QDeadlineTimer whole);
    Status fill(QDeadlineTimer deadline);
    Status writeLine(QByteArrayView line);
    Status writeBytes(QByteArrayView bytes);
    Status readCapabilities(QByteArray* list);
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
    enum class Pipelining { Unknown, Offered, NotOffered };
    Pipelining m_pipelining = Pipelining::Unknown;
    std::deque<Ahead> m_owed; // sent ahead, answers not yet taken
    bool m_tcpConnected = false;
    bool m_broken = false;
};
