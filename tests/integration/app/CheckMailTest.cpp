// The mail check from the main window's command to the result window, against
// a real Dovecot on loopback.

#include "dovecot/DovecotServer.h"
#include "support/app/AppHarness.h"

#include "flight/Form1.h"
#include "mail/MsgForm.h"
#include "settings/Cp932.h"
#include "settings/IdPassForm.h"
#include "settings/SetForm.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {

const QString kNew = QStringLiteral("新着メールが有ります。");
const QString kNone = QStringLiteral("新着メールはありませんでした。");

QByteArray message(int i)
{
    return "From: sender@example.net\r\nSubject: message " + QByteArray::number(i) +
           "\r\n\r\nline one\r\n.starts with a dot\r\n";
}

class MailCheck : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_server = new DovecotServer;
        if (!s_server->start())
            FAIL() << s_server->errorText().toStdString();
        s_server->addUser(QStringLiteral("empty"), "pw-empty");
        s_server->addUser(QStringLiteral("three"), "pw-three");
        for (int i = 1; i <= 3; ++i)
            s_server->addMessage(QStringLiteral("three"), message(i));
        s_server->addUser(QStringLiteral("apopuser"), "apop-secret");
        s_server->addMessage(QStringLiteral("apopuser"), message(1));
        s_server->addUser(QStringLiteral("nihon"), Cp932::encode(QStringLiteral("表ソ能パス")));
        s_server->addMessage(QStringLiteral("nihon"), message(1));
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }

    // A program whose server value points at the test server (plain listener,
    // upgraded to TLS by STLS, so the test's CA is trusted).
    AppContext& startWith(const QString& server, const QByteArray& account, int apop = 0)
    {
        QByteArray orvenda = "SMTP=\r\nPOP3=" + Cp932::encode(server) +
                             "\r\nMAIL=\r\nAPOP=" + QByteArray::number(apop) + "\r\n";
        h.writeFile(h.orvendaPath, orvenda);
        if (!account.isNull())
            h.writeFile(h.idPassPath(), account);
        AppContext& ctx = h.create();
        ctx.mail.addCaCertificates({s_server->caCertificate()});
        ctx.mail.setTimeouts(2000, 3000);
        h.start();
        return ctx;
    }
    static QByteArray account(const QByteArray& name, const QByteArray& password)
    {
        return "[EXEINI]\r\nNAME=" + name + "\r\nNAME2=" + password + "\r\n";
    }
    QString result1() { return h.ctx->msgForm->Text1->text(); }
    QString result2() { return h.ctx->msgForm->Text2->text(); }
    static int logins(const QString& user)
    {
        const QString log = s_server->logText();
        return int(log.count(QRegularExpression(QStringLiteral("Login: user=<") +
                                                QRegularExpression::escape(user) + '>')));
    }

    static DovecotServer* s_server;
    AppHarness h;
};

DovecotServer* MailCheck::s_server = nullptr;

} // namespace

TEST_F(MailCheck, EmptyMailboxReportsNoMail)
{
    AppContext& ctx = startWith(s_server->plainHostPort(), account("empty", "pw-empty"));
    h.main().Label8_Click();
    EXPECT_EQ(result1(), kNone);
    EXPECT_EQ(result2(), QStringLiteral("0"));
    EXPECT_TRUE(ctx.msgForm->isVisible());
    EXPECT_TRUE(ctx.msgBox.shown().isEmpty());
    EXPECT_FALSE(h.main().PlaneOut);
    EXPECT_FALSE(ctx.form1->isVisible());
    EXPECT_EQ(ctx.values.UserId, QStringLiteral("empty"));
    EXPECT_EQ(ctx.idPassForm->IdText->text(), QStringLiteral("empty"));
    EXPECT_EQ(ctx.idPassForm->PassText->text(), QStringLiteral("pw-empty"));
    EXPECT_FALSE(ctx.idPassForm->isVisible());
    EXPECT_EQ(h.hangUpCount, 0);
}

TEST_F(MailCheck, ThreeMessagesAreFetchedKeptAndReportedTwice)
{
    AppContext& ctx = startWith(s_server->plainHostPort(), account("three", "pw-three"));
    const int before = logins(QStringLiteral("three"));

    h.main().mcheck_Click();
    EXPECT_EQ(result1(), kNew);
    EXPECT_EQ(result2(), QStringLiteral("3"));
    EXPECT_TRUE(h.main().PlaneOut);
    EXPECT_TRUE(ctx.form1->isVisible());
    EXPECT_EQ(s_server->messages(QStringLiteral("three")).size(), 3);
    EXPECT_EQ(logins(QStringLiteral("three")), before + 1);
    // Each message's header and whole text were asked for; nothing deleted.
    EXPECT_TRUE(s_server->logText().contains(QStringLiteral("retr=3/")));
    EXPECT_TRUE(s_server->logText().contains(QStringLiteral("del=0/3")));

    // Nothing is remembered: the same mail is new again, and the aeroplane
    // that was out is stowed.
    h.main().Label8_Click();
    EXPECT_EQ(result1(), kNew);
    EXPECT_EQ(result2(), QStringLiteral("3"));
    EXPECT_FALSE(h.main().PlaneOut);
    EXPECT_FALSE(ctx.form1.isLoaded());
    EXPECT_EQ(ctx.msgForm.loadCount(), 1); // the open result window is reused
    EXPECT_EQ(s_server->messages(QStringLiteral("three")).size(), 3);
}

TEST_F(MailCheck, ApopValueTwoLogsInWithApop)
{
    startWith(s_server->plainHostPort(), account("apopuser", "apop-secret"), 2);
    h.main().Label8_Click();
    EXPECT_EQ(result2(), QStringLiteral("1"));
    EXPECT_TRUE(s_server->logText().contains(
        QRegularExpression(QStringLiteral("Login: user=<apopuser>, method=APOP"))))
        << s_server->logText().right(2000).toStdString();
}

TEST_F(MailCheck, JapanesePasswordLogsInAsShiftJis)
{
    const QByteArray pass = Cp932::encode(QStringLiteral("表ソ能パス"));
    AppContext& ctx = startWith(s_server->plainHostPort(), account("nihon", pass));
    h.main().Label8_Click();
    EXPECT_EQ(ctx.values.Password, QStringLiteral("表ソ能パス"));
    EXPECT_EQ(result2(), QStringLiteral("1"));
}

TEST_F(MailCheck, MissingPasswordOpensTheAccountDialogAndLogsNobodyIn)
{
    AppContext& ctx = startWith(s_server->plainHostPort(), "[EXEINI]\r\nNAME=three\r\n");
    const int before = logins(QStringLiteral("three"));
    h.main().Label8_Click();
    EXPECT_TRUE(ctx.idPassForm->isVisible());
    EXPECT_EQ(ctx.idPassForm->IdText->text(), QStringLiteral("three"));
    EXPECT_EQ(result1(), kNone);
    EXPECT_EQ(result2(), QStringLiteral("0"));
    EXPECT_EQ(logins(QStringLiteral("three")), before);
    EXPECT_TRUE(ctx.msgBox.shown().isEmpty());
}

TEST_F(MailCheck, LongAccountNameIsCutTo255Bytes)
{
    AppContext& ctx = startWith(s_server->plainHostPort(), account(QByteArray(300, 'u'), "x"));
    ctx.msgBox.queueAnswer(MessageBoxes::Ok);
    h.main().Label8_Click();
    EXPECT_EQ(ctx.values.UserId, QString(255, QLatin1Char('u')));
    EXPECT_EQ(ctx.idPassForm->IdText->text().size(), 255);
}

TEST_F(MailCheck, WrongPasswordShowsTheServersReasonThenANegativeCount)
{
    AppContext& ctx = startWith(s_server->plainHostPort(), account("three", "not-the-password"));
    bool resultShownBeforeAnswer = true;
    ctx.msgBox.queueAnswer(MessageBoxes::Ok,
                           [&] { resultShownBeforeAnswer = ctx.msgForm.isLoaded(); });
    h.main().Label8_Click();

    ASSERT_EQ(ctx.msgBox.shown().size(), 1);
    const MessageBoxes::Shown box = ctx.msgBox.shown()[0];
    EXPECT_EQ(box.title, QStringLiteral("エラー"));
    EXPECT_EQ(box.style, 0);
    EXPECT_TRUE(box.prompt.contains(QStringLiteral("-ERR"))) << box.prompt.toStdString();
    EXPECT_FALSE(box.prompt.contains(QStringLiteral("not-the-password")));
    EXPECT_FALSE(resultShownBeforeAnswer);
    EXPECT_EQ(result1(), kNone);
    EXPECT_LT(result2().toInt(), 0);
    EXPECT_TRUE(result2().startsWith(QLatin1Char('-')));
    EXPECT_FALSE(h.main().PlaneOut);
}

TEST_F(MailCheck, EmptyServerValueContactsNoServerAndLeavesTheAccountAlone)
{
    AppContext& ctx = startWith(QString(), account("three", "pw-three"));
    ctx.values.UserId = QStringLiteral("typed");
    h.main().Label8_Click();
    EXPECT_EQ(result1(), kNone);
    EXPECT_EQ(result2(), QStringLiteral("0"));
    EXPECT_EQ(ctx.values.UserId, QStringLiteral("typed"));
    EXPECT_FALSE(ctx.idPassForm.isLoaded());
}

TEST_F(MailCheck, UnreachableServerReportsZeroAndStillHangsUp)
{
    // A port that was free a moment ago: nothing listens there.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();

    h.writeFile(h.iniPath(), "[EXEINI]\r\nNUMBER=1\r\n");
    AppContext& ctx =
        startWith(QStringLiteral("127.0.0.1:%1").arg(port), account("three", "pw-three"));
    h.main().Label8_Click();
    EXPECT_EQ(result2(), QStringLiteral("0"));
    EXPECT_FALSE(ctx.idPassForm.isLoaded());
    EXPECT_EQ(h.hangUpCount, 1);
}

TEST_F(MailCheck, SilentServerEndsTheCheckAndTheProgramStaysUsable)
{
    // Accepts connections (the backlog does) but never says a word.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    AppContext& ctx = startWith(QStringLiteral("127.0.0.1:%1").arg(silent.serverPort()),
                                account("three", "pw-three"));
    ctx.mail.setTimeouts(1000, 1000);
    h.main().Label8_Click();
    EXPECT_EQ(result1(), kNone);
    EXPECT_EQ(result2(), QStringLiteral("0"));

    // The next check against the real server works.
    ctx.values.Pop3Server = s_server->plainHostPort();
    h.main().Label8_Click();
    EXPECT_EQ(result2(), QStringLiteral("3"));
}

TEST_F(MailCheck, HangUpRunsAfterNewMailToo)
{
    h.writeFile(h.iniPath(), "[EXEINI]\r\nNUMBER=1\r\n");
    AppContext& ctx = startWith(s_server->plainHostPort(), account("three", "pw-three"));
    ASSERT_TRUE(ctx.setForm->Check1->isChecked());
    h.main().Label8_Click();
    EXPECT_EQ(result2(), QStringLiteral("3"));
    EXPECT_TRUE(h.main().PlaneOut);
    EXPECT_EQ(h.hangUpCount, 1);
}
