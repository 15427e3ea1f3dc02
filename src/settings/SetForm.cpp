#include "settings/SetForm.h"

#include "settings/IdPassForm.h"
#include "settings/OptionForm.h"
#include "settings/SettingsStore.h"
#include "ui/DialogParts.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

using namespace DialogParts;

SetForm::SetForm(SettingsStore& store, FormRef<IdPassForm>& idPass, FormRef<OptionForm>& option,
                 std::function<void(QWidget* owner)> offerHomePage)
    : m_store(store), m_idPass(idPass), m_option(option), m_offerHomePage(std::move(offerHomePage))
{
    setObjectName(QStringLiteral("SetForm"));
    setWindowTitle(QStringLiteral("設定"));
    useFixedSingleBorder();
    closeOnEscape();
    setFixedClientSize(Twips::toPixels(2880), Twips::toPixels(1530));

    Command5 = button(this, "Command5", QStringLiteral("ヴェルニカ　作者　HP"),
                      Twips::rect(120, 1080, 2655, 375));
    paintButton(Command5, QColor(192, 192, 192));
    Command2 =
        button(this, "Command2", QStringLiteral("POPサーバー"), Twips::rect(1440, 120, 1335, 375));
    paintButton(Command2, QColor(128, 128, 255));
    Command1 =
        button(this, "Command1", QStringLiteral("ID/PASS"), Twips::rect(120, 120, 1335, 375));
    paintButton(Command1, QColor(255, 128, 0));
    Check1 = checkBox(this, "Check1", QString(), Twips::rect(60, 600, 255, 255));
    Label1 = label(this, "Label1", QStringLiteral("新着がなければ接続を切断する。"),
                   Twips::rect(360, 645, 2535, 255), QColor(0, 0, 255));
    // The box's text is the label beside it.
    labelFor(Label1, Check1);
    Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setGeometry(QRect(0, Twips::toPixels(960), Twips::toPixels(3000), 1));
    Line1->setStyleSheet(QStringLiteral("background-color: black;"));

    setTabOrder(Command5, Command2);
    setTabOrder(Command2, Command1);
    setTabOrder(Command1, Check1);

    connect(Command1, &QPushButton::clicked, this, &SetForm::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &SetForm::Command2_Click);
    connect(Command5, &QPushButton::clicked, this, &SetForm::Command5_Click);
    fitTexts(this);
    centreOnScreen();
}

void SetForm::Form_Load()
{
    const int number = m_store.readHangUpOption();
    if (number == 1)
        Check1->setChecked(true);
    else if (number == 0)
        Check1->setChecked(false);
}

void SetForm::Form_Unload()
{
    m_store.saveHangUpOption(Check1->isChecked());
}

void SetForm::Command1_Click()
{
    m_idPass.Show(this);
}

void SetForm::Command2_Click()
{
    m_option.Show(this);
}

void SetForm::Command5_Click()
{
    m_offerHomePage(this);
}

bool SetForm::hangUpAfterCheck() const
{
    return Check1->isChecked();
}

void SetForm::setHangUpAfterCheck(bool on)
{
    Check1->setChecked(on);
}
