#pragma once

#include "app/FormRegistry.h"

#include <QImage>

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
    void mzenmen_Click();
    void Sakusyahp_Click();
    void Label3_Click();
    void Label2_Click();
    void Label5_Click();
    void Label7_Click();
    void ChkLoop_Click();
    void ChkSynchro_Click();

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
    bool PlaneOut = false;
    bool OnTop = false;
    int SoundToggleCount = 0;

    // The sound file: the program's folder + "/Sound/1.wav".
    QString soundFilePath() const;

    static constexpr int ClientWidth = 222;  // 3330 twips
    static constexpr int ClientHeight = 148; // 2220 twips

private:
    void buildControls();
    void buildMenu();
    void applyOuterHeight();
    void setTopmost(bool on);
};
