// checkMail on its own: the real client against a private Dovecot, the person
// at the screen played by recording callbacks, so each outcome and each
// question of a check is seen without the windows.
#include "dovecot/DovecotServer.h"

#include "mail/MailCheck.h"
#include "mail/NMail.h"
#include "mail/UntrustedCertificate.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// What the check asked of the user, and the answers it gets.
struct RecordingUser
{
    CheckMailUser::Account stored;
    bool trust = false;

    int accountReads = 0;
    int accountAsks = 0;
    QStringList certificateHosts;
    QStringList failures;

    CheckMailUser callbacks()
    {
        CheckMailUser user;
        user.readAccount = [this] {
            ++accountReads;
            return stored;
        };
        user.askForAccount = [this] { ++accountAsks; };
        user.trustCertificate = [this](const UntrustedCertificate& certificate) {
            certificateHosts.append(certificate.host);
            return trust;
        };
        user.showFailure = [this](const QString& reason) { failures.append(reason); };
        return user;
    }
};

class MailCheck : public ::testing::Test
{
protected:
    // One server for the suite: each case has its own client and user.
    static void SetUpTestSuite()
    {
        s_server = std::make_unique<DovecotServer>();
        ASSERT_TRUE(s_server->start()) << s_server->errorText().toStdString();
        ASSERT_TRUE(s_server->addUser(QStringLiteral("pilot"), "right"));
        for (int i = 1; i <= 2; ++i)
            ASSERT_TRUE(s_server->addMessage(
                QStringLiteral("pilot"), "Subject: " + QByteArray::number(i) + "\r\n\r\nhi\r\n"));
    }
    static void TearDownTestSuite() { s_server.reset(); }
    void SetUp() override
    {
        ASSERT_TRUE(s_server && s_server->isRunning());
        m_mail.setTimeouts(5000, 10000);
    }

    static QString plain() { return QStringLiteral("pop3://") + s_server->plainHostPort(); }
    static QString tls() { return QStringLiteral("pop3s://") + s_server->tlsHostPort(); }
    CheckOutcome check(const QString& server, RecordingUser& user)
    {
        return checkMail(m_mail, server, false, user.callbacks());
    }

    static std::unique_ptr<DovecotServer> s_server;
    NMail m_mail;
};

std::unique_ptr<DovecotServer> MailCheck::s_server;

TEST_F(MailCheck, OutcomesAndWhatTheUserIsAsked)
{
    using Kind = CheckOutcome::Kind;
    struct Case
    {
        const char* what;
        bool noServer;
        CheckMailUser::Account stored;
        Kind kind;
        int count;
        int accountReads;
        int accountAsks;
        int failures;
    };
    const Case cases[] = {
        {"counted", false, {"pilot", "right"}, Kind::Counted, 2, 1, 0, 0},
        {"refused login", false, {"pilot", "wrong"}, Kind::CouldNotLook, 0, 1, 0, 1},
        {"no name stored", false, {"", "right"}, Kind::CouldNotLook, 0, 1, 1, 0},
        {"no password stored", false, {"pilot", ""}, Kind::CouldNotLook, 0, 1, 1, 0},
        {"no server value", true, {"pilot", "right"}, Kind::NothingToCheck, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingUser user;
        user.stored = c.stored;
        const CheckOutcome outcome = check(c.noServer ? QString() : plain(), user);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(outcome.count, c.count);
        EXPECT_EQ(user.accountReads, c.accountReads);
        EXPECT_EQ(user.accountAsks, c.accountAsks);
        ASSERT_EQ(user.failures.size(), c.failures);
        // A failure shown is the reason the outcome keeps: the client's account
        // naming the server, then the check's next step naming the dialog.
        if (c.failures > 0) {
            EXPECT_EQ(outcome.reason, user.failures[0]);
            for (const QString& part : {s_server->plainHostPort(), QStringLiteral("「ID/PASS」")})
                EXPECT_TRUE(outcome.reason.contains(part)) << outcome.reason.toStdString();
        }
        EXPECT_TRUE(user.certificateHosts.isEmpty());
    }
    EXPECT_EQ(s_server->messages(QStringLiteral("pilot")).size(), 2); // nothing deleted
}

TEST_F(MailCheck, AnUnknownCertificateIsAskedAboutOnceThenTrustedOrRefused)
{
    for (const bool trust : {false, true}) {
        SCOPED_TRACE(trust);
        RecordingUser user;
        user.stored = {"pilot", "right"};
        user.trust = trust;
        const CheckOutcome outcome = check(tls(), user);
        EXPECT_EQ(user.certificateHosts, QStringList{QStringLiteral("localhost")});
        if (trust) {
            EXPECT_EQ(outcome.kind, CheckOutcome::Kind::Counted);
            EXPECT_EQ(outcome.count, 2);
            EXPECT_EQ(user.accountReads, 1);
        } else {
            // Refused: nothing more is asked or shown, and the outcome has no words.
            EXPECT_EQ(outcome.kind, CheckOutcome::Kind::CouldNotLook);
            EXPECT_TRUE(outcome.reason.isEmpty());
            EXPECT_EQ(user.accountReads, 0);
        }
        EXPECT_TRUE(user.failures.isEmpty());
    }
    // The certificate trusted above holds for this client: no question again.
    RecordingUser again;
    again.stored = {"pilot", "right"};
    EXPECT_EQ(check(tls(), again).count, 2);
    EXPECT_TRUE(again.certificateHosts.isEmpty());
}

} // namespace
