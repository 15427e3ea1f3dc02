#pragma once

#include <QString>
#include <QtGlobal>

// The process-wide values shared by the windows for the whole run. They start
// empty and 0; SettingsStore::LoadServerSettings fills the first four from
// orvenda.ini, the mail check fills UserId and Password from iniIdPass.ini.
struct SettingsValues
{
    QString SmtpServer;
    QString Pop3Server;
    QString MailAddress;
    qint16 ApopFlag = 0; // non-zero asks for the APOP login
    QString UserId;
    QString Password;
};
