#pragma once

#include "app/SkyView.h"
#include "ui/CloseRequestWatch.h"
#include "ui/FormRegistry.h"

#include <QImage>

#include <functional>
#include <memory>

class Airframe;
class ClickLabel;
class Form1;
class IdPassForm;
class MessageBoxes;
class Module1;
class MsgForm;
class NMail;
class OptionForm;
class SetForm;
class SettingsStore;
struct SettingsValues;
class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QMenuBar;

// The cockpit: the start-up window and the spine of the program. Its
// coloured captions and its one menu, ファイル(F), are the user's commands;
// closing it ends the process. It holds the airframe view (sky and jet) and
// runs the mail check.
class MainForm : public Form
{
    Q_OBJECT
public:
    // What the cockpit works with, handed over by the application.
    struct Uses
    {
        SettingsValues& values; // the server values and the account of this run
        SettingsStore& store;   // the hang-up option, the server settings, the account
        NMail& mail;            // the POP3 client of the check
        Module1& sound;         // the sound switch
        MessageBoxes& msgBox;
        FormRef<Form1>& form1;
        FormRef<MsgForm>& msgForm;
        FormRef<SetForm>& setForm;
        FormRef<IdPassForm>& idPassForm;
        FormRef<OptionForm>& optionForm;             // asked for a server when a check has none
        QString soundFile;                           // Sound/1.wav beside the program
        std::function<void()> hangUpAll;             // every dial-up connection
        std::function<void(QWidget*)> offerHomePage; // asked in front of the given window
        std::function<void()> endProcess;            // at once, no unload handlers
    };
    explicit MainForm(Uses uses);

    // Start-up: cockpit view, captions, the jet's start, the flight window
    // made and hidden, the hang-up option from ini.ini, the server settings
    // from orvenda.ini, the mail library; the window shows after it.
    void Form_Load() override;
    // Closing the cockpit: stops the sound, removes the flight window and
    // ends the process at once, so no other window saves anything.
    void Form_Unload() override;

    // Commands.
    // The メールチェック caption: runs one mail check.
    void Label8_Click();
    // ファイル → メールチェック: the same check as the caption.
    void mcheck_Click();
    // The hidden "set" caption: opens the 設定 dialog, as the menu does.
    void Label4_Click();
    // ファイル → 設定: shows the settings dialog (the hidden one made at
    // start-up when the hang-up option is on, else a new one).
    void mset_Click();
    // The 紙飛行機 caption: sends the paper aeroplane out over the desktop, or
    // calls it back; the caption then reads 紙飛行機 or 収納. A check that
    // finds mail runs it too.
    void Label6_Click();
    // ファイル → 前面表示の選択: keeps the cockpit above other windows, or
    // stops it, telling the user first in a box in front of it.
    void mzenmen_Click();
    // ファイル → 作者のホームページ: asks, then opens the home page in the web
    // browser on はい.
    void Sakusyahp_Click();
    // The hidden 切断 caption: hangs up every dial-up connection (through
    // NetworkManager on Linux). A check runs it at its end when 設定's
    // hang-up option is ticked.
    void Label3_Click();

    // One complete mail check, on this thread to its end: connect (asking
    // about an untrusted certificate), read the account, log in, fetch every
    // message, close, report in the result window 新着情報, send the aeroplane
    // out on new mail, hang up when asked.
    void CheckMail();

    // One animation step of the airframe view (see Airframe).
    void Timer1_Timer();
    // Timer1's tick: the airframe view's steps that are due.
    void runDueSteps();
    // Test seam: the monotonic clock (nanoseconds) of the airframe view's steps.
    void setClock(std::function<qint64()> nowNs);

    // The window's state, for a look from outside.
    struct State
    {
        bool SkyViewOn;
        int JetX;
        int JetY;
        int SkyX;
        int SkyY;
        ArrowKeyFlags ArrowKeys;
        bool PlaneOut;
        bool OnTop;
    };
    State state() const;

    static constexpr int kClientWidth = 222;  // 3330 twips
    static constexpr int kClientHeight = 148; // 2220 twips

    // The persistent picture of the client area that the airframe view draws into.
    const QImage& skyImage() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // A close asked for while a check runs (× or Alt+F4) is carried out
    // when the check ends.
    void closeEvent(QCloseEvent* event) override;

private:
    // The コックピット / 機体 caption: switches between the cockpit picture and
    // the airframe view (a scrolling sky and a jet the arrow keys steer),
    // starting or stopping the jet's steps.
    void Label1_Click();
    // The hidden "sound" caption: plays Sound/1.wav beside the program once,
    // in the background.
    void Label2_Click();
    // The hidden "Stop" caption: stops that sound and closes it.
    void Label5_Click();
    // The Sound OFF / Soun ON caption: starts the sound and stops it by turns,
    // the caption naming what the click did.
    void Label7_Click();
    // The hidden 繰り返し再生 box: ticked, it unticks and disables 同期再生
    // (the two options exclude each other); unticked, it enables it again.
    void ChkLoop_Click();
    // The hidden 同期再生 box: the same, with 繰り返し再生.
    void ChkSynchro_Click();

    void buildControls();
    void buildMenu();
    void applyOuterHeight();
    void setTopmost(bool on);

    Uses m_uses;
    bool m_checking = false;
    bool m_closeAfterCheck = false;
    // Keeps a close asked for during a check, which the check's box would
    // otherwise lose, for its end.
    std::unique_ptr<CloseRequestWatch> m_closeWatch;

    // Controls, named as the window's table names them.
    QLabel* Image1 = nullptr;     // the cockpit picture; hidden in the airframe view
    QLabel* CHR_CG = nullptr;     // the sprite sheet the airframe view draws from, never shown
    ClickLabel* Label1 = nullptr; // コックピット / 機体: the view switch
    ClickLabel* Label2 = nullptr; // "sound", out of view: starts the sound
    ClickLabel* Label3 = nullptr; // 切断, out of view: the dial-up hang-up
    ClickLabel* Label4 = nullptr; // "set", out of view: opens 設定
    ClickLabel* Label5 = nullptr; // "Stop", out of view: stops the sound
    ClickLabel* Label6 = nullptr; // 紙飛行機 / 収納: the paper-aeroplane switch
    ClickLabel* Label7 = nullptr; // Sound OFF / Soun ON: the sound switch
    ClickLabel* Label8 = nullptr; // メールチェック: starts a mail check
    // 同期再生, メモリから再生, 繰り返し再生: sound options out of view, which
    // only restrain one another.
    QCheckBox* ChkSynchro = nullptr;
    QCheckBox* ChkOnMem = nullptr;
    QCheckBox* ChkLoop = nullptr;
    // The menu ファイル(F): メールチェック, 設定, 前面表示の選択 and
    // 作者のホームページ, with the separators mline, mline2, mline3.
    QMenuBar* menuBar = nullptr;
    QMenu* mfile = nullptr;
    QAction* mcheck = nullptr;
    QAction* mline = nullptr;
    QAction* mset = nullptr;
    QAction* mline2 = nullptr;
    QAction* mzenmen = nullptr;
    QAction* mline3 = nullptr;
    QAction* Sakusyahp = nullptr;
    // The client area below the menu bar; every control sits on it.
    QWidget* client = nullptr;
    // The sky and the jet, with Timer1 that steps them.
    Airframe* m_airframe = nullptr;

    // Window state.
    bool PlaneOut = false;    // the paper aeroplane has been sent out
    bool OnTop = false;       // the cockpit is kept above other windows
    int SoundToggleCount = 0; // clicks on the sound switch; even: the next one starts
};
