#pragma once

#include <QString>
#include <QtGlobal>

// The process-wide values shared by the windows for the whole run. They start
// empty and 0; SettingsStore::LoadServerSettings fills the first four from
// orvenda.ini; the account dialog's OK sets UserId and Password for the rest
// of the run, saved or not, and until then the mail check fills them from
// iniIdPass.ini.
struct SettingsValues
{
    QString SmtpServer;
    QString Pop3Server;
    QString MailAddress;
    qint16 ApopFlag = 0; // non-zero asks for the APOP login
    QString UserId;
    QString Password;
    // UserId and Password were confirmed in the account dialog this run: the
    // checks use them, not the file.
    bool accountConfirmed = false;
};
