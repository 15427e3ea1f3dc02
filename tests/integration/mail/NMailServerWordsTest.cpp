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

// One session, each case changing one answer of a well-behaved server: the
// greeting, or the answer to USER or to PASS (a null one is the normal one).
// Bytes without a line end are followed by silence.
TEST(NMailServerWords, TheFirstBytesDecideAndTheServersWordsAreShownAsSentWithoutThePassword)
{
    const QString notPop3 = QStringLiteral("の応答が POP3 の形式ではありませんでした。");
    const QString silent = QStringLiteral("以内に応答がありませんでした。");
    const QString said = QStringLiteral("サーバーの応答: -ERR ");
    const QString refusal = QStringLiteral("パスワードが違います");
    const QByteArray japanesePassword = Cp932::encode(QStringLiteral("秘密の鍵"));
    struct Case
    {
        const char* what;
        QByteArray greeting, userAnswer, passAnswer;
        QString shown;
        QByteArray password = "pw-never-shown";
    };
    const std::vector<Case> cases{
        {"215 bytes starting Y", "Y" + QByteArray(214, 'x'), {}, {}, notPop3},
        {"a line end never comes", "HTTP/1.0 400 Bad Request", {}, {}, notPop3},
        {"plus, then no OK", "+NO", {}, {}, notPop3},
        {"an answer to USER", {}, "SSH-2.0-OpenSSH_9.2", {}, notPop3},
        // What may still become a status line is waited for, within the bound.
        {"the start of +OK", "+O", {}, {}, silent},
        {"the start of -ERR", {}, "-ER", {}, silent},
        {"ASCII", {}, {}, "-ERR [AUTH] failed.\r\n", said + QStringLiteral("[AUTH] failed.")},
        {"UTF-8", {}, {}, "-ERR " + refusal.toUtf8() + "\r\n", said + refusal},
        {"Shift-JIS", {}, {}, "-ERR " + Cp932::encode(refusal) + "\r\n", said + refusal},
        // Its last character's bytes would begin a UTF-8 sequence, cut off.
        {"Shift-JIS that ends like UTF-8",
         {},
         {},
         "-ERR user " + Cp932::encode(QStringLiteral("蛯")) + "\r\n",
         said + QStringLiteral("user 蛯")},
        {"the password echoed",
         {},
         {},
         "-ERR hunter2 is wrong\r\n",
         said + QStringLiteral("**** is wrong"),
         "hunter2"},
        {"a Shift-JIS password echoed in UTF-8 words",
         {},
         {},
         "-ERR " + refusal.toUtf8() + ": " + japanesePassword + "\r\n",
         said + refusal + QStringLiteral(": ****"),
         japanesePassword},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto answer = [](const QByteArray& bytes, const char* normal) {
            if (bytes.isNull())
                return Step(normal);
            return bytes.endsWith('\n') ? Step(bytes) : Step(bytes, Then::Stall);
        };
        ScriptedPop3Server server([&](const QByteArray& command) -> Step {
            if (command.isNull())
                return answer(c.greeting, "+OK ready\r\n");
            if (command.startsWith("USER "))
                return answer(c.userAnswer, "+OK\r\n");
            if (command.startsWith("PASS "))
                return answer(c.passAnswer, "+OK\r\n");
            return {"+OK 0 0\r\n"};
        });
        ASSERT_TRUE(server.isRunning());
        NMail mail;
        // A wait that runs its course ends in a time-out: bytes that cannot
        // be POP3 get the full bound, so only a decision made at once passes.
        mail.setTimeouts(5000, c.shown == silent ? 500 : NMail::kDefaultReplyTimeoutMs);
        const QByteArray host = "pop3://" + server.hostPort().toUtf8();
        const int handle = mail.NMailPop3Connect(host.constData());
        if (handle >= 0)
            mail.NMailPop3Authenticate(handle, "u", c.password.constData(), 0);
        mail.NMailPop3Close(handle);
        std::vector<char> buffer(8192);
        int size = int(buffer.size());
        mail.NMailGetMessage(0, buffer, size);
        const QString message = Cp932::decode(QByteArrayView(buffer.data(), size));
        EXPECT_TRUE(message.contains(c.shown)) << message.toStdString();
        EXPECT_FALSE(message.contains(Cp932::decode(c.password))) << message.toStdString();
    }
}

} // namespace
