#include "settings/IdPassForm.h"

#include "settings/SettingsStore.h"
#include "settings/SettingsValues.h"
#include "ui/DialogParts.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>

using namespace DialogParts;

IdPassForm::IdPassForm(SettingsValues& values, SettingsStore& store)
    : m_values(values), m_store(store)
{
    setObjectName(QStringLiteral("IdPassForm"));
    setWindowTitle(QStringLiteral("ID,PASS"));
    useFixedSingleBorder();
    closeOnEscape();
    setFixedClientSize(Twips::toPixels(2865), Twips::toPixels(1800));

    IdText = textBox(this, "IdText", Twips::rect(960, 120, 1632, 264));
    PassText = textBox(this, "PassText", Twips::rect(960, 600, 1632, 264));
    PassText->setEchoMode(QLineEdit::Password);
    // Every character shows as "*".
    PassText->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    OKCommand = button(this, "OKCommand", QStringLiteral("OK"), Twips::rect(900, 1380, 852, 312));
    CancelCommand =
        button(this, "CancelCommand", QStringLiteral("Cancel"), Twips::rect(1860, 1380, 852, 312));
    Check1 = checkBox(this, "Check1", QString(), Twips::rect(420, 1020, 255, 255));
    Label1 = label(this, "Label1", QStringLiteral("ID"), Twips::rect(120, 180, 675, 255));
    Label2[0] = label(this, "Label2", QStringLiteral("Password"), Twips::rect(120, 600, 795, 255));
    Label2[0]->setProperty("Index", 0);
    Label2[1] = label(this, "Label2", QStringLiteral("IDパスワードを保存する"),
                      Twips::rect(780, 1020, 1875, 255), QColor(0, 0, 255));
    Label2[1]->setProperty("Index", 1);
    labelFor(Label1, IdText);
    labelFor(Label2[0], PassText);
    labelFor(Label2[1], Check1);
    // The save box's text is its own label: Alt+S, as for 保存, ticks or
    // unticks the box from anywhere in the dialog, and a click on the text
    // does what a click on the box does.
    Label2[1]->setToolTip(QStringLiteral("Alt+S"));
    Label2[1]->installEventFilter(this);
    auto* save = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_S), this);
    connect(save, &QShortcut::activated, this, [this] {
        Check1->setFocus(Qt::ShortcutFocusReason);
        Check1->click();
    });

    setTabOrder(IdText, PassText);
    setTabOrder(PassText, OKCommand);
    setTabOrder(OKCommand, CancelCommand);
    setTabOrder(CancelCommand, Check1);

    OKCommand->setDefault(true);
    m_defaultButton = OKCommand;
    m_cancelButton = CancelCommand;
    connect(OKCommand, &QPushButton::clicked, this, &IdPassForm::OKCommand_Click);
    connect(CancelCommand, &QPushButton::clicked, this, &IdPassForm::CancelCommand_Click);
    fitTexts(this);
    centreOnScreen();
}

void IdPassForm::Form_Load()
{
    // The account the checks use: the one confirmed this run, else the stored one.
    if (m_values.accountConfirmed) {
        setAccount(m_values.UserId, m_values.Password);
    } else {
        const SettingsStore::Account account = m_store.readAccount();
        setAccount(account.name, account.password);
    }
    Check1->setChecked(false);
}

void IdPassForm::OKCommand_Click()
{
    m_values.UserId = IdText->text();
    m_values.Password = PassText->text();
    m_values.accountConfirmed = true;
    m_store.saveAccount({IdText->text(), PassText->text()}, Check1->isChecked());
    unloadSelf();
}

void IdPassForm::CancelCommand_Click()
{
    unloadSelf();
}

void IdPassForm::setAccount(const QString& name, const QString& password)
{
    IdText->setText(name);
    PassText->setText(password);
}

bool IdPassForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label2[1] && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Check1->click();
        return true;
    }
    return Form::eventFilter(watched, event);
}
