#pragma once

#include "mail/Pop3Host.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QSslCertificate>
#include <QSslError>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSslSocket;

// One POP3 session over TCP or TLS, driven synchronously: every call blocks
// on the socket's waitFor* functions with a deadline and never runs an event
// loop, so no timer or other handler runs while it talks to the server. It
// begins on a socket already connected (Pop3Dialer chooses where and how).
//
// Once the link breaks, a wait runs out or the server says something that is
// not POP3, the session is dropped (the socket aborted) and every later call
// fails at once with ConnectionLost: a session out of step with its server
// cannot be trusted again.
//
// The message commands of a check (messageCommand, messageSize) follow the
// plan the caller announced (planMessages); the session knows which command
// each answer on its way belongs to, so every answer is taken by its own
// call. Where the server announced PIPELINING (RFC 2449), the commands go
// out ahead of their answers, at most kPipelineWindow unanswered at any
// time. Where it did not, they cost one round trip per message: the sizes
// come from one LIST read with the plan, and the header step sends RETR and
// reads the message's header from it, the message step reading on from
// there. A call that strays from the plan first reads and drops every answer
// still owed, so the session stays in step.
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
        Silent,         // the server accepted the connection and sent nothing
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

    // Takes over socket, connected to the server called host (the name its
    // certificate must carry), and with tls makes the TLS handshake within
    // handshakeMs; the trusted certificates are loaded before that time starts.
    // The greeting's reply bound starts now.
    Status begin(qintptr socket, const QString& host, bool tls, int handshakeMs);
    // Reads the greeting. A plain-text server that has sent no byte when look
    // passes is Silent, and the session stays open to be read on; one that
    // has sent nothing within the reply bound is Silent and dropped. A
    // greeting of -ERR is ServerError, with the greeting kept.
    Status readGreeting(QDeadlineTimer look = QDeadlineTimer::Forever);
    // Asks CAPA and switches to TLS when STLS is listed, before any login,
    // so no password crosses the network in clear where the server can do better.
    Status upgradeIfOffered(const QString& host);

    // Sends one command line (CRLF added) and reads its status line into
    // reply (without CRLF). Ok for +OK, ServerError for -ERR. The line must
    // be complete within one reply wait, however its bytes trickle in. A
    // message plan under way ends first: the answers still owed to it are
    // read and dropped.
    Status command(QByteArrayView line, QByteArray* reply);

    // The commands of a check's message loop: the header (TOP n 0), the
    // size (LIST n) and the whole message (RETR n) of one message.
    enum class MessageStep { Header, Size, Message };
    static constexpr int kMessageSteps = 3;
    // The caller will now ask, for each message from 1 to count in order,
    // the header, the size and the whole message. Returns true when those
    // commands go out ahead of their answers; false when the server does not
    // offer pipelining (asking it with CAPA when that is not known yet), and
    // then, for up to kMaxListed messages, the sizes are read now from one LIST.
    bool planMessages(qint64 count);
    // Sends the command of the header or message step of message no, or
    // takes the answer owed to it, and reads its status line as command()
    // does; readMultiLine() then reads its data. Within a plan without
    // pipelining, the header step's answer is that of RETR, read only up to
    // the end of the header (64 KiB at most), and the message step's data
    // begins again at the message's first byte.
    Status messageCommand(MessageStep step, qint64 no, QByteArray* reply);
    // The size of message no, as LIST no gives it or as the plan's one LIST
    // gave it; -1 in size when an answer of +OK holds no readable size.
    Status messageSize(qint64 no, QByteArray* reply, qint64* size);
    static constexpr qint64 kMaxListed = 65536;
    // The most commands sent ahead whose answers are not yet read. A few
    // hundred bytes of commands: they always fit the socket buffers, so the
    // client never blocks writing while the server waits for it to read.
    static constexpr int kPipelineWindow = 16;
    // Whether the server announced PIPELINING. Known from the capability
    // list read before login when the session was not upgraded to TLS since;
    // otherwise asked (CAPA) once, now. A list read in clear text before STLS
    // is trusted only to say no: its yes is asked again under TLS.
    bool offersPipelining();

    // The decimal number at the start of text (after blanks); false for a
    // sign, no digits or anything but a blank after them.
    static bool parseNumber(QByteArrayView text, qint64& value);

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
    // Where a multi-line answer's data stands between reads.
    struct DataRead
    {
        qsizetype taken = 0;     // bytes consumed
        bool atLineStart = true; // the next byte begins a line
        bool done = false;       // the terminating line was read
    };
    Status readData(const std::function<void(QByteArrayView)>& sink, qsizetype cap,
                    QDeadlineTimer whole, DataRead& read, const std::function<bool()>& pause = {});
    Status roundTrip(MessageStep step, qint64 no, QByteArray* reply);
    Status sendAndTake(QByteArrayView line, QByteArray* reply);
    void readSizes(qint64 count);
    Status readRetr(const std::function<void(QByteArrayView)>& sink);
    Status takeStatus(QByteArray* reply, QDeadlineTimer whole = QDeadlineTimer::Forever);
    Status drainOwed(QDeadlineTimer whole);
    Status sendAhead();
    Status fill(QDeadlineTimer deadline);
    Status writeLine(QByteArrayView line);
    Status writeBytes(QByteArrayView bytes);
    Status readCapabilities(QByteArray* list);
    Status startTls(const QString& host);
    Status handshake(const QString& host, int ms);
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
    // The announced message commands, numbered from 0: command k is step
    // k % kMessageSteps of message k / kMessageSteps + 1. Those from taken to
    // sent are owed an answer.
    struct Plan
    {
        qint64 taken = 0; // commands whose call has come
        qint64 sent = 0;  // commands sent
        qint64 end = 0;   // commands announced
        bool ahead = false;
    };
    std::optional<Plan> m_plan;
    // Without pipelining: the sizes of the plan's one LIST, by message
    // number from 1; -1 where it gave none.
    std::vector<qint64> m_sizes;
    // LIST n, asked at the header step of a message the one LIST did not give.
    struct Listed
    {
        qint64 no = 0;
        Status status = Status::Ok;
        QByteArray reply;
    };
    std::optional<Listed> m_listed;
    // RETR n, sent at the header step: its data handed over up to the end
    // of the header, kept to be handed again at the message step.
    struct OpenRetr
    {
        qint64 no = 0;
        Status status = Status::Ok;
        QByteArray reply;
        QByteArray held;
        DataRead read;
        bool headerRead = false;
    };
    std::optional<OpenRetr> m_retr;
    QDeadlineTimer m_greetingDeadline;
    bool m_broken = false;
};
