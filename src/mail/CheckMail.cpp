// The mail check of the main window: one POP3 connection, one login, every
// waiting message fetched (never deleted), the outcome in the result window.

#include "app/AppContext.h"
#include "app/MainForm.h"
#include "mail/MsgForm.h"
#include "mail/NMail.h"
#include "settings/Cp932.h"
#include "settings/IdPassForm.h"
#include "settings/SetForm.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>

#include <algorithm>
#include <vector>

namespace {

constexpr int kTextBufferSize = 8192;
// The bodies are fetched in full but not used; the buffer that receives them
// never grows past this, whatever size the server claims for a message.
constexpr int kMaxBodyBuffer = 1 << 20;

const QString kAccountFile = QStringLiteral("iniIdPass.ini");

// The wait cursor while a check runs; lifted while the check waits for the user.
class WaitCursor
{
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

void MainForm::CheckMail()
{
    WaitCursor waitCursor;
    SettingsValues& values = m_ctx.values;
    NMail& mail = m_ctx.mail;

    // 1. Working storage and the count.
    std::vector<char> text1(kTextBufferSize), text2(kTextBufferSize), text3(kTextBufferSize),
        text4(kTextBufferSize);
    int count = 0;

    // 2. No server: nothing to contact.
    if (!values.Pop3Server.isEmpty()) {
        // 3. Connect.
        const QByteArray host = Cp932::encode(values.Pop3Server);
        const int handle = mail.NMailPop3Connect(host.constData());
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
                count = mail.NMailPop3Authenticate(handle, id.constData(), pass.constData(),
                                                   values.ApopFlag != 0 ? -1 : 0);
                // 8. Fetch every message in order; nothing is deleted.
                std::vector<char> body;
                for (int i = 1; i <= count; ++i) {
                    mail.NMailPop3GetMailStatus(handle, i, text1, text2, text3, text4, 0);
                    const int size = mail.NMailPop3GetMailSize(handle, i);
                    const int bufferSize = std::clamp(size, 0, kMaxBodyBuffer - 1) + 1;
                    body.assign(size_t(bufferSize), ' ');
                    mail.NMailPop3GetMail(handle, i, text1, text2, text3, text4, body, 0, 0);
                }
                // 9. A failed login: the library's own words, and wait for the user.
                if (count < 0) {
                    int size = kTextBufferSize;
                    mail.NMailGetMessage(0, text1, size);
                    const QString message = CutAtNul(
                        Cp932::decode(QByteArrayView(text1.data(), qsizetype(text1.size()))));
                    QGuiApplication::restoreOverrideCursor();
                    m_ctx.msgBox.MsgBox(message, MessageBoxes::OkOnly, QStringLiteral("エラー"));
                    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
                }
            }
            // 10. Close whatever happened since the connection opened.
            mail.NMailPop3Close(handle);
        }
    }

    // 11. Report, in every case.
    m_ctx.msgForm.Show();
    m_ctx.msgForm->Text2->setText(QString::number(count));
    m_ctx.msgForm->Text1->setText(count > 0 ? QStringLiteral("新着メールが有ります。")
                                            : QStringLiteral("新着メールはありませんでした。"));

    // 12. New mail sends the aeroplane out, or stows it when it is out.
    if (count > 0)
        Label6_Click();

    // 13. Hang up after every check when the option is ticked.
    if (m_ctx.setForm->Check1->isChecked())
        Label3_Click();
}
