// The mail check: one POP3 connection, one login, every waiting message
// fetched (never deleted). The main window runs it and shows its outcome.

#include "mail/MailCheck.h"

#include "base/Cp932.h"
#include "mail/FetchEveryMessage.h"
#include "mail/NMail.h"

namespace {

using Failure = NMail::Failure;

// The next step for the kinds of failure that share it.
const QString kTryAgainThenCheckServer =
    QStringLiteral("しばらく待ってから、もう一度メールチェックしてください。"
                   "繰り返す場合は、「POPサーバー」のサーバー名とポート番号を確かめてください。");

} // namespace

QString nextStep(NMail::Failure failure)
{
    switch (failure) {
    case Failure::Refused:
        return QStringLiteral("しばらく待ってから、もう一度メールチェックしてください。"
                              "繰り返す場合は、サーバーの管理者に問い合わせてください。");
    case Failure::NoAnswer:
        return QStringLiteral("サーバーが混み合っているのかもしれません。") +
               kTryAgainThenCheckServer;
    case Failure::ConnectionLost:
        return kTryAgainThenCheckServer;
    case Failure::NotPop3:
        return QStringLiteral("POP3 ではないサービスにつながったか、サーバーが正しく応答して"
                              "いないのかもしれません。「POPサーバー」のサーバー名とポート番号 "
                              "(POP3 は通常 110、pop3s:// は 995) を確かめてください。");
    case Failure::HostNotFound:
        return QStringLiteral("「POPサーバー」のサーバー名の綴りと、"
                              "ネットワークにつながっているかどうかを確かめてください。");
    case Failure::ConnectRefused:
        return QStringLiteral("「POPサーバー」のサーバー名とポート番号、"
                              "ネットワークにつながっているかどうかを確かめてください。");
    case Failure::BadServerValue:
        return QStringLiteral("「POPサーバー」で、mail.example.net、"
                              "mail.example.net:1110、pop3s://mail.example.net "
                              "のような形で指定してください。");
    case Failure::UnsendableAccount:
        return QStringLiteral("設定の「ID/PASS」で入力し直してください。");
    case Failure::NoApopTimestamp:
        return QStringLiteral("「POPサーバー」の「APOP を使用する」のチェックを外してください。");
    case Failure::LoginRefused:
        return QStringLiteral("設定の「ID/PASS」でアカウント名とパスワードを確かめてください。"
                              "また、サーバーが APOP でのログインを求めているかどうかを確かめ、"
                              "「POPサーバー」の「APOP を使用する」をそれに合わせてください。");
    case Failure::None:
    case Failure::Tls:
    case Failure::SilentPort:
    case Failure::UntrustedCertificate:
    case Failure::NotConnected:
    case Failure::BadSize:
        break;
    }
    return QString();
}

QString failureText(const NMail& mail)
{
    const QString step = nextStep(mail.lastFailure());
    const QString text = step.isEmpty() ? mail.lastMessage() : mail.lastMessage() + u'\n' + step;
    // As long as a text buffer of the check holds it, its last byte kept for the NUL.
    return CutAtNul(Cp932::cutText(text, MessageTexts::kSize - 1));
}

namespace {

// Tells the user why the check cannot go on, and notes it in the outcome.
void fail(const NMail& mail, const CheckMailUser& user, CheckOutcome& outcome)
{
    outcome.kind = CheckOutcome::Kind::CouldNotLook;
    outcome.reason = failureText(mail);
    user.showFailure(outcome.reason);
}

// Connects to the server value. A certificate that nobody vouches for is the
// user's decision: はい pins exactly that certificate for the server and
// connects again. Returns the handle, or -1 once the user knows why (or
// declined the certificate).
int connectTrusted(NMail& mail, const QString& host, const CheckMailUser& user,
                   CheckOutcome& outcome)
{
    int handle = mail.NMailPop3Connect(host);
    if (handle != -1)
        return handle;
    if (const UntrustedCertificate* untrusted = mail.untrustedCertificate()) {
        const UntrustedCertificate certificate = *untrusted;
        if (!user.trustCertificate(certificate)) {
            outcome.kind = CheckOutcome::Kind::CouldNotLook;
            return -1;
        }
        mail.trustCertificate(certificate);
        handle = mail.NMailPop3Connect(host);
        if (handle != -1)
            return handle;
    }
    fail(mail, user, outcome);
    return -1;
}

} // namespace

CheckOutcome checkMail(NMail& mail, const QString& pop3Server, bool apop, const CheckMailUser& user)
{
    // 1. Working storage; no count until the server tells it.
    MessageTexts t;
    CheckOutcome outcome;

    // 2. No server: nothing to contact.
    if (pop3Server.isEmpty())
        return outcome;

    // 3. Connect.
    const int handle = connectTrusted(mail, pop3Server, user, outcome);
    if (handle == -1)
        return outcome;

    // 4, 5. The account, asked for now that the server answers.
    const CheckMailUser::Account account = user.readAccount();
    if (account.userId.isEmpty() || account.password.isEmpty()) {
        // 6. Ask for the account; no login this time.
        outcome.kind = CheckOutcome::Kind::CouldNotLook;
        user.askForAccount();
    } else {
        // 7. Log in; the answer is the message count.
        const int answer =
            mail.NMailPop3Authenticate(handle, account.userId, account.password, apop);
        if (answer >= 0) {
            // 8. Fetch every message in order; nothing is deleted.
            outcome.kind = CheckOutcome::Kind::Counted;
            outcome.count = answer;
            fetchEveryMessage(mail, handle, answer, t);
        } else {
            // 9. A failed login: the library's own words.
            fail(mail, user, outcome);
        }
    }
    // 10. Close whatever happened since the connection opened.
    mail.NMailPop3Close(handle);
    return outcome;
}
