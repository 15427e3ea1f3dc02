#pragma once

#include "mail/CertificatePins.h"
#include "mail/Pop3Connection.h"
#include "mail/Pop3Dialer.h"
#include "mail/Pop3Host.h"
#include "mail/UntrustedCertificate.h"

#include <QList>
#include <QSslCertificate>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <span>

// The mail library: a POP3 client behind the operations the mail check calls.
// One object is owned by the application. Every call is synchronous and runs
// on the user-interface thread; every wait inside it is bounded: connect and
// TLS handshake 15 s; each status line, the capability list and the header of
// TOP 30 s in all and 64 KiB at most; only a whole message (RETR) may take
// longer, as long as no wait for more data runs past 30 s.
//
// Text crosses the boundary as NUL-terminated CP932 bytes. Every output
// buffer is a caller-sized span: at most its size is written, NUL included,
// never past its end, and a cut never splits a double-byte character.
//
// Buffers of a message query (GetMailStatus, GetMail):
//   subject  the first Subject field's value, unfolded, raw bytes
//   date     the first Date field's value
//   from     the first From field's value
//   header   the whole header block (CRLF line ends, without the empty line)
//   body     (GetMail only) the whole message as stored on the server: header,
//            empty line and body, dot-unstuffed; what does not fit is read
//            and dropped
// On failure the text buffers hold empty strings (or what arrived before the
// failure) and NMailGetMessage tells what went wrong.
//
// Messages are never deleted: no path sends DELE.
//
// How the server is reached (its addresses, the port, TLS or STLS, the
// fallbacks) is Pop3Dialer's to decide; this class asks it for a session and
// tells the user what happened.
//
// The message loop: a caller about to ask status, size and the whole
// message of every message in turn (TOP n 0, LIST n, RETR n for n = 1, 2,
// ...) may say so with pipelineMessages(). The calls, their order and their
// results then stay exactly as without it; only the way to the server
// changes (Pop3Connection::planMessages). Where the server announced
// PIPELINING, the commands go out ahead of their answers and each call takes
// the answer owed to its own command. Where it did not, the loop costs one
// round trip per message: the sizes come from one LIST, and a message's
// status from the header of its RETR, so no TOP is sent.
//
// Server certificates verify against the system store plus SSL_CERT_FILE and
// SSL_CERT_DIR (see TrustStore), or match the certificate the user pinned for
// that server (see CertificatePins). A connection whose certificate does
// neither fails before any password is sent; when the user could vouch for
// the certificate, untrustedCertificate() describes it so the caller can ask,
// pin it with trustCertificate() and connect again.
class NMail
{
public:
    // Failure results; each negative, each kind its own value.
    static constexpr int kErrorRefused = -1;         // the server refused (login, command)
    static constexpr int kErrorNoApopTimestamp = -2; // APOP asked, greeting has no <timestamp>
    static constexpr int kErrorConnectionLost = -3;  // link closed or broken
    static constexpr int kErrorTimeout = -4;         // no answer within the bound
    static constexpr int kErrorProtocol = -5;        // an answer that is not POP3 (or too long)
    static constexpr int kErrorBadHandle = -6;       // no open connection with this handle
    static constexpr int kErrorBadArgument = -7;     // account or password not sendable (CR, LF)

    static constexpr int kDefaultConnectTimeoutMs = 15000;
    static constexpr int kDefaultReplyTimeoutMs = 30000;

    NMail();
    ~NMail(); // closes every open connection without waiting
    NMail(const NMail&) = delete;
    NMail& operator=(const NMail&) = delete;

    int NMailInitializeWinSock(); // returns 0
    // Option 1: the size of the text buffers the caller hands over. Nothing
    // needs it (the spans carry their own sizes); returns 0.
    int NMailSetOption(int option, int value);
    int NMailEndWinSock(); // closes everything; returns 0

    // host: NUL-terminated CP932, syntax of Pop3Host. Returns a handle >= 0,
    // or -1 with the reason in NMailGetMessage.
    int NMailPop3Connect(const char* host);
    // The same with the server value as the user wrote it.
    int NMailPop3Connect(const QString& server);
    // apop non-zero: APOP login; otherwise USER and PASS. Then STAT.
    // Returns the message count, or one of the Error values.
    int NMailPop3Authenticate(int handle, const char* id, const char* pass, int apop);
    // The same with the account as text, sent as CP932.
    int NMailPop3Authenticate(int handle, const QString& id, const QString& pass, bool apop);
    // TOP no 0 (within the message loop without pipelining, the header of
    // RETR no). Returns 0, or one of the Error values.
    int NMailPop3GetMailStatus(int handle, int no, std::span<char> subject, std::span<char> date,
                               std::span<char> from, std::span<char> header, int flag);
    // LIST no (within the message loop without pipelining, from the one
    // LIST where it gave the size). Returns the size the server gives, at most INT_MAX - 1 so that
    // size + 1 still fits an int; a negative or unreadable size is kErrorProtocol.
    int NMailPop3GetMailSize(int handle, int no);
    // RETR no. Returns the number of message bytes received (at most INT_MAX),
    // whether or not they all fitted the body buffer, or one of the Error values.
    int NMailPop3GetMail(int handle, int no, std::span<char> subject, std::span<char> date,
                         std::span<char> from, std::span<char> header, std::span<char> body,
                         int flag, int reserved);
    // The caller will now ask, for each message from 1 to count in order,
    // NMailPop3GetMailStatus, NMailPop3GetMailSize and NMailPop3GetMail.
    // Returns true when those commands will be pipelined; false when the
    // server does not offer it (asking it with CAPA when that is not known
    // yet) and the calls cost one round trip per message. A call out of that
    // order ends the plan: the answers already on their way are read and dropped.
    bool pipelineMessages(int handle, int count);
    // The most commands sent ahead whose answers are not yet read.
    static constexpr int kPipelineWindow = Pop3Connection::kPipelineWindow;

    // What went wrong in the last failed call: the kinds the caller may
    // explain to the user, each with its own way out.
    enum class Failure {
        None,
        BadServerValue, // not a server value Pop3Host reads
        HostNotFound,   // no such name
        ConnectRefused, // the connection refused, or nothing answers there (on any port tried)
        NoAnswer,       // no answer within the bound
        SilentPort,     // connected, and the server sent nothing (a port that waits for TLS?)
        ConnectionLost, // the link closed or broke
        NotPop3,        // an answer that is not POP3 (or too long)
        Tls,            // no TLS: a broken handshake, or a certificate nobody can vouch for
        UntrustedCertificate, // a certificate the user may choose to trust
        Refused,              // the server refused a command
        LoginRefused,         // the server refused the login
        NoApopTimestamp,      // APOP asked, the greeting has no <timestamp>
        UnsendableAccount,    // account or password with CR or LF
        NotConnected,         // no open connection with this handle
        BadSize,              // LIST gave no readable size
    };
    Failure lastFailure() const { return m_lastFailure; }

    // The text of the last failure, in Japanese, NUL-terminated CP932, into
    // at most min(buffer size, size) bytes; size becomes the length written
    // without the NUL. Returns that length. It tells what happened, naming
    // the server value, with the server's own words when it said any; what
    // the user can try is the caller's to add. Never holds a password.
    int NMailGetMessage(int flag, std::span<char> buffer, int& size);
    // QUIT, then close. Safe on any handle, twice, after a broken link.
    // Returns 0, or kErrorBadHandle when the handle is not open.
    int NMailPop3Close(int handle);

    // After a failed NMailPop3Connect: the server's certificate when it did
    // not verify and the user may choose to trust it; null otherwise.
    const UntrustedCertificate* untrustedCertificate() const;
    // Trusts exactly this certificate for its server from now on. Returns
    // true when the pin was stored, false when it holds for this run only.
    bool trustCertificate(const UntrustedCertificate& certificate);
    // Where pins are kept; set its file to keep them beyond this run.
    CertificatePins& certificatePins() { return m_pins; }

    int replyTimeoutMs() const { return m_replyTimeoutMs; }

    // Test seams.
    void setTimeouts(int connectMs, int replyMs);
    // The ports a server value without one means.
    void setDefaultPorts(Pop3Host::Ports ports) { m_ports = ports; }
    // Where host names are looked up (the system's when empty).
    void setResolver(Pop3Dialer::Resolver resolve) { m_resolve = std::move(resolve); }
    void addCaCertificates(const QList<QSslCertificate>& cas);

    // The last failure text (for tests and callers inside the program).
    const QString& lastMessage() const { return m_lastMessage; }

private:
    // One open connection and the server value it was opened with.
    struct Session
    {
        std::unique_ptr<Pop3Connection> connection;
        QString server; // as the user wrote it, for texts
        Pop3Host host;
    };

    Session* session(int handle);
    int failWith(int code, Failure kind, const QString& text);
    QString serverWords(const QByteArray& reply) const;
    int failConnection(Pop3Connection::Status status, const QByteArray& serverReply,
                       const Session& session);
    // The failure of a connection that did not open; session holds the
    // connection the dialer handed back, if any.
    int failDial(const Pop3Dialer::Result& dialed, const Session& session);
    QString tlsFailureText(const Session& session) const;
    int queryMessage(int handle, int no, std::span<char> subject, std::span<char> date,
                     std::span<char> from, std::span<char> header, std::span<char>* body);
    const QList<QSslCertificate>& trustedCertificates();

    std::map<int, Session> m_sessions;
    int m_nextHandle = 1;
    int m_connectTimeoutMs = kDefaultConnectTimeoutMs;
    int m_replyTimeoutMs = kDefaultReplyTimeoutMs;
    Pop3Host::Ports m_ports;
    Pop3Dialer::Resolver m_resolve;
    QList<QSslCertificate> m_extraCas;
    // System store, environment and extra certificates, built at the first
    // connection and again when the environment's variables change.
    QList<QSslCertificate> m_trusted;
    std::optional<QByteArray> m_trustedFor;
    CertificatePins m_pins;
    std::optional<UntrustedCertificate> m_untrusted;
    QString m_lastMessage;
    Failure m_lastFailure = Failure::None;
    QByteArray m_password; // of the login under way, to keep it out of texts
    QByteArray m_reply;    // the status line of the last message command, its memory reused
};

// The part of text before the first U+0000, or all of it.
QString CutAtNul(const QString& text);
