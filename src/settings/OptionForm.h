#pragma once

#include "app/FormRegistry.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The server settings: SMTP and POP3 server names, the mail address and the
// APOP choice. OK takes effect at once and rewrites orvenda.ini.
class OptionForm : public Form
{
    Q_OBJECT
public:
    explicit OptionForm(AppContext& ctx);

    void Form_Load() override;
    void OKCommand_Click();
    void CancelCommand_Click();

    QLineEdit* SmtpText = nullptr;
    QLineEdit* Pop3Text = nullptr;
    QCheckBox* ApopCheck = nullptr;
    QPushButton* OKCommand = nullptr;
    QPushButton* CancelCommand = nullptr;
    QLineEdit* MailText = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
};
