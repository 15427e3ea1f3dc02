// What the mail library makes of a server's own words, against a scripted
// peer: a refusal is shown with the password masked.
#include "scriptedpop3/ScriptedPop3Server.h"

#include "mail/NMail.h"
#include "settings/Cp932.h"

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

TEST(NMailServerWords, ARefusalIsShownWithThePasswordMasked)
{
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
        {"the password echoed", "hunter2", "hunter2 is not the password of u",
         QStringLiteral("-ERR **** is not the password of u")},
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
                  NMail::ErrorRefused);
        const QString message = lastMessage(mail);
        EXPECT_TRUE(message.contains(QStringLiteral("サーバーの応答: ") + c.shown))
            << message.toStdString();
        EXPECT_FALSE(message.contains(Cp932::decode(c.password))) << message.toStdString();
        mail.NMailPop3Close(handle);
    }
}

} // namespace
