// Trusting a server's certificate, from the check's question to the pin file
// and back, against a real Dovecot whose certificates the system does not know.
#include "dovecot/DovecotServer.h"
#include "support/Controls.h"
#include "support/EnvOverride.h"
#include "support/app/AppHarness.h"

#include "mail/CertificatePins.h"
#include "mail/MsgForm.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QString kCouldNot = QStringLiteral("メールを確認できませんでした。");
const QString kChanged = QStringLiteral("前回信頼した証明書から変わっています");

class CertificateTrust : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.start()) << m_server.errorText().toStdString();
        ASSERT_TRUE(m_server.addUser(QStringLiteral("trust"), "pw"));
        for (int i = 1; i <= 3; ++i)
            ASSERT_TRUE(m_server.addMessage(
                QStringLiteral("trust"), "Subject: " + QByteArray::number(i) + "\r\n\r\nhi\r\n"));
        m_app.writeFile(m_app.idPassPath(), "[EXEINI]\r\nNAME=trust\r\nNAME2=pw\r\n");
    }

    // Starts the program afresh (as after a restart) with this server value.
    AppContext& startProgram(const QString& server)
    {
        m_app.stop();
        m_app.writeFile(m_app.orvendaPath, "POP3=" + server.toUtf8() + "\r\n");
        AppContext& ctx = m_app.create();
        ctx.mail.setTimeouts(5000, 10000);
        m_app.start();
        return ctx;
    }
    AppContext& ctx() { return *m_app.ctx; }
    void check() { m_app.main().Label8_Click(); }
    QString result1() { return child<QLineEdit>(ctx().msgForm.get(), "Text1")->text(); }
    QString result2() { return child<QLineEdit>(ctx().msgForm.get(), "Text2")->text(); }
    QString pinsPath() const
    {
        return m_app.dataFolder + u'/' + QLatin1String(CertificatePins::kFileName);
    }
    QByteArray pins() const { return m_app.readFile(pinsPath()); }
    // Successful logins of the test user, or those of them that ran over TLS,
    // once at least `expected` are written.
    int logins(bool tlsOnly = false, int expected = 0) const
    {
        const QRegularExpression login(
            QStringLiteral("Login: user=<trust>.*%1").arg(tlsOnly ? ", TLS," : ""));
        return int(m_server.waitForLines(login, expected).size());
    }
    // The fingerprint as the question shows it: two lines of 16 bytes.
    static QStringList fingerprintLines(const QSslCertificate& certificate)
    {
        const QString hex = QString::fromLatin1(
            certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
        return {hex.left(47), hex.mid(48)};
    }
    static QByteArray pinLine(const QString& host, quint16 port, const QSslCertificate& cert)
    {
        return host.toUtf8() + ' ' + QByteArray::number(port) + ' ' +
               cert.digest(QCryptographicHash::Sha256).toHex() + "\r\n";
    }

    DovecotServer m_server;
    AppHarness m_app;
};

TEST_F(CertificateTrust, StlsCertificateIsAskedAboutPinnedAcrossRestartsAndAskedAgainWhenChanged)
{
    const QString server = m_server.plainHostPort();
    const QSslCertificate first = m_server.serverCertificate();
    // A pins file with lines of its own, which stay as they are.
    const QByteArray foreign = "# kept\r\nnot a pin at all\r\n\xff\xfe\r\nother.example 995 " +
                               QByteArray(64, 'a') + "\r\n";
    m_app.writeFile(pinsPath(), foreign);

    // いいえ: no password goes out, nothing is stored, the check failed.
    startProgram(server);
    ctx().msgBox.queueAnswer(MessageBoxes::No);
    check();
    ASSERT_EQ(ctx().msgBox.shown().size(), 1);
    const MessageBoxes::Shown question = ctx().msgBox.shown()[0];
    EXPECT_EQ(question.title, QStringLiteral("エラー"));
    EXPECT_EQ(question.style,
              MessageBoxes::YesNo | MessageBoxes::DefaultButton2 | MessageBoxes::Question);
    for (const QString& part :
         QStringList{u'「' + server + u'」',
                     QStringLiteral("発行者が信頼できる認証局として登録されていません。"),
                     QStringLiteral("発行先: CN=localhost"),
                     QStringLiteral("発行者: CN=Kestrova Test CA"), QStringLiteral("有効期間: "),
                     QStringLiteral("今後この証明書を信頼しますか")} +
             fingerprintLines(first))
        EXPECT_TRUE(question.prompt.contains(part)) << part.toStdString();
    EXPECT_FALSE(question.prompt.contains(kChanged));
    EXPECT_EQ(result1(), kCouldNot);
    EXPECT_EQ(result2(), QStringLiteral("-"));
    EXPECT_FALSE(m_app.main().state().PlaneOut);
    EXPECT_EQ(logins(), 0);
    EXPECT_FALSE(m_server.logText().contains(QStringLiteral("user=<trust>")));
    EXPECT_EQ(pins(), foreign);

    // はい: pinned, and the check logs in over TLS and fetches every message.
    ctx().msgBox.queueAnswer(MessageBoxes::Yes);
    check();
    EXPECT_EQ(ctx().msgBox.shown().size(), 2);
    EXPECT_EQ(result2(), QStringLiteral("3"));
    EXPECT_EQ(logins(true, 1), 1);
    EXPECT_TRUE(
        m_server
            .waitForLog(QRegularExpression(QStringLiteral("pop3\\(trust\\).*Logged out retr=3/")))
            .contains(QStringLiteral("retr=3/")));
    EXPECT_EQ(pins(), foreign + pinLine(QStringLiteral("127.0.0.1"), m_server.plainPort(), first));

    // The next check and the next start do not ask.
    check();
    EXPECT_EQ(ctx().msgBox.shown().size(), 2);
    EXPECT_EQ(result2(), QStringLiteral("3"));
    startProgram(server);
    check();
    EXPECT_TRUE(ctx().msgBox.shown().isEmpty());
    EXPECT_EQ(result2(), QStringLiteral("3"));
    EXPECT_EQ(logins(true, 3), 3);

    // A new certificate on the same port, as a stock install makes: asked
    // again, saying that it changed; はい replaces the pin.
    ASSERT_TRUE(m_server.replaceCertificate(DovecotServer::CertificateKind::SelfSigned))
        << m_server.errorText().toStdString();
    const QSslCertificate second = m_server.serverCertificate();
    ctx().msgBox.queueAnswer(MessageBoxes::Yes);
    check();
    ASSERT_EQ(ctx().msgBox.shown().size(), 1);
    const QString changed = ctx().msgBox.shown()[0].prompt;
    for (const QString& part :
         QStringList{kChanged, QStringLiteral("自己署名の証明書"),
                     QStringLiteral("証明書が「127.0.0.1」のものではありません。"),
                     QStringLiteral("発行先: CN=mail.kestrova-test.example")} +
             fingerprintLines(second))
        EXPECT_TRUE(changed.contains(part)) << part.toStdString() << "\n" << changed.toStdString();
    EXPECT_EQ(result2(), QStringLiteral("3"));
    EXPECT_EQ(pins(), foreign + pinLine(QStringLiteral("127.0.0.1"), m_server.plainPort(), second));
}

TEST_F(CertificateTrust, Pop3sIsAskedAboutAndPinnedTheSameWay)
{
    const QString server = QStringLiteral("pop3s://localhost:%1").arg(m_server.tlsPort());
    startProgram(server);
    ctx().msgBox.queueAnswer(MessageBoxes::No);
    check();
    ASSERT_EQ(ctx().msgBox.shown().size(), 1);
    EXPECT_TRUE(ctx().msgBox.shown()[0].prompt.contains(u'「' + server + u'」'));
    EXPECT_EQ(result1(), kCouldNot);
    EXPECT_EQ(logins(), 0);

    ctx().msgBox.queueAnswer(MessageBoxes::Yes);
    check();
    EXPECT_EQ(result2(), QStringLiteral("3"));
    EXPECT_EQ(logins(true, 1), 1);
    EXPECT_EQ(pins().count(pinLine(QStringLiteral("localhost"), m_server.tlsPort(),
                                   m_server.serverCertificate())),
              1);

    startProgram(server);
    check();
    EXPECT_TRUE(ctx().msgBox.shown().isEmpty());
    EXPECT_EQ(result2(), QStringLiteral("3"));
}

TEST_F(CertificateTrust, CertificatesNamedBySslCertFileOrSslCertDirAreTrustedWithoutAQuestion)
{
    // A hashed folder as c_rehash makes it, with a file that is no certificate.
    QProcess hash;
    hash.start(QStringLiteral("openssl"),
               {QStringLiteral("x509"), QStringLiteral("-hash"), QStringLiteral("-noout"),
                QStringLiteral("-in"), m_server.caCertificatePath()});
    ASSERT_TRUE(hash.waitForFinished(30000));
    const QString folder = m_app.root.path() + QStringLiteral("/certs");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::link(m_server.caCertificatePath(),
                            folder + u'/' + QString::fromLatin1(hash.readAll().trimmed()) +
                                QStringLiteral(".0")));
    m_app.writeFile(folder + QStringLiteral("/README"), "not a certificate\n");

    startProgram(m_server.plainHostPort());
    {
        EnvOverride file("SSL_CERT_FILE", QFile::encodeName(m_server.caCertificatePath()));
        check();
        EXPECT_TRUE(ctx().msgBox.shown().isEmpty());
        EXPECT_EQ(result2(), QStringLiteral("3"));
    }
    {
        EnvOverride dir("SSL_CERT_DIR", "/no/such/folder:" + QFile::encodeName(folder));
        check();
        EXPECT_TRUE(ctx().msgBox.shown().isEmpty());
        EXPECT_EQ(result2(), QStringLiteral("3"));
    }
    {
        // A pipe nobody writes to is passed over, not waited on.
        const QString fifo = m_app.root.path() + QStringLiteral("/fifo");
        ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        EnvOverride file("SSL_CERT_FILE", QFile::encodeName(fifo));
        check();
        EXPECT_EQ(ctx().msgBox.shown().size(), 1);
    }
    // Without them the same program asks.
    check();
    EXPECT_EQ(ctx().msgBox.shown().size(), 2);
    EXPECT_EQ(result2(), QStringLiteral("-"));
    EXPECT_EQ(logins(true, 2), 2);
}

TEST_F(CertificateTrust, APinThatCannotBeStoredHoldsForThisRunOnly)
{
    // Something that is not a file where the pins would go.
    ASSERT_TRUE(QDir().mkpath(pinsPath()));
    const QString server = m_server.plainHostPort();
    startProgram(server);
    ctx().msgBox.queueAnswer(MessageBoxes::Yes);
    check();
    EXPECT_EQ(result2(), QStringLiteral("3"));
    check();
    EXPECT_EQ(ctx().msgBox.shown().size(), 1);
    EXPECT_EQ(result2(), QStringLiteral("3"));

    startProgram(server);
    check();
    EXPECT_EQ(ctx().msgBox.shown().size(), 1); // asked again, answered いいえ
    EXPECT_EQ(result2(), QStringLiteral("-"));
    EXPECT_TRUE(QFileInfo(pinsPath()).isDir());
}

} // namespace
