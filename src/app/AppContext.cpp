#include "app/AppContext.h"

#include "app/MainForm.h"
#include "flight/Form1.h"
#include "mail/MsgForm.h"
#include "settings/IdPassForm.h"
#include "settings/OptionForm.h"
#include "settings/SetForm.h"

#include <QDir>

#include <cstdlib>

namespace {

// The platform's hang-up, made when it is first asked to hang up. On Linux
// making it opens the system bus connection, which costs the start-up time
// and which a run that never hangs up does not need.
class HangUpOnFirstUse : public DialUpHangUp
{
public:
    void hangUpAll() override
    {
        if (!m_platform)
            m_platform = DialUpHangUp::createForPlatform();
        m_platform->hangUpAll();
    }

private:
    std::unique_ptr<DialUpHangUp> m_platform;
};

} // namespace

AppContext::AppContext(const QString& exeFolder_, const QString& orvendaPath)
    : exeFolder(exeFolder_), store(exeFolder_, orvendaPath),
      hangUp(std::make_unique<HangUpOnFirstUse>()), endProcess([] { std::_Exit(0); }),
      openUrl(HomePage::openWithSystem), homePage(HomePage::address(exeFolder_)), mainForm([this] {
          return new MainForm(
              {values, store, mail, sound, msgBox, form1, msgForm, setForm, idPassForm, optionForm,
               QDir::toNativeSeparators(exeFolder + QStringLiteral("/Sound/1.wav")),
               [this] {
                   if (hangUp)
                       hangUp->hangUpAll();
               },
               [this](QWidget* owner) { offerHomePage(owner); }, [this] { endProcess(); }});
      }),
      form1([this] { return new Form1(sound, [this] { endProcess(); }); }),
      msgForm([] { return new MsgForm(); }), setForm([this] {
          return new SetForm(store, idPassForm, optionForm,
                             [this](QWidget* owner) { offerHomePage(owner); });
      }),
      optionForm([this] { return new OptionForm(values, store); }),
      idPassForm([this] { return new IdPassForm(values, store); })
{
    // A box asked for while none of our windows is active belongs to the main window.
    msgBox.setDefaultOwner([this]() -> QWidget* { return mainForm.ifLoaded(); });
    // Certificates the user trusts live in the data folder beside the settings.
    const QString pinFile = QString::fromLatin1(CertificatePins::kFileName);
    mail.certificatePins().setFile([this, pinFile] { return store.profilePath(pinFile); },
                                   [this, pinFile] { return store.profileWritePath(pinFile); });
}

AppContext::~AppContext() = default;

void AppContext::offerHomePage(QWidget* owner)
{
    HomePage::offer(msgBox, openUrl, homePage, owner);
}
