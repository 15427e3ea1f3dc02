#pragma once

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A throw-away Dovecot POP3 server on loopback for tests. Everything lives in
// a temporary folder: configuration, a self-signed CA and the server's
// certificate (made with openssl), a passwd-file of a {PLAIN} password per user, one
// maildir per user, the log. Listens on two free high ports, plain (with STLS)
// and TLS, on 127.0.0.1 and, where the machine has it, ::1. USER/PASS and APOP
// logins both work; failed logins are answered at once. Stopped in the
// destructor; its processes also end when the test process dies without
// stopping it (a crash, a time limit), so none outlives its test. The
// configuration is dovecot-2.3.conf or dovecot-2.4.conf beside this file, in
// the installed Dovecot's words (write_config.sh): a setting goes into both.
//
//   DovecotServer server;
//   ASSERT_TRUE(server.start()) << server.errorText().toStdString();
//   server.addUser("alice", "secret");
//   server.addMessage("alice", "Subject: hi\r\n\r\nbody\r\n");
//   ... connect to server.plainHostPort() or "pop3s://" + server.tlsHostPort()
//       trusting server.caCertificate() ...
//   server.messages("alice"); server.logText();
class DovecotServer
{
public:
    DovecotServer();
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    // Makes the certificates and configuration and starts Dovecot; returns
    // when it accepts connections. False, with errorText(), when it could not.
    bool start();
    void stop();
    bool isRunning() const { return m_masterPid > 0; }
    QString errorText() const { return m_error; }

    // Adds a user (or replaces its password). The password is taken byte for
    // byte: a Japanese password is given as its CP932 bytes. Works before and
    // after start(). Neither may contain ':' or a line break; the user name no '/'.
    bool addUser(const QString& user, const QByteArray& password);
    // Puts one message (bytes as stored, CRLF line ends) into the user's
    // maildir; messages are numbered in the order they were added.
    bool addMessage(const QString& user, const QByteArray& bytes);
    // The messages in the user's maildir, in the order they were added.
    QList<QByteArray> messages(const QString& user) const;

    quint16 plainPort() const { return m_plainPort; }
    quint16 tlsPort() const { return m_tlsPort; }
    // "127.0.0.1:port" of the plain listener (STLS offered).
    QString plainHostPort() const;
    // "localhost:port" of the TLS listener; the certificate is for
    // localhost, 127.0.0.1 and ::1.
    QString tlsHostPort() const;
    // True when Dovecot listens on ::1 as well.
    bool hasIpv6() const { return m_ipv6; }

    QString caCertificatePath() const;
    QSslCertificate caCertificate() const;
    // The certificate the server presents now.
    QSslCertificate serverCertificate() const;

    enum class CertificateKind {
        SignedByTestCa, // for localhost, 127.0.0.1 and ::1, signed by caCertificate()
        SelfSigned,     // like a stock install: self-signed, for another host name
    };
    // Gives the server a new key and certificate of that kind. When Dovecot
    // runs, it reloads them on the same ports and this returns once a new
    // connection is served the new certificate.
    bool replaceCertificate(CertificateKind kind);
    QString logText() const;
    // Dovecot's processes hand their lines to its log process, which writes
    // them a moment after the session they tell of: a test reads the log
    // through these, which wait for what it expects.
    // The log once pattern matches it, or as it is after timeoutMs.
    QString waitForLog(const QRegularExpression& pattern, int timeoutMs = kLogWaitMs) const;
    // The lines that match pattern once there are at least count of them,
    // or those there are after timeoutMs.
    QStringList waitForLines(const QRegularExpression& pattern, int count,
                             int timeoutMs = kLogWaitMs) const;
    static constexpr int kLogWaitMs = 30000;
    QString directory() const;

private:
    bool makeCertificates();
    bool makeServerCertificate(CertificateKind kind, const QString& keyFile,
                               const QString& certFile);
    bool waitUntilServed(const QSslCertificate& certificate);
    bool writeConfig();
    // Starts the master on the configured ports and waits until it serves.
    enum class Started { Yes, No, PortTaken };
    Started startAndWait();
    bool writePasswd(const QString& user, const QByteArray& password);
    bool runTool(const QString& program, const QStringList& args);
    QString homeOf(const QString& user) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_error;
    quint16 m_plainPort = 0;
    quint16 m_tlsPort = 0;
    bool m_ipv6 = false;
    qint64 m_masterPid = 0;
    uint m_uid = 0;
    uint m_gid = 0;
    int m_messageCounter = 0;
    QList<QPair<QString, QByteArray>> m_users;
};
