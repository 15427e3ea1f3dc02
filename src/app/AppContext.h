#pragma once

#include "flight/Module1.h"
#include "mail/DialUpHangUp.h"
#include "mail/NMail.h"
#include "settings/SettingsStore.h"
#include "settings/SettingsValues.h"
#include "ui/FormRegistry.h"
#include "ui/HomePage.h"
#include "ui/MessageBoxes.h"

#include <QUrl>

#include <functional>
#include <memory>

class MainForm;
class Form1;
class MsgForm;
class SetForm;
class OptionForm;
class IdPassForm;

// Everything the windows share for the whole run: the settings values and
// store, the mail library, the sound layer, the message boxes, and the one
// reference to each of the six windows.
class AppContext
{
public:
    // exeFolder: the folder of the running program (the data folder lies below it).
    explicit AppContext(const QString& exeFolder,
                        const QString& orvendaPath = SettingsStore::serverSettingsFile());
    ~AppContext();
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    QString exeFolder;
    SettingsValues values; // server values and account, shared by the windows
    SettingsStore store;   // ini.ini, iniIdPass.ini and orvenda.ini
    NMail mail;            // the POP3 client a check talks through
    Module1 sound;         // the sound switch's sound and the wave player
    MessageBoxes msgBox;   // every message box of the program
    // The dial-up hang-up; the platform's own is made when first used.
    std::unique_ptr<DialUpHangUp> hangUp;

    // Ends the process at once, running no window's unload handler.
    std::function<void()> endProcess;
    // Opens an address in the system web browser (or the system's viewer of
    // a local file); false when nothing could be started.
    HomePage::Opener openUrl;
    // The project's page that 作者のホームページ offers.
    QUrl homePage;
    // Asks whether to open that page, in front of `owner`, and opens it on はい.
    void offerHomePage(QWidget* owner);

    // Declared last so that they are destroyed first, without unload handlers.
    FormRef<MainForm> mainForm;
    FormRef<Form1> form1;
    FormRef<MsgForm> msgForm;
    FormRef<SetForm> setForm;
    FormRef<OptionForm> optionForm;
    FormRef<IdPassForm> idPassForm;
};
