#pragma once

#include "app/FormRegistry.h"
#include "app/SkyView.h"
#include "app/StepSchedule.h"

#include <QImage>

#include <functional>

class ClickLabel;
class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QMenuBar;
class QTimer;

// The cockpit: the start-up window and the spine of the program. Closing it
// ends the process.
class MainForm : public Form
{
    Q_OBJECT
public:
    explicit MainForm(AppContext& ctx);
    ~MainForm() override;

    void Form_Load() override;
    void Form_Unload() override;

    // Commands.
    void Label8_Click();
    void mcheck_Click();
    void Label4_Click();
    void mset_Click();
    void Label6_Click();
    // mzenmen_Click: keeps the main window above other windows, or stops it,
    // telling the user first in a box in front of it.
    void mzenmen_Click();
    // Sakusyahp_Click: offers to open the home page in the web browser.
    void Sakusyahp_Click();
    void Label3_Click();
    void Label2_Click();
    void Label5_Click();
    void Label7_Click();
    void ChkLoop_Click();
    void ChkSynchro_Click();

    // Label1_Click: switches between the cockpit picture and the airframe view
    // (sky and jet), starting or stopping the jet's steps.
    void Label1_Click();
    // One animation step of the airframe view: scroll, sky, steer, jet, refresh.
    void Timer1_Timer();
    // Timer1's tick: runs the steps the schedule says are due (64 a second),
    // then sets Timer1 to fire when the next one is.
    void runDueSteps();
    // Test seam: the monotonic clock (nanoseconds) the step schedule reads.
    void setClock(std::function<qint64()> nowNs) { m_clock = std::move(nowNs); }
    // Arrow keys by their virtual-key codes (37 left, 38 up, 39 right, 40 down);
    // other codes and the shift state are ignored.
    void Form_KeyDown(int keyCode, int shift);
    void Form_KeyUp(int keyCode, int shift);

    // Virtual-key code of an arrow key, 0 for any other key.
    static int arrowKeyCode(int qtKey);
    // The held-key flag of an arrow key's code, or null for other keys.
    qint16* arrowFlag(int keyCode);
    static constexpr int VkLeft = 37;
    static constexpr int VkUp = 38;
    static constexpr int VkRight = 39;
    static constexpr int VkDown = 40;

    // One complete mail check: connect, read the account, log in, fetch every
    // message, close, report in the result window.
    void CheckMail();

    // Controls, named as the window's table names them.
    QLabel* Image1 = nullptr;
    QLabel* CHR_CG = nullptr;
    ClickLabel* Label1 = nullptr;
    ClickLabel* Label2 = nullptr;
    ClickLabel* Label3 = nullptr;
    ClickLabel* Label4 = nullptr;
    ClickLabel* Label5 = nullptr;
    ClickLabel* Label6 = nullptr;
    ClickLabel* Label7 = nullptr;
    ClickLabel* Label8 = nullptr;
    QCheckBox* ChkSynchro = nullptr;
    QCheckBox* ChkOnMem = nullptr;
    QCheckBox* ChkLoop = nullptr;
    QTimer* Timer1 = nullptr;
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

    // Window state.
    bool SkyViewOn = false;
    int JetX = 0;
    int JetY = 0;
    int SkyX = 0;
    int SkyY = 0;
    ArrowKeyFlags ArrowKeys;
    bool PlaneOut = false;
    bool OnTop = false;
    int SoundToggleCount = 0;

    // The sound file: the program's folder + "/Sound/1.wav".
    QString soundFilePath() const;

    static constexpr int ClientWidth = 222;  // 3330 twips
    static constexpr int ClientHeight = 148; // 2220 twips

    // The persistent picture of the client area that the airframe view draws into.
    const QImage& skyImage() const { return m_sky.image(); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // An arrow key press or release for the key handlers; false for other keys.
    bool handleArrowKey(QKeyEvent* event);
    void buildControls();
    void buildMenu();
    void applyOuterHeight();
    void setTopmost(bool on);

    SkyView m_sky{ClientWidth, ClientHeight};
    StepSchedule m_schedule;
    std::function<qint64()> m_clock;
};
