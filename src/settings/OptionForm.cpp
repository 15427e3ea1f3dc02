#include "settings/OptionForm.h"

#include "settings/SettingsStore.h"
#include "settings/SettingsValues.h"
#include "ui/DialogParts.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

using namespace DialogParts;

OptionForm::OptionForm(SettingsValues& values, SettingsStore& store)
    : m_values(values), m_store(store)
{
    setObjectName(QStringLiteral("OptionForm"));
    setWindowTitle(QStringLiteral("サーバー"));
    useFixedSingleBorder();
    closeOnEscape();
    setFixedClientSize(Twips::toPixels(2955), Twips::toPixels(2940));

    const QColor blue(0, 0, 255);
    SmtpText = textBox(this, "SmtpText", Twips::rect(120, 360, 2652, 264));
    Pop3Text = textBox(this, "Pop3Text", Twips::rect(120, 960, 2652, 264));
    ApopCheck = checkBox(this, "ApopCheck", QStringLiteral("APOP を使用する(&A)"),
                         Twips::rect(480, 2040, 2172, 252));
    QPalette pal = ApopCheck->palette();
    pal.setColor(QPalette::WindowText, blue);
    ApopCheck->setPalette(pal);
    OKCommand = button(this, "OKCommand", QStringLiteral("設定"), Twips::rect(660, 2520, 972, 372));
    CancelCommand =
        button(this, "CancelCommand", QStringLiteral("中止"), Twips::rect(1860, 2520, 912, 372));
    MailText = textBox(this, "MailText", Twips::rect(120, 1560, 2652, 264));
    Label1 = label(this, "Label1", QStringLiteral("SMTPサーバー名(&S)"),
                   Twips::rect(120, 120, 1575, 195), blue);
    Label2 = label(this, "Label2", QStringLiteral("POP3サーバー名(&P)"),
                   Twips::rect(120, 720, 1635, 195), blue);
    Label3 = label(this, "Label3", QStringLiteral("メールアドレス(&M)"),
                   Twips::rect(120, 1320, 1635, 195), blue);
    // The access key of each label moves the focus to the box below it.
    labelFor(Label1, SmtpText);
    labelFor(Label2, Pop3Text);
    labelFor(Label3, MailText);
    Pop3Text->setToolTip(QStringLiteral("POP3 サーバーの名前を次の形で入力します。\n"
                                        "mail.example.net (ポート 110)\n"
                                        "mail.example.net:1110 (ほかのポート)\n"
                                        "pop3s://mail.example.net (TLS、ポート 995)"));

    setTabOrder(SmtpText, Pop3Text);
    setTabOrder(Pop3Text, ApopCheck);
    setTabOrder(ApopCheck, OKCommand);
    setTabOrder(OKCommand, CancelCommand);
    setTabOrder(CancelCommand, MailText);

    // No default button: Enter in a text box does not confirm. Esc cancels.
    m_cancelButton = CancelCommand;
    connect(OKCommand, &QPushButton::clicked, this, &OptionForm::OKCommand_Click);
    connect(CancelCommand, &QPushButton::clicked, this, &OptionForm::CancelCommand_Click);
    fitTexts(this);
    centreOnScreen();
}

void OptionForm::Form_Load()
{
    // Above every ordinary window, the main window included.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    SmtpText->setText(m_values.SmtpServer);
    Pop3Text->setText(m_values.Pop3Server);
    MailText->setText(m_values.MailAddress);
    ApopCheck->setChecked(m_values.ApopFlag != 0);
}

void OptionForm::OKCommand_Click()
{
    m_values.SmtpServer = SmtpText->text();
    m_values.Pop3Server = Pop3Text->text();
    m_values.MailAddress = MailText->text();
    m_values.ApopFlag = ApopCheck->isChecked() ? 1 : 0;
    m_store.SaveServerSettings(m_values);
    unloadSelf();
}

void OptionForm::CancelCommand_Click()
{
    unloadSelf();
}

void OptionForm::focusPop3Server()
{
    Pop3Text->setFocus(Qt::OtherFocusReason);
    Pop3Text->selectAll();
}
