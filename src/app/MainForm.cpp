#include "app/MainForm.h"

#include "app/AppContext.h"
#include "app/Appearance.h"
#include "app/ClickLabel.h"
#include "app/HomePage.h"
#include "app/Twips.h"
#include "flight/Form1.h"
#include "settings/SetForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {

ClickLabel* caption(const char* name, const QString& text, QWidget* parent, QRect geometry,
                    const QColor& colour = QColor())
{
    auto* label = new ClickLabel(QString::fromLatin1(name), text, parent);
    label->setGeometry(geometry);
    if (colour.isValid()) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, colour);
        label->setPalette(pal);
    } else {
        label->setAutoFillBackground(true);
    }
    return label;
}

QCheckBox* checkBox(const char* name, const QString& text, QWidget* parent, QRect geometry)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    return box;
}

} // namespace

MainForm::MainForm(AppContext& ctx) : Form(ctx)
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
    client->setFixedSize(ClientWidth, ClientHeight);
    // The client area is black; the menu bar above it keeps the system's look.
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, Qt::black);
    client->setPalette(pal);
    client->setAutoFillBackground(true);
    layout->addWidget(client);

    buildMenu();
    layout->setMenuBar(menuBar);
    buildControls();
    applyOuterHeight();
}

MainForm::~MainForm() = default;

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

    Label8 = caption("Label8", QStringLiteral("メールチェック"), client, rect(2040, 27, 1455, 255),
                     QColor(0, 255, 255));
    Label8->setFont(Appearance::uiFont(9, true));
    Label1 = caption("Label1", QStringLiteral("コックピット"), client, rect(120, 1995, 1215, 255),
                     QColor(0, 255, 0));
    Label7 = caption("Label7", QStringLiteral("Sound OFF"), client, rect(1320, 1995, 975, 255),
                     QColor(255, 255, 0));
    Label6 = caption("Label6", QStringLiteral("紙飛行機"), client, rect(2520, 1995, 735, 255),
                     QColor(255, 0, 0));
    // Below the visible client area: run by other handlers only.
    Label2 = caption("Label2", QStringLiteral("sound"), client, rect(360, 4560, 855, 255),
                     QColor(255, 255, 0));
    Label3 = caption("Label3", QStringLiteral("切断"), client, rect(1560, 3600, 735, 255));
    Label4 = caption("Label4", QStringLiteral("set"), client, rect(3000, 4200, 735, 255));
    Label5 = caption("Label5", QStringLiteral("Stop"), client, rect(1560, 4560, 855, 255));
    ChkSynchro = checkBox("ChkSynchro", QStringLiteral("同期再生(&S)"), client,
                          rect(480, 5160, 1335, 255));
    ChkOnMem = checkBox("ChkOnMem", QStringLiteral("メモリから再生(&M)"), client,
                        rect(480, 5520, 2415, 255));
    ChkLoop = checkBox("ChkLoop", QStringLiteral("繰り返し再生(&L)"), client,
                       rect(480, 6000, 1575, 255));
    ChkLoop->setChecked(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1);

    connect(Label8, &ClickLabel::clicked, this, &MainForm::Label8_Click);
    connect(Label4, &ClickLabel::clicked, this, &MainForm::Label4_Click);
    connect(Label6, &ClickLabel::clicked, this, &MainForm::Label6_Click);
    connect(Label3, &ClickLabel::clicked, this, &MainForm::Label3_Click);
    connect(Label2, &ClickLabel::clicked, this, &MainForm::Label2_Click);
    connect(Label5, &ClickLabel::clicked, this, &MainForm::Label5_Click);
    connect(Label7, &ClickLabel::clicked, this, &MainForm::Label7_Click);
    connect(ChkLoop, &QCheckBox::clicked, this, &MainForm::ChkLoop_Click);
    connect(ChkSynchro, &QCheckBox::clicked, this, &MainForm::ChkSynchro_Click);
}

// The client area keeps its design height below the menu bar, so the controls
// placed lower stay out of view.
void MainForm::applyOuterHeight()
{
    setFixedSize(ClientWidth, menuBar->sizeHint().height() + ClientHeight);
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
    if (m_ctx.store.ReadProfileInt(QStringLiteral("ini.ini"), QStringLiteral("NUMBER")) == 1)
        m_ctx.setForm->Check1->setChecked(true);
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
    m_ctx.setForm.Show();
}

void MainForm::mset_Click()
{
    m_ctx.setForm.Show();
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
    // Changing the flag on the native window keeps it mapped where it is;
    // QWidget::setWindowFlag would hide and re-create it.
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    if (QWindow* w = windowHandle()) {
        overrideWindowFlags(flags);
        w->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
    show();
}

void MainForm::mzenmen_Click()
{
    if (!OnTop) {
        m_ctx.msgBox.MsgBox(QStringLiteral("常に手前表示が設定されました。"),
                            MessageBoxes::Information);
        setTopmost(true);
    } else {
        m_ctx.msgBox.MsgBox(QStringLiteral("常に手前表示が解除されました。"),
                            MessageBoxes::Information);
        setTopmost(false);
    }
    OnTop = !OnTop;
}

void MainForm::Sakusyahp_Click()
{
    HomePage::offer(m_ctx);
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
