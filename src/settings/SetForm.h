#pragma once

#include "ui/FormRegistry.h"

#include <functional>

class IdPassForm;
class OptionForm;
class SettingsStore;
class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

// The settings dialog "設定" (ファイル → 設定): the hang-up option (its check
// box holds the option while the window exists) and the ways to the account
// and server dialogs.
class SetForm : public Form
{
    Q_OBJECT
public:
    // store: ini.ini's hang-up option; idPass, option: the dialogs its
    // buttons open; offerHomePage: the home-page offer, asked in front of 設定.
    SetForm(SettingsStore& store, FormRef<IdPassForm>& idPass, FormRef<OptionForm>& option,
            std::function<void(QWidget* owner)> offerHomePage);

    // Ticks the hang-up option when ini.ini's NUMBER is 1, unticks it when 0.
    void Form_Load() override;
    // Closing 設定 stores the hang-up option in ini.ini (NUMBER, NUMBER100).
    void Form_Unload() override;

    // The ID/PASS button: opens the account dialog.
    void Command1_Click();
    // The POPサーバー button: opens the server dialog.
    void Command2_Click();
    // The ヴェルニカ 作者 HP button: offers the home page, as the main menu does.
    void Command5_Click();

    // The hang-up option: every check ends with the hang-up when it is ticked.
    bool hangUpAfterCheck() const;
    void setHangUpAfterCheck(bool on);

private:
    SettingsStore& m_store;
    FormRef<IdPassForm>& m_idPass;
    FormRef<OptionForm>& m_option;
    std::function<void(QWidget* owner)> m_offerHomePage;

    QPushButton* Command5 = nullptr; // ヴェルニカ 作者 HP
    QPushButton* Command2 = nullptr; // POPサーバー
    QPushButton* Command1 = nullptr; // ID/PASS
    // 新着がなければ接続を切断する。: ticked, every check ends with the
    // hang-up (Label3_Click of the main window), whatever it found.
    QCheckBox* Check1 = nullptr;
    QLabel* Label1 = nullptr;
    QFrame* Line1 = nullptr;
};
