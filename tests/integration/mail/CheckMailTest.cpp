// The mail check from the main window's command to the result window, against
// a real Dovecot on loopback.

#include "dovecot/DovecotServer.h"
#include "fakepop3/FakePop3Server.h"
#include "scriptedpop3/ScriptedPop3Server.h"
#include "support/ClosedPort.h"
#include "support/Controls.h"
#include "support/app/AppHarness.h"

#include "base/Cp932.h"
#include "flight/Form1.h"
#include "mail/MailCheck.h"
#include "mail/MsgForm.h"
#include "settings/IdPassForm.h"
#include "settings/OptionForm.h"
#include "settings/SetForm.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QString kNew = QStringLiteral("新着メールが有ります。");
const QString kNone = QStringLiteral("新着メールはありませんでした。");
const QString kCouldNot = QStringLiteral("メールを確認できませんでした。");
// Far above the 1 s bounds the failure tests set, far below a hang.
constexpr qint64 kHangMs = 15000;

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
    QString result1() { return child<QLineEdit>(h.ctx->msgForm.get(), "Text1")->text(); }
    QString result2() { return child<QLineEdit>(h.ctx->msgForm.get(), "Text2")->text(); }
    // The user's logins in the log, once at least `expected` are written.
    static int logins(const QString& user, int expected = 0)
    {
        return int(s_server
                       ->waitForLines(QRegularExpression(QStringLiteral("Login: user=<") +
                                                         QRegularExpression::escape(user) + '>'),
                                      expected)
                       .size());
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
    EXPECT_FALSE(h.main().state().PlaneOut);
    EXPECT_FALSE(ctx.form1->isVisible());
    EXPECT_EQ(ctx.values.UserId, QStringLiteral("empty"));
    EXPECT_EQ(child<QLineEdit>(ctx.idPassForm.get(), "IdText")->text(), QStringLiteral("empty"));
    EXPECT_EQ(child<QLineEdit>(ctx.idPassForm.get(), "PassText")->text(),
              QStringLiteral("pw-empty"));
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
    EXPECT_TRUE(h.main().state().PlaneOut);
    EXPECT_TRUE(ctx.form1->isVisible());
    EXPECT_EQ(s_server->messages(QStringLiteral("three")).size(), 3);
    EXPECT_EQ(logins(QStringLiteral("three"), before + 1), before + 1);
    // Each message's header and whole text were asked for; nothing deleted.
    const QStringList logouts = s_server->waitForLines(
        QRegularExpression(QStringLiteral("pop3\\(three\\).*Logged out")), before + 1);
    ASSERT_EQ(logouts.size(), before + 1);
    EXPECT_TRUE(logouts.last().contains(QStringLiteral("retr=3/")));
    EXPECT_TRUE(logouts.last().contains(QStringLiteral("del=0/3")));

    // Nothing is remembered: the same mail is new again, and the aeroplane
    // that was out is stowed.
    h.main().Label8_Click();
    EXPECT_EQ(result1(), kNew);
    EXPECT_EQ(result2(), QStringLiteral("3"));
    EXPECT_FALSE(h.main().state().PlaneOut);
    EXPECT_FALSE(ctx.form1.isLoaded());
    EXPECT_EQ(ctx.msgForm.loadCount(), 1); // the open result window is reused
    EXPECT_EQ(s_server->messages(QStringLiteral("three")).size(), 3);
}

TEST_F(MailCheck, ApopValueTwoLogsInWithApop)
{
    startWith(s_server->plainHostPort(), account("apopuser", "apop-secret"), 2);
    h.main().Label8_Click();
    EXPECT_EQ(result2(), QStringLiteral("1"));
    const QRegularExpression apop(QStringLiteral("Login: user=<apopuser>, method=APOP"));
    EXPECT_TRUE(s_server->waitForLog(apop).contains(apop))
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

TEST_F(MailCheck, MissingPasswordOpensTheAccountDialogWhoseEntryLogsInUnsaved)
{
    AppContext& ctx = startWith(s_server->plainHostPort(), "[EXEINI]\r\nNAME=three\r\n");
    const int before = logins(QStringLiteral("three"));
    h.main().Label8_Click();
    EXPECT_TRUE(ctx.idPassForm->isVisible());
    EXPECT_EQ(child<QLineEdit>(ctx.idPassForm.get(), "IdText")->text(), QStringLiteral("three"));
    EXPECT_EQ(result1(), kCouldNot);
    EXPECT_EQ(result2(), QStringLiteral("-"));
    EXPECT_EQ(logins(QStringLiteral("three")), before);
    EXPECT_TRUE(ctx.msgBox.shown().isEmpty());

    // Typed and confirmed with the save box unticked, the password logs in
    // from then on; the file gets NAME3=0 only.
    child<QLineEdit>(ctx.idPassForm.get(), "PassText")->setText(QStringLiteral("pw-three"));
    ctx.idPassForm->OKCommand_Click();
    h.main().Label8_Click();
    EXPECT_EQ(result2(), QStringLiteral("3"));
    EXPECT_EQ(logins(QStringLiteral("three"), before + 1), before + 1);
    EXPECT_EQ(h.readFile(h.idPassPath()), QByteArray("[EXEINI]\r\nNAME=three\r\nNAME3=0\r\n"));
}

TEST_F(MailCheck, LongAccountNameIsCutTo255Bytes)
{
    AppContext& ctx = startWith(s_server->plainHostPort(), account(QByteArray(300, 'u'), "x"));
    ctx.msgBox.queueAnswer(MessageBoxes::Ok);
    h.main().Label8_Click();
    EXPECT_EQ(ctx.values.UserId, QString(255, QLatin1Char('u')));
    EXPECT_EQ(child<QLineEdit>(ctx.idPassForm.get(), "IdText")->text().size(), 255);
}

TEST_F(MailCheck, WrongPasswordShowsTheServersReasonThenNoCount)
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
    EXPECT_EQ(result1(), kCouldNot);
    EXPECT_EQ(result2(), QStringLiteral("-"));
    EXPECT_FALSE(h.main().state().PlaneOut);
}

TEST_F(MailCheck, EmptyServerValueContactsNoServerAndLeavesTheAccountAlone)
{
    AppContext& ctx = startWith(QString(), account("three", "pw-three"));
    ctx.values.UserId = QStringLiteral("typed");
    h.main().Label8_Click();
    EXPECT_EQ(result1(), kCouldNot);
    EXPECT_EQ(result2(), QStringLiteral("-"));
    EXPECT_TRUE(ctx.msgBox.shown().isEmpty());
    EXPECT_EQ(ctx.values.UserId, QStringLiteral("typed"));
    EXPECT_FALSE(ctx.idPassForm.isLoaded());
    // The server dialog opens instead, ready for a server.
    ASSERT_TRUE(ctx.optionForm.isLoaded());
    EXPECT_TRUE(ctx.optionForm->isVisible());
    EXPECT_EQ(ctx.optionForm->focusWidget(), child<QLineEdit>(ctx.optionForm.get(), "Pop3Text"));
}

TEST_F(MailCheck, EveryServerThatCannotBeCheckedIsNamedWithItsCauseAndNoCountIsShown)
{
    const ClosedPort refused, refusedToo;
    const quint16 closedPort = refused.port();
    const quint16 closedToo = refusedToo.port();
    const QString closed = QStringLiteral("127.0.0.1:%1").arg(closedPort);
    // Accepts connections (the backlog does) but never says a word.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    FakePop3Server garbage(QStringLiteral("garbage"));
    FakePop3Server garbageGreeting(QStringLiteral("garbage-greeting"));
    FakePop3Server capaFlood(QStringLiteral("capa-flood"));
    FakePop3Server brokenTls(QStringLiteral("broken-stls"));
    FakePop3Server stall(QStringLiteral("stall"));
    FakePop3Server noTimestamp(QStringLiteral("no-timestamp"));
    // Greets, then the link goes with the first command.
    using Step = ScriptedPop3Server::Step;
    ScriptedPop3Server drops([](const QByteArray& command) {
        return command.isNull() ? Step("+OK ready\r\n") : Step({}, ScriptedPop3Server::Then::Close);
    });
    // Takes the login, then refuses to count (a mailbox another session holds).
    ScriptedPop3Server locked([](const QByteArray& command) {
        if (command.startsWith("STAT"))
            return Step("-ERR [IN-USE] mailbox locked\r\n");
        return Step(command.startsWith("CAPA") ? "-ERR\r\n" : "+OK\r\n");
    });
    // Refuses the login.
    ScriptedPop3Server wrongPassword([](const QByteArray& command) {
        if (command.startsWith("PASS"))
            return Step("-ERR [AUTH] Authentication failed.\r\n");
        return Step(command.startsWith("CAPA") ? "-ERR\r\n" : "+OK\r\n");
    });

    // Each box names the server value and the cause, then what to try.
    using Failure = NMail::Failure;
    struct Case
    {
        QString server;
        QString cause;
        QString advice;
        Failure kind;
        Pop3Host::Ports ports = {}; // what a server value without a port means
        int apop = 0;
        QString password = {}; // confirmed in ID,PASS this run, else the stored one
    };
    const QString notPop3 = QStringLiteral("の応答が POP3 の形式ではありませんでした。");
    const QString checkPort = QStringLiteral("のサーバー名とポート番号 (POP3 は通常 110、"
                                             "pop3s:// は 995) を確かめてください。");
    const QString silence = QStringLiteral("から 1 秒以内に応答がありませんでした。");
    const QString busy =
        QStringLiteral("サーバーが混み合っているのかもしれません。しばらく待って"
                       "から、もう一度メールチェックしてください。繰り返す場合は、"
                       "「POPサーバー」のサーバー名とポート番号を確かめてください。");
    const QString unreachable =
        QStringLiteral("に接続できませんでした。接続を拒否されたか、サーバーまで届きません。");
    const QString checkNameAndPort = QStringLiteral("「POPサーバー」のサーバー名とポート番号、"
                                                    "ネットワークにつながっているかどうか");
    const QString sentNothing =
        QStringLiteral("は接続を受け付けましたが、1 秒以内に何も送ってきませんでした。");
    const QString refusedOn =
        QStringLiteral("\nポート %1%2: 接続を拒否されたか、サーバーまで届きません。");
    std::vector<Case> cases{
        {closed, unreachable, checkNameAndPort, Failure::ConnectRefused},
        {QStringLiteral("kestrova-no-such-host.invalid"),
         QStringLiteral("が見つかりませんでした。"),
         QStringLiteral(
             "「POPサーバー」のサーバー名の綴りと、ネットワークにつながっているかどうか"),
         Failure::HostNotFound},
        {"pop3s://" + closed, unreachable, checkNameAndPort, Failure::ConnectRefused},
        {QStringLiteral("host:99999"), QStringLiteral("が正しくありません。"),
         QStringLiteral("pop3s://mail.example.net のような形で指定してください。"),
         Failure::BadServerValue},
        // Silent, also to TLS: perhaps a TLS port, never a busy one.
        {QStringLiteral("127.0.0.1:%1").arg(silent.serverPort()), sentNothing,
         QStringLiteral("「pop3s://127.0.0.1:%1」").arg(silent.serverPort()), Failure::SilentPort},
        // A bare host: the POP3 port and the pop3s port each told.
        {QStringLiteral("127.0.0.1"),
         QStringLiteral("に接続できませんでした。") + refusedOn.arg(closedPort).arg("") +
             refusedOn.arg(closedToo).arg(" (pop3s)"),
         checkNameAndPort,
         Failure::ConnectRefused,
         {closedPort, closedToo}},
        // A name: the addresses tried.
        {QStringLiteral("kestrova.test:%1").arg(closedPort), unreachable,
         QStringLiteral("試したアドレス: 127.0.0.1、::1"), Failure::ConnectRefused},
        {garbage.hostPort(), notPop3, checkPort, Failure::NotPop3},
        {garbageGreeting.hostPort(), notPop3, checkPort, Failure::NotPop3},
        {capaFlood.hostPort(), notPop3, checkPort, Failure::NotPop3},
        {brokenTls.hostPort(), QStringLiteral("との暗号化通信 (TLS) を確立できませんでした。"),
         QStringLiteral("暗号化せずに接続します"), Failure::Tls},
        // A stall before login, however the server value is written.
        {stall.hostPort(), silence, busy, Failure::NoAnswer},
        {"pop3://" + stall.hostPort(), silence, busy, Failure::NoAnswer},
        {QStringLiteral("127.0.0.1"), silence, busy, Failure::NoAnswer, {stall.port(), closedPort}},
        {drops.hostPort(), QStringLiteral("との接続が切れました。"),
         QStringLiteral("しばらく待ってから、もう一度メールチェックしてください。繰り返す場合は、"
                        "「POPサーバー」のサーバー名とポート番号を確かめてください。"),
         Failure::ConnectionLost},
        {locked.hostPort(), QStringLiteral("が要求を拒否しました。"),
         QStringLiteral("サーバーの管理者に問い合わせてください。"), Failure::Refused},
        {wrongPassword.hostPort(), QStringLiteral("へのログインに失敗しました。"),
         QStringLiteral("設定の「ID/PASS」でアカウント名とパスワードを確かめてください。"),
         Failure::LoginRefused},
        {noTimestamp.hostPort(),
         QStringLiteral("の挨拶に、APOP でのログインに必要な"),
         QStringLiteral("「APOP を使用する」のチェックを外してください。"),
         Failure::NoApopTimestamp,
         {},
         1},
        // A line break pasted into the password never reaches the server.
        {s_server->plainHostPort(),
         QStringLiteral("にログインしませんでした。"),
         QStringLiteral("設定の「ID/PASS」で入力し直してください。"),
         Failure::UnsendableAccount,
         {},
         0,
         QStringLiteral("pw-three\r\nDELE 1")},
    };

    h.writeFile(h.iniPath(), "[EXEINI]\r\nNUMBER=1\r\n");
    AppContext& ctx = startWith(closed, account("three", "pw-three"));
    ctx.mail.setTimeouts(1000, 1000);
    ctx.mail.setResolver([](const QString& host) {
        return host == u"kestrova.test" ? QList<QHostAddress>{QHostAddress(QHostAddress::LocalHost),
                                                              QHostAddress(QStringLiteral("::1"))}
                                        : Pop3Dialer::systemResolve(host);
    });
    QSet<Failure> advised;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server.toStdString());
        ctx.mail.setDefaultPorts(c.ports);
        ctx.values.Pop3Server = c.server;
        ctx.values.ApopFlag = qint16(c.apop);
        ctx.values.accountConfirmed = !c.password.isEmpty();
        if (ctx.values.accountConfirmed) {
            ctx.values.UserId = QStringLiteral("three");
            ctx.values.Password = c.password;
        }
        const qsizetype boxes = ctx.msgBox.shown().size();
        const int hangUps = h.hangUpCount;
        QElapsedTimer clock;
        clock.start();
        h.main().Label8_Click();
        EXPECT_LT(clock.elapsed(), kHangMs);
        ASSERT_EQ(ctx.msgBox.shown().size(), boxes + 1);
        const MessageBoxes::Shown box = ctx.msgBox.shown().last();
        EXPECT_EQ(box.title, QStringLiteral("エラー"));
        EXPECT_EQ(box.style, MessageBoxes::OkOnly);
        EXPECT_TRUE(box.prompt.contains(u'「' + c.server + u'」' + c.cause))
            << box.prompt.toStdString();
        EXPECT_TRUE(box.prompt.contains(c.advice)) << box.prompt.toStdString();
        EXPECT_EQ(ctx.mail.lastFailure(), c.kind);
        if (!nextStep(c.kind).isEmpty())
            advised.insert(c.kind);
        // A cause is told as what happened, never as the user's mistake.
        EXPECT_FALSE(box.prompt.contains(QStringLiteral("違っています")));
        EXPECT_EQ(result1(), kCouldNot);
        EXPECT_EQ(result2(), QStringLiteral("-"));
        EXPECT_FALSE(h.main().state().PlaneOut);
        EXPECT_EQ(h.hangUpCount, hangUps + 1);
    }
    // Every kind of failure that comes with advice has its row above; the
    // kinds are ints underneath, so a kind added later is found here too.
    for (int kind = 0; kind < 256; ++kind) {
        const bool hasRow = nextStep(Failure(kind)).isEmpty() || advised.contains(Failure(kind));
        EXPECT_TRUE(hasRow) << "no row for failure kind " << kind;
    }
    ctx.values.ApopFlag = 0;
    ctx.values.accountConfirmed = false;
    // Broken TLS comes with the way round it, which works.
    const auto tlsBox = std::find_if(
        ctx.msgBox.shown().begin(), ctx.msgBox.shown().end(), [](const MessageBoxes::Shown& box) {
            return box.prompt.contains(QStringLiteral("を確立できませんでした"));
        });
    ASSERT_NE(tlsBox, ctx.msgBox.shown().end());
    EXPECT_TRUE(tlsBox->prompt.contains("「pop3://" + brokenTls.hostPort() + "」"))
        << tlsBox->prompt.toStdString();
    ctx.values.Pop3Server = "pop3://" + brokenTls.hostPort();
    h.main().Label8_Click();
    EXPECT_EQ(result2(), QStringLiteral("1"));

    // The next check against the real server works.
    ctx.values.Pop3Server = s_server->plainHostPort();
    h.main().Label8_Click();
    EXPECT_EQ(result2(), QStringLiteral("3"));
}

TEST_F(MailCheck, AHostileCountIsShownButCannotHoldTheProgram)
{
    struct Case
    {
        QString mode;
        int maxRetr; // RETR commands the server may see
    };
    // A link closed after the count; every message refused (the loop ends
    // after 1,000 refusals in a row); refusals that come slowly (it ends
    // once they have run for two reply waits, here 2 s).
    for (const Case& c : {Case{QStringLiteral("huge-count-drop"), 0},
                          Case{QStringLiteral("huge-count-refuse"), 1000},
                          Case{QStringLiteral("slow-refusals"), 999}}) {
        SCOPED_TRACE(c.mode.toStdString());
        FakePop3Server server(c.mode);
        AppHarness app;
        app.writeFile(app.orvendaPath, "POP3=pop3://" + server.hostPort().toUtf8() + "\r\n");
        app.writeFile(app.idPassPath(), account("u", "p"));
        AppContext& ctx = app.create();
        ctx.mail.setTimeouts(1000, 1000);
        app.start();
        QElapsedTimer clock;
        clock.start();
        app.main().Label8_Click();
        EXPECT_LT(clock.elapsed(), 20000);
        EXPECT_EQ(child<QLineEdit>(ctx.msgForm.get(), "Text1")->text(), kNew);
        EXPECT_EQ(child<QLineEdit>(ctx.msgForm.get(), "Text2")->text(),
                  QStringLiteral("2147483647"));
        EXPECT_TRUE(ctx.msgBox.shown().isEmpty());
        EXPECT_TRUE(app.main().state().PlaneOut);
        const qsizetype retrs = server.commandLog().count("RETR ");
        if (c.mode == QStringLiteral("huge-count-refuse")) {
            EXPECT_EQ(retrs, c.maxRetr);
        } else {
            EXPECT_LE(retrs, c.maxRetr);
        }
        if (c.mode == QStringLiteral("slow-refusals")) {
            EXPECT_GT(retrs, 10); // it did try before giving up
        }
    }
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
    EXPECT_EQ(result1(), kCouldNot);
    EXPECT_EQ(result2(), QStringLiteral("-"));
    EXPECT_FALSE(ctx.idPassForm.isLoaded());

    // The next check against the real server works.
    ctx.values.Pop3Server = s_server->plainHostPort();
    h.main().Label8_Click();
    EXPECT_EQ(result2(), QStringLiteral("3"));
}

TEST_F(MailCheck, HangUpRunsAfterNewMailToo)
{
    h.writeFile(h.iniPath(), "[EXEINI]\r\nNUMBER=1\r\n");
    AppContext& ctx = startWith(s_server->plainHostPort(), account("three", "pw-three"));
    ASSERT_TRUE(child<QCheckBox>(ctx.setForm.get(), "Check1")->isChecked());
    h.main().Label8_Click();
    EXPECT_EQ(result2(), QStringLiteral("3"));
    EXPECT_TRUE(h.main().state().PlaneOut);
    EXPECT_EQ(h.hangUpCount, 1);
}
