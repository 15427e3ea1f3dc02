// The mail check of the main window: one POP3 connection, one login, every
// waiting message fetched (never deleted), the outcome in the result window.
//
// The result window tells one of three things: new mail (the count above 0),
// no mail (0), or that the check could not learn the count ("-"): no server
// value, no account, a server that could not be reached or trusted, a failed
// login. Every failure that has a reason shows it in a box first.

#include "app/AppContext.h"
#include "app/MainForm.h"
#include "mail/FetchEveryMessage.h"
#include "mail/MsgForm.h"
#include "mail/NMail.h"
#include "settings/Cp932.h"
#include "settings/IdPassForm.h"
#include "settings/SetForm.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>

#include <optional>

namespace {

const QString kAccountFile = QStringLiteral("iniIdPass.ini");
const QString kErrorTitle = QStringLiteral("エラー");
const QString kNewMail = QStringLiteral("新着メールが有ります。");
const QString kNoMail = QStringLiteral("新着メールはありませんでした。");
const QString kCouldNotCheck = QStringLiteral("メールを確認できませんでした。");

// The wait cursor while a check runs; lifted while the check waits for the user.
class WaitCursor
{
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// A box titled "エラー", with the wait cursor lifted while it is up.
int askUser(AppContext& ctx, const QString& prompt, int style)
{
    QGuiApplication::restoreOverrideCursor();
    // The check runs for the main window: its boxes belong there.
    const int answer = ctx.msgBox.MsgBox(prompt, style, kErrorTitle, ctx.mainForm.ifLoaded());
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    return answer;
}

// The library's own words about the last failure, and wait for the user.
void showFailure(AppContext& ctx, MessageTexts& t)
{
    int size = MessageTexts::kSize;
    ctx.mail.NMailGetMessage(0, t.text1, size);
    askUser(ctx, CutAtNul(Cp932::decode(QByteArrayView(t.text1.data(), qsizetype(t.text1.size())))),
            MessageBoxes::OkOnly);
}

// Connects to the server value. A certificate that nobody vouches for is the
// user's decision: asked once, with いいえ the default; はい pins exactly that
// certificate for the server and connects again. Returns the handle, or -1
// once the user knows why (or declined the certificate).
int connectTrusted(AppContext& ctx, MessageTexts& t)
{
    NMail& mail = ctx.mail;
    const QByteArray host = Cp932::encode(ctx.values.Pop3Server);
    int handle = mail.NMailPop3Connect(host.constData());
    if (handle != -1)
        return handle;
    if (const UntrustedCertificate* untrusted = mail.untrustedCertificate()) {
        const UntrustedCertificate certificate = *untrusted;
        if (askUser(ctx, certificate.question(),
                    MessageBoxes::YesNo | MessageBoxes::DefaultButton2 | MessageBoxes::Question) !=
            MessageBoxes::Yes)
            return -1;
        mail.trustCertificate(certificate);
        handle = mail.NMailPop3Connect(host.constData());
        if (handle != -1)
            return handle;
    }
    showFailure(ctx, t);
    return -1;
}

} // namespace

void MainForm::CheckMail()
{
    WaitCursor waitCursor;
    SettingsValues& values = m_ctx.values;
    NMail& mail = m_ctx.mail;

    // 1. Working storage; no count until the server tells it.
    MessageTexts t;
    std::optional<int> count;

    // 2. No server: nothing to contact.
    if (!values.Pop3Server.isEmpty()) {
        // 3. Connect.
        const int handle = connectTrusted(m_ctx, t);
        if (handle != -1) {
            // 4. The stored account, read afresh now that the server answers.
            const QString name =
                m_ctx.store.ReadProfileString(kAccountFile, QStringLiteral("NAME"));
            const QString password =
                m_ctx.store.ReadProfileString(kAccountFile, QStringLiteral("NAME2"));
            // 5. Into the account dialog (loaded hidden if need be) and the shared values.
            m_ctx.idPassForm->IdText->setText(name);
            m_ctx.idPassForm->PassText->setText(password);
            values.UserId = name;
            values.Password = password;

            if (values.UserId.isEmpty() || values.Password.isEmpty()) {
                // 6. Ask for the account; no login this time.
                m_ctx.idPassForm.Show();
            } else {
                // 7. Log in; the answer is the message count.
                const QByteArray id = Cp932::encode(values.UserId);
                const QByteArray pass = Cp932::encode(values.Password);
                const int answer = mail.NMailPop3Authenticate(
                    handle, id.constData(), pass.constData(), values.ApopFlag != 0 ? -1 : 0);
                if (answer >= 0) {
                    // 8. Fetch every message in order; nothing is deleted.
                    count = answer;
                    fetchEveryMessage(mail, handle, answer, t);
                } else {
                    // 9. A failed login: the library's own words.
                    showFailure(m_ctx, t);
                }
            }
            // 10. Close whatever happened since the connection opened.
            mail.NMailPop3Close(handle);
        }
    }

    // 11. Report, in every case, and only what is known.
    m_ctx.msgForm.Show();
    m_ctx.msgForm->Text2->setText(count ? QString::number(*count) : QStringLiteral("-"));
    m_ctx.msgForm->Text1->setText(!count ? kCouldNotCheck : (*count > 0 ? kNewMail : kNoMail));

    // 12. New mail sends the aeroplane out, or stows it when it is out.
    if (count.value_or(0) > 0)
        Label6_Click();

    // 13. Hang up after every check when the option is ticked.
    if (m_ctx.setForm->Check1->isChecked())
        Label3_Click();
}
