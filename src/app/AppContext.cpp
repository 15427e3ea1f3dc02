#include "app/AppContext.h"

#include "app/MainForm.h"
#include "flight/Form1.h"
#include "mail/MsgForm.h"
#include "settings/IdPassForm.h"
#include "settings/OptionForm.h"
#include "settings/SetForm.h"

#include <QDesktopServices>

#include <cstdlib>

AppContext::AppContext(const QString& exeFolder_, const QString& orvendaPath)
    : exeFolder(exeFolder_), store(exeFolder_, orvendaPath),
      hangUp(DialUpHangUp::createForPlatform()), endProcess([] { std::_Exit(0); }),
      openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); }), mainForm(*this),
      form1(*this), msgForm(*this), setForm(*this), optionForm(*this), idPassForm(*this)
{
    // A box asked for while none of our windows is active belongs to the main window.
    msgBox.setDefaultOwner([this]() -> QWidget* { return mainForm.ifLoaded(); });
    // Certificates the user trusts live in the data folder beside the settings.
    const QString pinFile = QString::fromLatin1(CertificatePins::kFileName);
    mail.certificatePins().setFile([this, pinFile] { return store.profilePath(pinFile); },
                                   [this, pinFile] { return store.profileWritePath(pinFile); });
}

AppContext::~AppContext() = default;
