#include "app/MainForm.h"

#include "app/AppContext.h"
#include "flight/Form1.h"
#include "mail/MailCheck.h"
#include "mail/MsgForm.h"
#include "mail/UntrustedCertificate.h"
#include "settings/IdPassForm.h"
#include "settings/SetForm.h"
#include "ui/Appearance.h"
#include "ui/ClickLabel.h"
#include "ui/DialogParts.h"
#include "ui/HomePage.h"
#include "ui/InFront.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPalette>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <chrono>

namespace {

const QString kErrorTitle = QStringLiteral("エラー");
const QString kNewMail = QStringLiteral("新着メールが有ります。");
const QString kNoMail = QStringLiteral("新着メールはありませんでした。");
const QString kCouldNotCheck = QStringLiteral("メールを確認できませんでした。");

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

MainForm::MainForm(AppContext& ctx) : m_ctx(ctx)
{
    setObjectName(QStringLiteral("MainForm"));
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
    // The client shows the airframe view's persistent picture under its
    // controls (see eventFilter).
    client->installEventFilter(this);
    layout->addWidget(client);
    // The window takes the arrow keys itself, in either view.
    setFocusPolicy(Qt::StrongFocus);

    buildMenu();
    layout->setMenuBar(menuBar);
    buildControls();
    applyOuterHeight();
}

MainForm::~MainForm()
{
    // The children outlive this object's members: stop watching them first.
    client->removeEventFilter(this);
    for (QCheckBox* box : {ChkSynchro, ChkOnMem, ChkLoop})
        box->removeEventFilter(this);
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
    m_sky.setSheet(CHR_CG->pixmap().toImage());

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
        box->installEventFilter(this);

    // Timer1 runs in the airframe view only; each tick waits just until the
    // next step is due, so the view does not wake the program in between.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    m_clock = [] {
        return qint64(std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count());
    };

    connect(Timer1, &QTimer::timeout, this, &MainForm::runDueSteps);

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
    Timer1->stop();
    Timer1->setInterval(0);
    SkyViewOn = false;
    // 2. Captions.
    Label1->setText(QStringLiteral("コックピット"));
    Label7->setText(QStringLiteral("Sound OFF"));
    Label6->setText(QStringLiteral("紙飛行機"));
    // 3. Outer height.
    applyOuterHeight();
    centreOnScreen();
    // 4. The jet's start position.
    JetX = 60;
    JetY = 40;
    // 5. The flight window exists from the start, hidden, already flying.
    m_ctx.form1.Show();
    m_ctx.form1->hide();
    // 6. The hang-up option.
    if (m_ctx.store.readHangUpOption() == 1)
        m_ctx.setForm->setHangUpAfterCheck(true);
    // 7. Server settings.
    m_ctx.store.LoadServerSettings(m_ctx.values);
    // 8, 9. The mail library.
    m_ctx.mail.NMailInitializeWinSock();
    m_ctx.mail.NMailSetOption(1, 8192);
}

void MainForm::Form_Unload()
{
    m_ctx.sound.mciSendString(QStringLiteral("close MIDIFILE"));
    if (m_ctx.form1.isLoaded())
        m_ctx.form1.Unload();
    m_ctx.mail.NMailEndWinSock();
    m_ctx.endProcess();
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
    m_ctx.setForm.Show(this);
}

void MainForm::mset_Click()
{
    m_ctx.setForm.Show(this);
}

void MainForm::Label6_Click()
{
    if (!PlaneOut) {
        m_ctx.form1.Show();
        Label6->setText(QStringLiteral("紙飛行機"));
    } else {
        m_ctx.form1.Unload();
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
        m_ctx.msgBox.MsgBox(QStringLiteral("常に手前表示が設定されました。"),
                            MessageBoxes::Information, QStringLiteral("Kestrova"), this);
        setTopmost(true);
    } else {
        m_ctx.msgBox.MsgBox(QStringLiteral("常に手前表示が解除されました。"),
                            MessageBoxes::Information, QStringLiteral("Kestrova"), this);
        setTopmost(false);
    }
    OnTop = !OnTop;
}

void MainForm::Sakusyahp_Click()
{
    HomePage::offer(m_ctx.msgBox, m_ctx.openUrl, m_ctx.homePage, this);
}

void MainForm::Label3_Click()
{
    if (m_ctx.hangUp)
        m_ctx.hangUp->hangUpAll();
}

QString MainForm::soundFilePath() const
{
    return QDir::toNativeSeparators(m_ctx.exeFolder + QStringLiteral("/Sound/1.wav"));
}

void MainForm::Label2_Click()
{
    m_ctx.sound.mciSendString(QStringLiteral("open ") + soundFilePath() +
                              QStringLiteral(" alias MIDIFILE"));
    m_ctx.sound.mciSendString(QStringLiteral("play MIDIFILE notify"));
}

void MainForm::Label5_Click()
{
    m_ctx.sound.mciSendString(QStringLiteral("close MIDIFILE"));
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
    if (!SkyViewOn) {
        Image1->hide();
        const qint64 now = m_clock();
        m_schedule.start(now);
        Timer1->start(m_schedule.msUntilNext(now));
        Label1->setText(QStringLiteral("機体"));
    } else {
        Image1->show();
        Timer1->stop();
        Timer1->setInterval(0);
        Label1->setText(QStringLiteral("コックピット"));
    }
    SkyViewOn = !SkyViewOn;
}

void MainForm::Timer1_Timer()
{
    SkyView::scroll(SkyX, SkyY);
    m_sky.drawSky(SkyX, SkyY);
    SkyView::steer(ArrowKeys, JetX, JetY);
    m_sky.drawJet(JetX, JetY);
    // One refresh per step, of what the step drew (the tiles and the jet):
    // the captions below the tiles are not laid out again 64 times a second.
    constexpr int cell = SkyView::kCellSize;
    client->update(QRegion(SkyX, SkyY, SkyView::kTileColumns * cell, SkyView::kTileRows * cell) +
                   QRegion(JetX, JetY, cell, cell));
}

void MainForm::runDueSteps()
{
    if (!SkyViewOn)
        return;
    for (int steps = m_schedule.takeDue(m_clock()); steps > 0; --steps)
        Timer1_Timer();
    Timer1->start(m_schedule.msUntilNext(m_clock()));
}

qint16* MainForm::arrowFlag(int keyCode)
{
    switch (keyCode) {
    case kVkUp:
        return &ArrowKeys.Up;
    case kVkDown:
        return &ArrowKeys.Down;
    case kVkLeft:
        return &ArrowKeys.Left;
    case kVkRight:
        return &ArrowKeys.Right;
    default:
        return nullptr;
    }
}

void MainForm::Form_KeyDown(int keyCode, int /*shift*/)
{
    if (qint16* flag = arrowFlag(keyCode))
        *flag = -1;
}

void MainForm::Form_KeyUp(int keyCode, int /*shift*/)
{
    if (qint16* flag = arrowFlag(keyCode))
        *flag = 0;
}

int MainForm::arrowKeyCode(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Left:
        return kVkLeft;
    case Qt::Key_Up:
        return kVkUp;
    case Qt::Key_Right:
        return kVkRight;
    case Qt::Key_Down:
        return kVkDown;
    default:
        return 0;
    }
}

bool MainForm::handleArrowKey(QKeyEvent* event)
{
    const int code = arrowKeyCode(event->key());
    if (code == 0)
        return false;
    // The shift state as the key handlers take it: 1 Shift, 2 Ctrl, 4 Alt.
    const Qt::KeyboardModifiers mods = event->modifiers();
    const int shift = (mods.testFlag(Qt::ShiftModifier) ? 1 : 0) |
                      (mods.testFlag(Qt::ControlModifier) ? 2 : 0) |
                      (mods.testFlag(Qt::AltModifier) ? 4 : 0);
    if (event->type() == QEvent::KeyPress) {
        Form_KeyDown(code, shift);
    } else if (!event->isAutoRepeat()) {
        // A held key repeats as release/press pairs; only the real release counts.
        Form_KeyUp(code, shift);
    }
    event->accept();
    return true;
}

void MainForm::keyPressEvent(QKeyEvent* event)
{
    if (!handleArrowKey(event))
        Form::keyPressEvent(event);
}

void MainForm::keyReleaseEvent(QKeyEvent* event)
{
    if (!handleArrowKey(event))
        Form::keyReleaseEvent(event);
}

void MainForm::showEvent(QShowEvent* event)
{
    Form::showEvent(event);
    // The captions take no focus; the window itself gets the keys.
    if (!focusWidget())
        setFocus(Qt::ActiveWindowFocusReason);
}

bool MainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == client && event->type() == QEvent::Paint) {
        // The persistent picture under the controls. In the cockpit view
        // Image1 covers most of it; what the airframe view left in the strip
        // below stays, as nothing clears the picture.
        QPainter painter(client);
        painter.drawImage(0, 0, m_sky.image());
        return false;
    }
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        watched != client)
        return handleArrowKey(static_cast<QKeyEvent*>(event));
    return Form::eventFilter(watched, event);
}

void MainForm::CheckMail()
{
    WaitCursor waitCursor;
    // Every box of the check is titled エラー, belongs to the main window and
    // lifts the wait cursor while it is up.
    auto ask = [this](const QString& prompt, int style) {
        QGuiApplication::restoreOverrideCursor();
        const int answer = m_ctx.msgBox.MsgBox(prompt, style, kErrorTitle, this);
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        return answer;
    };
    CheckMailUser user;
    user.readAccount = [this] {
        const SettingsStore::Account account = m_ctx.store.readAccount();
        // Into the account dialog (loaded hidden if need be) and the shared values.
        m_ctx.idPassForm->setAccount(account.name, account.password);
        m_ctx.values.UserId = account.name;
        m_ctx.values.Password = account.password;
        return CheckMailUser::Account{account.name, account.password};
    };
    bool askedForAccount = false;
    user.askForAccount = [this, &askedForAccount] {
        askedForAccount = true;
        m_ctx.idPassForm.Show(this);
    };
    user.trustCertificate = [&ask](const UntrustedCertificate& certificate) {
        return ask(certificate.question(), MessageBoxes::YesNo | MessageBoxes::DefaultButton2 |
                                               MessageBoxes::Question) == MessageBoxes::Yes;
    };
    user.showFailure = [&ask](const QString& reason) { ask(reason, MessageBoxes::OkOnly); };

    const CheckOutcome outcome =
        checkMail(m_ctx.mail, m_ctx.values.Pop3Server, m_ctx.values.ApopFlag != 0, user);

    // Report, in every case, and only what is known.
    // When the check opened the account dialog, that dialog keeps the
    // keyboard and stays in front of the result window (always on top), so
    // the user types the account at once.
    const bool accountAsked = askedForAccount && m_ctx.idPassForm.isLoaded();
    if (accountAsked)
        m_ctx.msgForm->show();
    else
        m_ctx.msgForm.Show();
    if (outcome.counted())
        m_ctx.msgForm->showResult(outcome.count > 0 ? kNewMail : kNoMail,
                                  QString::number(outcome.count));
    else
        m_ctx.msgForm->showResult(kCouldNotCheck, QStringLiteral("-"));

    if (accountAsked)
        m_ctx.idPassForm.Show(&m_ctx.msgForm.get());

    // New mail sends the aeroplane out, or stows it when it is out.
    if (outcome.counted() && outcome.count > 0)
        Label6_Click();

    // Hang up after every check when the option is ticked.
    if (m_ctx.setForm->hangUpAfterCheck())
        Label3_Click();
}
