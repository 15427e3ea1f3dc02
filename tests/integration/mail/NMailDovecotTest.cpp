// The mail library against a real Dovecot on loopback.
#include "base/Cp932.h"
#include "dovecot/DovecotServer.h"
#include "mail/MailCheck.h"
#include "mail/NMail.h"
#include "mail/UntrustedCertificate.h"
#include "support/ClosedPort.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSslCertificate>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

constexpr int kTextSize = 8192;

// The four text buffers of a message query.
struct TextBuffers
{
    std::vector<char> subject = std::vector<char>(kTextSize, 'x');
    std::vector<char> date = std::vector<char>(kTextSize, 'x');
    std::vector<char> from = std::vector<char>(kTextSize, 'x');
    std::vector<char> header = std::vector<char>(kTextSize, 'x');
};

QByteArray text(const std::vector<char>& buffer)
{
    return QByteArray(buffer.data());
}

// A message with the awkward lines a server must dot-stuff.
QByteArray makeMessage(int n, int bodyLines)
{
    QByteArray m = "From: sender" + QByteArray::number(n) +
                   "@example.com\r\n"
                   "Subject: message " +
                   QByteArray::number(n) +
                   "\r\n"
                   " folded part\r\n"
                   "Date: Mon, 1 Jan 2024 10:00:00 +0900\r\n"
                   "\r\n";
    for (int i = 0; i < bodyLines; ++i)
        m += "line " + QByteArray::number(i) + " of message " + QByteArray::number(n) + "\r\n";
    m += ".starts with a dot\r\n..two dots\r\n.\r\nafter a lone dot\r\n";
    return m;
}

class NMailDovecot : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_server = std::make_unique<DovecotServer>();
        s_started = s_server->start();
    }
    static void TearDownTestSuite() { s_server.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(s_started) << s_server->errorText().toStdString();
        m_mail.setTimeouts(5000, 10000);
        m_mail.addCaCertificates({s_server->caCertificate()});
    }

    DovecotServer& server() { return *s_server; }

    int connect(const QString& host)
    {
        return m_mail.NMailPop3Connect(Cp932::encode(host).constData());
    }

    // The log's login lines of one user, once the one each test expects is written.
    QStringList loginLines(const QString& user)
    {
        return server().waitForLines(
            QRegularExpression(
                QStringLiteral("pop3-login:.*user=<%1>").arg(QRegularExpression::escape(user))),
            1);
    }

    QString lastMessage()
    {
        std::vector<char> buffer(kTextSize);
        int size = kTextSize;
        m_mail.NMailGetMessage(0, buffer, size);
        return Cp932::decode(QByteArrayView(buffer.data(), size));
    }

    static inline std::unique_ptr<DovecotServer> s_server;
    static inline bool s_started = false;
    NMail m_mail;
};

// The text as an input method in full-width mode leaves it.
QString fullWidth(const QString& ascii)
{
    QString wide;
    for (const QChar c : ascii)
        wide += c == u' ' ? QChar(0x3000) : QChar(c.unicode() + 0xFEE0);
    return wide;
}

TEST_F(NMailDovecot, EveryHostSyntaxConnectsAndPlainTextIsUpgradedWithStls)
{
    struct Case
    {
        QString user;
        QString host;
        QString security; // the word Dovecot logs for the session
        Pop3Host::Ports ports = {};
    };
    const quint16 plain = server().plainPort();
    const quint16 tls = server().tlsPort();
    const ClosedPort refused;
    std::vector<Case> cases{
        {"hostport", server().plainHostPort(), "TLS"},
        {"localhost", QStringLiteral("localhost:%1").arg(plain), "TLS"},
        {"blanks", QStringLiteral("  127.0.0.1:%1 ").arg(plain), "TLS"},
        {"pop3s", "pop3s://" + server().tlsHostPort(), "TLS"},
        {"pop3s127", QStringLiteral("pop3s://127.0.0.1:%1/").arg(tls), "TLS"},
        {"noupgrade", QStringLiteral("pop3://127.0.0.1:%1").arg(plain), "secured"},
        // As an input method leaves it: full-width letters, digits, colon and blank.
        {"fullwidth", fullWidth(QStringLiteral(" localhost:%1 ").arg(plain)), "TLS"},
        // The pop3s port without a scheme: TLS from the first byte.
        {"pop3sport", QStringLiteral("localhost:%1").arg(tls), "TLS", {plain, tls}},
        // A TLS port without a scheme: silent, then TLS on a second connection.
        {"silentport", QStringLiteral("localhost:%1").arg(tls), "TLS"},
        // A bare host: the POP3 port refused, then pop3s.
        {"bare", QStringLiteral("localhost"), "TLS", {refused.port(), tls}},
    };
    if (server().hasIpv6())
        cases.push_back({"ipv6", QStringLiteral("[::1]:%1").arg(plain), "TLS"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host.toStdString());
        m_mail.setDefaultPorts(c.ports);
        ASSERT_TRUE(server().addUser(c.user, "pw-" + c.user.toUtf8()));
        const int handle = connect(c.host);
        ASSERT_GE(handle, 0) << lastMessage().toStdString();
        EXPECT_EQ(m_mail.NMailPop3Authenticate(handle, c.user.toUtf8().constData(),
                                               ("pw-" + c.user.toUtf8()).constData(), 0),
                  0);
        EXPECT_EQ(m_mail.NMailPop3Close(handle), 0);
        const QStringList logins = loginLines(c.user);
        ASSERT_EQ(logins.size(), 1) << server().logText().toStdString();
        EXPECT_TRUE(logins.first().contains(", " + c.security + ","))
            << logins.first().toStdString();
        if (c.user == "ipv6") {
            EXPECT_TRUE(logins.first().contains("rip=::1")) << logins.first().toStdString();
        }
    }
}

TEST_F(NMailDovecot, AnUntrustedCertificateIsDescribedAndOnlyItsExactPinLetsItThrough)
{
    NMail plainMail; // trusts only the system store
    plainMail.setTimeouts(5000, 10000);
    ASSERT_TRUE(server().addUser("pinned", "pw"));
    const QSslCertificate served = server().serverCertificate();
    const QString stls = server().plainHostPort();
    const QString tls = "pop3s://" + server().tlsHostPort();
    // Both listeners present the certificate; the plain one through STLS.
    for (const QString& host : {tls, stls}) {
        SCOPED_TRACE(host.toStdString());
        EXPECT_EQ(plainMail.NMailPop3Connect(host.toUtf8().constData()), -1);
        const UntrustedCertificate* untrusted = plainMail.untrustedCertificate();
        ASSERT_NE(untrusted, nullptr);
        EXPECT_EQ(untrusted->certificate, served);
        EXPECT_EQ(untrusted->server, host);
        EXPECT_FALSE(untrusted->changed);
        EXPECT_EQ(untrusted->reasons(),
                  QStringLiteral("発行者が信頼できる認証局として登録されていません。"));
    }
    // Unless the user asked for plain text.
    int handle = plainMail.NMailPop3Connect(
        QStringLiteral("pop3://127.0.0.1:%1").arg(server().plainPort()).toUtf8().constData());
    EXPECT_GE(handle, 0);
    EXPECT_EQ(plainMail.untrustedCertificate(), nullptr);
    plainMail.NMailPop3Close(handle);

    // Pinned for the STLS listener: it logs in over TLS; the other port still asks.
    EXPECT_EQ(plainMail.NMailPop3Connect(stls.toUtf8().constData()), -1);
    plainMail.trustCertificate(*plainMail.untrustedCertificate());
    handle = plainMail.NMailPop3Connect(stls.toUtf8().constData());
    ASSERT_GE(handle, 0);
    EXPECT_EQ(plainMail.NMailPop3Authenticate(handle, "pinned", "pw", 0), 0);
    plainMail.NMailPop3Close(handle);
    ASSERT_EQ(loginLines("pinned").size(), 1);
    EXPECT_TRUE(loginLines("pinned").first().contains(", TLS,"));
    EXPECT_EQ(plainMail.NMailPop3Connect(tls.toUtf8().constData()), -1);
    EXPECT_NE(plainMail.untrustedCertificate(), nullptr);
}

TEST_F(NMailDovecot, APinLetsThroughOnlyTheWholeDigestOnItsOwnPort)
{
    const QByteArray digest = server().serverCertificate().digest(QCryptographicHash::Sha256);
    QByteArray firstHalfChanged = digest;
    firstHalfChanged[0] = char(firstHalfChanged[0] ^ 1);
    QByteArray secondHalfChanged = digest;
    secondHalfChanged[31] = char(secondHalfChanged[31] ^ 1);
    const quint16 port = server().plainPort();
    struct Case
    {
        const char* what;
        quint16 pinnedPort;
        QByteArray pinned;
        bool connects;
        bool changed; // asked as a certificate that differs from the pinned one
    };
    for (const Case& c :
         {Case{"exact", port, digest, true, false},
          Case{"first half differs", port, firstHalfChanged, false, true},
          Case{"second half differs", port, secondHalfChanged, false, true},
          Case{"pinned for another port", quint16(port + 1), digest, false, false}}) {
        SCOPED_TRACE(c.what);
        NMail mail; // trusts only the system store and its pins
        mail.setTimeouts(5000, 10000);
        mail.certificatePins().pin(QStringLiteral("127.0.0.1"), c.pinnedPort, c.pinned);
        const int handle = mail.NMailPop3Connect(server().plainHostPort().toUtf8().constData());
        EXPECT_EQ(handle >= 0, c.connects);
        mail.NMailPop3Close(handle);
        const UntrustedCertificate* untrusted = mail.untrustedCertificate();
        ASSERT_EQ(untrusted != nullptr, !c.connects);
        if (untrusted) {
            EXPECT_EQ(untrusted->changed, c.changed);
        }
    }
}

TEST_F(NMailDovecot, UserPassAndApopLogInAndAWrongPasswordCarriesTheServersWords)
{
    ASSERT_TRUE(server().addUser("login", "right-password"));
    ASSERT_TRUE(server().addMessage("login", makeMessage(1, 3)));
    for (const int apop : {0, -1}) {
        SCOPED_TRACE(apop);
        int handle = connect(server().plainHostPort());
        ASSERT_GE(handle, 0);
        EXPECT_EQ(m_mail.NMailPop3Authenticate(handle, "login", "right-password", apop), 1);
        m_mail.NMailPop3Close(handle);

        handle = connect(server().plainHostPort());
        ASSERT_GE(handle, 0);
        EXPECT_EQ(m_mail.NMailPop3Authenticate(handle, "login", "wrong-password", apop),
                  NMail::kErrorRefused);
        // The server named, its words, and what to try (the check's part).
        const QString message = failureText(m_mail);
        for (const QString& part :
             {QStringLiteral("POP3 サーバー「%1」へのログインに失敗しました。")
                  .arg(server().plainHostPort()),
              QStringLiteral("「ID/PASS」でアカウント名とパスワードを確かめてください。"),
              QStringLiteral("「APOP を使用する」")})
            EXPECT_TRUE(message.contains(part)) << message.toStdString();
        EXPECT_TRUE(message.contains(QStringLiteral("-ERR [AUTH] Authentication failed.")))
            << message.toStdString();
        EXPECT_FALSE(message.contains(QStringLiteral("wrong-password")));
        m_mail.NMailPop3Close(handle);
    }
    // Dovecot writes its log on its own time: wait for the line.
    EXPECT_TRUE(server()
                    .waitForLog(QRegularExpression(QStringLiteral("method=APOP")))
                    .contains(QStringLiteral("method=APOP")));
}

TEST_F(NMailDovecot, AShiftJisPasswordLogsInAsItsCp932Bytes)
{
    const QByteArray password = Cp932::encode(QStringLiteral("パスワード①～髙"));
    ASSERT_TRUE(server().addUser("sjis", password));
    for (const int apop : {0, -1}) {
        const int handle = connect(server().plainHostPort());
        ASSERT_GE(handle, 0);
        EXPECT_EQ(m_mail.NMailPop3Authenticate(handle, "sjis", password.constData(), apop), 0)
            << apop;
        m_mail.NMailPop3Close(handle);
    }
}

TEST_F(NMailDovecot, MailboxesOfZeroOneThreeAndThreeHundredMessagesComeBackByteForByte)
{
    // One by one, and pipelined (Dovecot offers it) over STLS, where the
    // capabilities are asked again under TLS, and over plain text, where they
    // are asked after the login. The three-message box holds one message
    // larger than the socket buffers, so the commands sent ahead wait behind it.
    struct Way
    {
        const char* name;
        bool pipelined;
        bool plainText;
    };
    for (const Way way : {Way{"one by one", false, false}, Way{"pipelined, TLS", true, false},
                          Way{"pipelined, plain", true, true}}) {
        for (const int count : {0, 1, 3, 300}) {
            SCOPED_TRACE(way.name);
            SCOPED_TRACE(count);
            const QString user =
                QStringLiteral("box%1x%2%3").arg(count).arg(way.pipelined).arg(way.plainText);
            ASSERT_TRUE(server().addUser(user, "pw"));
            QList<QByteArray> seeded;
            for (int i = 1; i <= count; ++i) {
                seeded.append(makeMessage(i, count == 3 && i == 2 ? 40000 : (i * 37) % 90));
                ASSERT_TRUE(server().addMessage(user, seeded.last()));
            }

            const int handle = connect(way.plainText ? "pop3://" + server().plainHostPort()
                                                     : server().plainHostPort());
            ASSERT_GE(handle, 0);
            ASSERT_EQ(m_mail.NMailPop3Authenticate(handle, user.toUtf8().constData(), "pw", 0),
                      count)
                << lastMessage().toStdString() << server().logText().toStdString();
            if (way.pipelined) {
                EXPECT_EQ(m_mail.pipelineMessages(handle, count), count > 0);
            }
            TextBuffers t;
            for (int i = 1; i <= count; ++i) {
                const QByteArray& expected = seeded[i - 1];
                ASSERT_EQ(m_mail.NMailPop3GetMailStatus(handle, i, t.subject, t.date, t.from,
                                                        t.header, 0),
                          0);
                EXPECT_EQ(text(t.subject), "message " + QByteArray::number(i) + " folded part");
                EXPECT_EQ(text(t.from), "sender" + QByteArray::number(i) + "@example.com");
                EXPECT_EQ(text(t.date), "Mon, 1 Jan 2024 10:00:00 +0900");
                EXPECT_EQ(text(t.header), expected.left(expected.indexOf("\r\n\r\n") + 2));

                const int size = m_mail.NMailPop3GetMailSize(handle, i);
                ASSERT_EQ(size, expected.size());
                std::vector<char> body(size_t(size) + 1, ' ');
                ASSERT_EQ(m_mail.NMailPop3GetMail(handle, i, t.subject, t.date, t.from, t.header,
                                                  body, 0, 0),
                          size);
                ASSERT_EQ(QByteArray(body.data(), size), expected) << "message " << i;
                EXPECT_EQ(body[size_t(size)], '\0');
            }
            EXPECT_EQ(m_mail.NMailPop3Close(handle), 0);
            EXPECT_EQ(m_mail.NMailPop3Close(handle), NMail::kErrorBadHandle); // twice is safe

            // Nothing was deleted, and the session was one connection with one login.
            EXPECT_EQ(server().messages(user), seeded);
            const QStringList logins = loginLines(user);
            ASSERT_EQ(logins.size(), 1);
            EXPECT_TRUE(logins.first().contains(QStringLiteral("Login:")));
            const QRegularExpression logout(
                QStringLiteral(
                    "pop3\\(%1\\).*Logged out retr=(\\d+)/\\d+, del=(\\d+)/\\d+, top=(\\d+)/")
                    .arg(user));
            const QString log = server().waitForLog(logout);
            const auto match = logout.match(log);
            ASSERT_TRUE(match.hasMatch()) << log.toStdString();
            EXPECT_EQ(match.captured(1).toInt(), count);
            EXPECT_EQ(match.captured(2).toInt(), 0);
            EXPECT_EQ(match.captured(3).toInt(), count);
        }
    }
}

TEST_F(NMailDovecot, ABodyLargerThanItsBufferIsCutAndTheRestDropped)
{
    ASSERT_TRUE(server().addUser("big", "pw"));
    const QByteArray message = makeMessage(1, 5000);
    ASSERT_TRUE(server().addMessage("big", message));
    const int handle = connect(server().plainHostPort());
    ASSERT_EQ(m_mail.NMailPop3Authenticate(handle, "big", "pw", 0), 1);
    TextBuffers t;
    std::vector<char> storage(1000 + 16, 'G');
    const std::span<char> body(storage.data(), 1000);
    EXPECT_EQ(m_mail.NMailPop3GetMail(handle, 1, t.subject, t.date, t.from, t.header, body, 0, 0),
              message.size());
    EXPECT_EQ(QByteArray(storage.data()), message.left(999));
    for (size_t i = 1000; i < storage.size(); ++i)
        ASSERT_EQ(storage[i], 'G') << "overrun at " << i;
    // The session is still in step: the next answer is right.
    EXPECT_EQ(m_mail.NMailPop3GetMailSize(handle, 1), message.size());
    m_mail.NMailPop3Close(handle);
}

TEST_F(NMailDovecot, CallsOnAClosedOrUnknownHandleFailCleanly)
{
    TextBuffers t;
    std::vector<char> body(10);
    EXPECT_EQ(m_mail.NMailPop3Close(-1), NMail::kErrorBadHandle);
    EXPECT_EQ(m_mail.NMailPop3Authenticate(-1, "a", "b", 0), NMail::kErrorBadHandle);
    EXPECT_EQ(m_mail.NMailPop3GetMailSize(12345, 1), NMail::kErrorBadHandle);
    EXPECT_EQ(m_mail.NMailPop3GetMail(-1, 1, t.subject, t.date, t.from, t.header, body, 0, 0),
              NMail::kErrorBadHandle);
    EXPECT_EQ(body[0], '\0');
    EXPECT_EQ(text(t.subject), "");
    EXPECT_EQ(m_mail.NMailPop3Connect("127.0.0.1:1"), -1); // nobody listens there
    EXPECT_EQ(m_mail.NMailPop3Connect(""), -1);
    EXPECT_EQ(m_mail.NMailPop3Connect("host:99999"), -1);
}

} // namespace
