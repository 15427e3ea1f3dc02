// What the mail library makes of a server's first bytes and of its own words,
// against a scripted peer: bytes that cannot begin a POP3 answer end the
// session at once, and a refusal is shown in the encoding it came in, with
// the password masked.
#include "scriptedpop3/ScriptedPop3Server.h"

#include "base/Cp932.h"
#include "mail/NMail.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Step = ScriptedPop3Server::Step;
using Then = ScriptedPop3Server::Then;

QString lastMessage(NMail& mail)
{
    std::vector<char> buffer(8192);
    int size = 8192;
    mail.NMailGetMessage(0, buffer, size);
    return Cp932::decode(QByteArrayView(buffer.data(), size));
}

// Either the greeting or the answer to USER is the case's bytes, after which
// the server says nothing more.
TEST(NMailServerWords, BytesThatCannotBeginAnAnswerAreNotPop3WithoutWaitingForALineEnd)
{
    struct Case
    {
        const char* what;
        QByteArray greeting; // null: a normal one, and the answer to USER is the case
        QByteArray userAnswer;
        bool notPop3; // else the wait runs out
    };
    const std::vector<Case> cases{
        {"215 bytes starting Y", "Y" + QByteArray(214, 'x'), {}, true},
        {"a line end never comes", "HTTP/1.0 400 Bad Request", {}, true},
        {"plus, then no OK", "+NO", {}, true},
        {"an answer to USER", {}, "SSH-2.0-OpenSSH_9.2", true},
        // What may still become a status line is waited for, within the bound.
        {"the start of +OK", "+O", {}, false},
        {"the start of -ERR", {}, "-ER", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPop3Server server([&](const QByteArray& command) -> Step {
            if (command.isNull())
                return c.greeting.isNull() ? Step("+OK ready\r\n") : Step(c.greeting, Then::Stall);
            return {c.userAnswer, Then::Stall};
        });
        ASSERT_TRUE(server.isRunning());
        NMail mail;
        // A wait that runs its course ends in a time-out: bytes that cannot
        // be POP3 get the full bound, so only a decision made at once passes.
        mail.setTimeouts(5000, c.notPop3 ? NMail::kDefaultReplyTimeoutMs : 500);
        const QByteArray host = "pop3://" + server.hostPort().toUtf8();
        const int handle = mail.NMailPop3Connect(host.constData());
        if (c.greeting.isNull())
            mail.NMailPop3Authenticate(handle, "u", "p", 0);
        const QString message = lastMessage(mail);
        EXPECT_TRUE(message.contains(c.notPop3 ? QStringLiteral("POP3 の形式ではありませんでした")
                                               : QStringLiteral("以内に応答がありませんでした")))
            << message.toStdString();
        mail.NMailPop3Close(handle);
    }
}

TEST(NMailServerWords, ARefusalIsShownAsUtf8OrShiftJisWithThePasswordMasked)
{
    const QString refusal = QStringLiteral("パスワードが違います");
    const QByteArray japanesePassword = Cp932::encode(QStringLiteral("秘密の鍵"));
    struct Case
    {
        const char* what;
        QByteArray password;
        QByteArray answer; // to PASS, after "-ERR "
        QString shown;     // the server's words as the box shows them
    };
    const std::vector<Case> cases{
        {"ASCII", "pw", "[AUTH] Authentication failed.",
         QStringLiteral("-ERR [AUTH] Authentication failed.")},
        {"UTF-8", "pw", refusal.toUtf8(), "-ERR " + refusal},
        {"Shift-JIS", "pw", Cp932::encode(refusal), "-ERR " + refusal},
        {"the password echoed", "hunter2", "hunter2 is not the password of u",
         QStringLiteral("-ERR **** is not the password of u")},
        {"a Shift-JIS password echoed in UTF-8 words", japanesePassword,
         refusal.toUtf8() + ": " + japanesePassword, "-ERR " + refusal + QStringLiteral(": ****")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPop3Server server([&](const QByteArray& command) -> Step {
            if (command.isNull())
                return {"+OK ready\r\n"};
            if (command.startsWith("PASS "))
                return {"-ERR " + c.answer + "\r\n"};
            return {"+OK\r\n"};
        });
        ASSERT_TRUE(server.isRunning());
        NMail mail;
        mail.setTimeouts(5000, 5000);
        const QByteArray host = "pop3://" + server.hostPort().toUtf8();
        const int handle = mail.NMailPop3Connect(host.constData());
        ASSERT_GE(handle, 0);
        EXPECT_EQ(mail.NMailPop3Authenticate(handle, "u", c.password.constData(), 0),
                  NMail::kErrorRefused);
        const QString message = lastMessage(mail);
        EXPECT_TRUE(message.contains(QStringLiteral("サーバーの応答: ") + c.shown))
            << message.toStdString();
        EXPECT_FALSE(message.contains(Cp932::decode(c.password))) << message.toStdString();
        mail.NMailPop3Close(handle);
    }
}

} // namespace
