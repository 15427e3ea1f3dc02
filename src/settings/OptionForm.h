#pragma once

#include "ui/FormRegistry.h"

class SettingsStore;
struct SettingsValues;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The server dialog "サーバー" (設定 → POPサーバー): SMTP and POP3 server
// names, the mail address and the APOP choice. 設定 takes effect at once and
// rewrites orvenda.ini in the folder Kestrova was started from.
class OptionForm : public Form
{
    Q_OBJECT
public:
    // values: the process-wide values it shows and sets; store: the settings files.
    OptionForm(SettingsValues& values, SettingsStore& store);

    // Fills the boxes with the values in use and keeps the dialog above
    // other windows.
    void Form_Load() override;
    // The 設定 button: the four values take effect for the next check and
    // are written to orvenda.ini; closes the dialog.
    void OKCommand_Click();
    // The 中止 button (or Esc): closes the dialog, changing nothing.
    void CancelCommand_Click();
    // Puts the cursor in POP3サーバー名, for a check that found no server to ask.
    void focusPop3Server();

private:
    SettingsValues& m_values;
    SettingsStore& m_store;

    QLineEdit* SmtpText = nullptr;  // stored only: Kestrova sends no mail
    QLineEdit* Pop3Text = nullptr;  // the server a check connects to (forms: Pop3Host.h)
    QCheckBox* ApopCheck = nullptr; // APOP を使用する: log in with APOP, not USER/PASS
    QPushButton* OKCommand = nullptr;
    QPushButton* CancelCommand = nullptr;
    QLineEdit* MailText = nullptr; // the mail address, stored only
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
};
