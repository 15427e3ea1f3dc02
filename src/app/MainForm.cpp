#include "app/MainForm.h"

#include "app/Airframe.h"
#include "flight/Form1.h"
#include "flight/Module1.h"
#include "mail/MailCheck.h"
#include "mail/MsgForm.h"
#include "mail/NMail.h"
#include "mail/UntrustedCertificate.h"
#include "settings/IdPassForm.h"
#include "settings/OptionForm.h"
#include "settings/SetForm.h"
#include "settings/SettingsStore.h"
#include "settings/SettingsValues.h"
#include "ui/Appearance.h"
#include "ui/ClickLabel.h"
#include "ui/DialogParts.h"
#include "ui/InFront.h"
#include "ui/MessageBoxes.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QVBoxLayout>

namespace {

const QString kErrorTitle = QStringLiteral("エラー");

// The wait cursor while a check runs; lifted while the check waits for the user.
class WaitCursor
{
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

MainForm::MainForm(Uses uses) : m_uses(std::move(uses))
{
    setObjectName(QStringLiteral("MainForm"));
    m_closeWatch = std::make_unique<CloseRequestWatch>(
        *this, [this] { return m_checking; }, [this] { m_closeAfterCheck = true; });
    setWindowTitle(QStringLiteral("大空駆けるケストローバ Ver 1.0"));
    useFixedSingleBorder(true);
    setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    // The client area is black; the menu bar above it keeps the system's look.
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, Qt::black);
    client->setPalette(pal);
    client->setAutoFillBackground(true);
    layout->addWidget(client);
    // The window takes the arrow keys itself, in either view.
    setFocusPolicy(Qt::StrongFocus);

    buildMenu();
    layout->setMenuBar(menuBar);
    buildControls();
    applyOuterHeight();
}

void MainForm::buildMenu()
{
    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setNativeMenuBar(false);
    mfile = menuBar->addMenu(QStringLiteral("ファイル(&F)"));
    mfile->setObjectName(QStringLiteral("mfile"));

    auto item = [this](const char* name, const QString& text) {
        QAction* a = mfile->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    auto separator = [this](const char* name) {
        QAction* a = mfile->addSeparator();
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    mcheck = item("mcheck", QStringLiteral("メールチェック"));
    mline = separator("mline");
    mset = item("mset", QStringLiteral("設定"));
    mline2 = separator("mline2");
    mzenmen = item("mzenmen", QStringLiteral("前面表示の選択"));
    mline3 = separator("mline3");
    Sakusyahp = item("Sakusyahp", QStringLiteral("作者のホームページ"));

    connect(mcheck, &QAction::triggered, this, &MainForm::mcheck_Click);
    connect(mset, &QAction::triggered, this, &MainForm::mset_Click);
    connect(mzenmen, &QAction::triggered, this, &MainForm::mzenmen_Click);
    connect(Sakusyahp, &QAction::triggered, this, &MainForm::Sakusyahp_Click);
}

void MainForm::buildControls()
{
    using DialogParts::caption;
    using DialogParts::checkBox;
    using Twips::rect;

    Image1 = new QLabel(client);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(rect(0, 0, 3375, 1935));
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap(QStringLiteral(":/assets/cockpit.jpg")));

    // The sprite sheet: only a source of pixel copies, never shown.
    CHR_CG = new QLabel(client);
    CHR_CG->setObjectName(QStringLiteral("CHR_CG"));
    CHR_CG->setGeometry(rect(3240, 0, 1950, 510));
    CHR_CG->setPixmap(QPixmap(QStringLiteral(":/assets/sprites.bmp")));
    CHR_CG->hide();
    m_airframe = new Airframe(client, client->size(), CHR_CG->pixmap().toImage());

    Label8 = caption(client, "Label8", QStringLiteral("メールチェック"), rect(2040, 27, 1455, 255),
                     QColor(0, 255, 255));
    Label8->setFont(Appearance::uiFont(9, true));
    Label1 = caption(client, "Label1", QStringLiteral("コックピット"), rect(120, 1995, 1215, 255),
                     QColor(0, 255, 0));
    Label7 = caption(client, "Label7", QStringLiteral("Sound OFF"), rect(1320, 1995, 975, 255),
                     QColor(255, 255, 0));
    Label6 = caption(client, "Label6", QStringLiteral("紙飛行機"), rect(2520, 1995, 735, 255),
                     QColor(255, 0, 0));
    // Below the visible client area: run by other handlers only.
    Label2 = caption(client, "Label2", QStringLiteral("sound"), rect(360, 4560, 855, 255),
                     QColor(255, 255, 0));
    Label3 = caption(client, "Label3", QStringLiteral("切断"), rect(1560, 3600, 735, 255));
    Label4 = caption(client, "Label4", QStringLiteral("set"), rect(3000, 4200, 735, 255));
    Label5 = caption(client, "Label5", QStringLiteral("Stop"), rect(1560, 4560, 855, 255));
    ChkSynchro =
        checkBox(client, "ChkSynchro", QStringLiteral("同期再生(&S)"), rect(480, 5160, 1335, 255));
    ChkOnMem = checkBox(client, "ChkOnMem", QStringLiteral("メモリから再生(&M)"),
                        rect(480, 5520, 2415, 255));
    ChkLoop =
        checkBox(client, "ChkLoop", QStringLiteral("繰り返し再生(&L)"), rect(480, 6000, 1575, 255));
    ChkLoop->setChecked(true);
    // The captions in view are reached by Tab as well, in the order they are
    // read, and run by Space or Enter.
    for (ClickLabel* c : {Label8, Label1, Label7, Label6})
        c->setFocusPolicy(Qt::TabFocus);
    setTabOrder(Label8, Label1);
    setTabOrder(Label1, Label7);
    setTabOrder(Label7, Label6);
    // The check boxes can take the focus (by Tab); the arrow keys still steer.
    for (QCheckBox* box : {ChkSynchro, ChkOnMem, ChkLoop})
        m_airframe->steerFrom(box);

    connect(Label1, &ClickLabel::clicked, this, &MainForm::Label1_Click);
    connect(Label8, &ClickLabel::clicked, this, &MainForm::Label8_Click);
    connect(Label4, &ClickLabel::clicked, this, &MainForm::Label4_Click);
    connect(Label6, &ClickLabel::clicked, this, &MainForm::Label6_Click);
    connect(Label3, &ClickLabel::clicked, this, &MainForm::Label3_Click);
    connect(Label2, &ClickLabel::clicked, this, &MainForm::Label2_Click);
    connect(Label5, &ClickLabel::clicked, this, &MainForm::Label5_Click);
    connect(Label7, &ClickLabel::clicked, this, &MainForm::Label7_Click);
    connect(ChkLoop, &QCheckBox::clicked, this, &MainForm::ChkLoop_Click);
    connect(ChkSynchro, &QCheckBox::clicked, this, &MainForm::ChkSynchro_Click);
    DialogParts::fitTexts(client);
    DialogParts::outOfViewTakesNoFocus(client);
}

// The client area keeps its design height below the menu bar, so the controls
// placed lower stay out of view.
void MainForm::applyOuterHeight()
{
    setFixedSize(kClientWidth, menuBar->sizeHint().height() + kClientHeight);
}

void MainForm::Form_Load()
{
    // 1. The cockpit view, animation stopped.
    Image1->show();
    m_airframe->stop();
    // 2. Captions.
    Label1->setText(QStringLiteral("コックピット"));
    Label7->setText(QStringLiteral("Sound OFF"));
    Label6->setText(QStringLiteral("紙飛行機"));
    // 3. Outer height.
    applyOuterHeight();
    centreOnScreen();
    // 4. The jet's start position.
    m_airframe->placeJet(60, 40);
    // 5. The flight window exists from the start, hidden, already flying.
    m_uses.form1.Show();
    m_uses.form1->hide();
    // 6. The hang-up option.
    if (m_uses.store.readHangUpOption() == 1)
        m_uses.setForm->setHangUpAfterCheck(true);
    // 7. Server settings.
    m_uses.store.LoadServerSettings(m_uses.values);
    // 8, 9. The mail library.
    m_uses.mail.NMailInitializeWinSock();
    m_uses.mail.NMailSetOption(1, 8192);
}

void MainForm::Form_Unload()
{
    m_uses.sound.closeSwitchSound();
    if (m_uses.form1.isLoaded())
        m_uses.form1.Unload();
    m_uses.mail.NMailEndWinSock();
    m_uses.endProcess();
}

void MainForm::Label8_Click()
{
    CheckMail();
}

void MainForm::mcheck_Click()
{
    CheckMail();
}

void MainForm::Label4_Click()
{
    m_uses.setForm.Show(this);
}

void MainForm::mset_Click()
{
    m_uses.setForm.Show(this);
}

void MainForm::Label6_Click()
{
    if (!PlaneOut) {
        m_uses.form1.Show();
        Label6->setText(QStringLiteral("紙飛行機"));
    } else {
        m_uses.form1.Unload();
        Label6->setText(QStringLiteral("収納"));
    }
    PlaneOut = !PlaneOut;
}

void MainForm::setTopmost(bool on)
{
    InFront::keepOnTop(*this, on);
    show();
}

void MainForm::mzenmen_Click()
{
    if (!OnTop) {
        m_uses.msgBox.MsgBox(QStringLiteral("常に手前表示が設定されました。"),
                             MessageBoxes::Information, QStringLiteral("Kestrova"), this);
        setTopmost(true);
    } else {
        m_uses.msgBox.MsgBox(QStringLiteral("常に手前表示が解除されました。"),
                             MessageBoxes::Information, QStringLiteral("Kestrova"), this);
        setTopmost(false);
    }
    OnTop = !OnTop;
}

void MainForm::Sakusyahp_Click()
{
    m_uses.offerHomePage(this);
}

void MainForm::Label3_Click()
{
    m_uses.hangUpAll();
}

void MainForm::Label2_Click()
{
    m_uses.sound.playSwitchSound(m_uses.soundFile);
}

void MainForm::Label5_Click()
{
    m_uses.sound.closeSwitchSound();
}

void MainForm::Label7_Click()
{
    if (SoundToggleCount % 2 == 0) {
        Label2_Click();
        Label7->setText(QStringLiteral("Soun ON"));
    } else {
        Label5_Click();
        Label7->setText(QStringLiteral("Sound OFF"));
    }
    ++SoundToggleCount;
}

void MainForm::ChkLoop_Click()
{
    if (ChkLoop->isChecked()) {
        ChkSynchro->setEnabled(false);
        ChkSynchro->setChecked(false);
    } else {
        ChkSynchro->setEnabled(true);
    }
}

void MainForm::ChkSynchro_Click()
{
    if (ChkSynchro->isChecked()) {
        ChkLoop->setEnabled(false);
        ChkLoop->setChecked(false);
    } else {
        ChkLoop->setEnabled(true);
    }
}

void MainForm::Label1_Click()
{
    if (!m_airframe->state().Running) {
        Image1->hide();
        m_airframe->start();
        Label1->setText(QStringLiteral("機体"));
    } else {
        Image1->show();
        m_airframe->stop();
        Label1->setText(QStringLiteral("コックピット"));
    }
}

void MainForm::Timer1_Timer()
{
    m_airframe->Timer1_Timer();
}

void MainForm::runDueSteps()
{
    m_airframe->runDueSteps();
}

void MainForm::setClock(std::function<qint64()> nowNs)
{
    m_airframe->setClock(std::move(nowNs));
}

MainForm::State MainForm::state() const
{
    const Airframe::State& a = m_airframe->state();
    return {a.Running, a.JetX, a.JetY, a.SkyX, a.SkyY, a.ArrowKeys, PlaneOut, OnTop};
}

const QImage& MainForm::skyImage() const
{
    return m_airframe->image();
}

void MainForm::keyPressEvent(QKeyEvent* event)
{
    if (!m_airframe->handleArrowKey(event))
        Form::keyPressEvent(event);
}

void MainForm::keyReleaseEvent(QKeyEvent* event)
{
    if (!m_airframe->handleArrowKey(event))
        Form::keyReleaseEvent(event);
}

void MainForm::showEvent(QShowEvent* event)
{
    Form::showEvent(event);
    // The captions take no focus; the window itself gets the keys.
    if (!focusWidget())
        setFocus(Qt::ActiveWindowFocusReason);
}

void MainForm::closeEvent(QCloseEvent* event)
{
    if (m_checking) {
        event->ignore();
        m_closeAfterCheck = true;
        return;
    }
    Form::closeEvent(event);
}

void MainForm::CheckMail()
{
    WaitCursor waitCursor;
    m_checking = true;
    // Every box of the check is titled エラー, belongs to the main window and
    // lifts the wait cursor while it is up.
    auto ask = [this](const QString& prompt, int style) {
        QGuiApplication::restoreOverrideCursor();
        const int answer = m_uses.msgBox.MsgBox(prompt, style, kErrorTitle, this);
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        return answer;
    };
    CheckMailUser user;
    user.readAccount = [this] {
        SettingsValues& v = m_uses.values;
        if (!v.accountConfirmed) {
            const SettingsStore::Account stored = m_uses.store.readAccount();
            v.UserId = stored.name;
            v.Password = stored.password;
        }
        // Shown in the account dialog too (loaded hidden if need be).
        m_uses.idPassForm->setAccount(v.UserId, v.Password);
        return CheckMailUser::Account{v.UserId, v.Password};
    };
    bool askedForAccount = false;
    user.askForAccount = [this, &askedForAccount] {
        askedForAccount = true;
        m_uses.idPassForm.Show(this);
    };
    user.trustCertificate = [&ask](const UntrustedCertificate& certificate) {
        return ask(certificate.question(), MessageBoxes::YesNo | MessageBoxes::DefaultButton2 |
                                               MessageBoxes::Question) == MessageBoxes::Yes;
    };
    user.showFailure = [&ask](const QString& reason) { ask(reason, MessageBoxes::OkOnly); };

    const CheckOutcome outcome =
        checkMail(m_uses.mail, m_uses.values.Pop3Server, m_uses.values.ApopFlag != 0, user);

    // Report, in every case, and only what is known.
    // When the check asks for the account, or for a server because it had
    // none, that dialog keeps the keyboard and stays in front of the result
    // window (always on top), so the user types it at once.
    const bool accountAsked = askedForAccount && m_uses.idPassForm.isLoaded();
    const bool serverAsked = outcome.kind == CheckOutcome::Kind::NothingToCheck;
    if (accountAsked || serverAsked)
        m_uses.msgForm->show();
    else
        m_uses.msgForm.Show();
    m_uses.msgForm->showResult(outcome);

    if (accountAsked)
        m_uses.idPassForm.Show(&m_uses.msgForm.get());
    if (serverAsked) {
        m_uses.optionForm.Show(&m_uses.msgForm.get());
        m_uses.optionForm->focusPop3Server();
    }

    // New mail sends the aeroplane out, or stows it when it is out.
    if (outcome.counted() && outcome.count > 0)
        Label6_Click();

    // Hang up after every check when the option is ticked.
    if (m_uses.setForm->hangUpAfterCheck())
        Label3_Click();

    m_checking = false;
    if (m_closeAfterCheck) {
        m_closeAfterCheck = false;
        close();
    }
}
