#pragma once

#include "ui/FormRegistry.h"

#include <array>

class SettingsStore;
struct SettingsValues;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The account dialog "ID,PASS" (設定 → ID/PASS, or opened by a check that
// finds no stored account): name and password, stored in iniIdPass.ini when
// the save box is ticked. The account confirmed here is the one the checks
// use until the program ends, saved or not.
class IdPassForm : public Form
{
    Q_OBJECT
public:
    // values: the process-wide values it shows and sets; store: the settings files.
    IdPassForm(SettingsValues& values, SettingsStore& store);

    // Fills the boxes with the account the checks use (the one confirmed this
    // run, else the stored one); the save box starts unticked.
    void Form_Load() override;
    // OK (or Enter): the checks of this run log in with the name and
    // password typed. With the save box ticked they are also stored in
    // iniIdPass.ini (NAME, NAME2, NAME3=1); unticked, only NAME3=0 is
    // written and the password never reaches the disk. Closes the dialog.
    void OKCommand_Click();
    // Cancel (or Esc): closes the dialog, keeping nothing.
    void CancelCommand_Click();

    // Puts an account into the name and password boxes (a check shows there
    // the account it read).
    void setAccount(const QString& name, const QString& password);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SettingsValues& m_values;
    SettingsStore& m_store;

    QLineEdit* IdText = nullptr;   // the account name
    QLineEdit* PassText = nullptr; // the password, every character shown as "*"
    QPushButton* OKCommand = nullptr;
    QPushButton* CancelCommand = nullptr;
    QCheckBox* Check1 = nullptr; // IDパスワードを保存する: store the account on OK
    QLabel* Label1 = nullptr;
    // The control array Label2: index 0 "Password", index 1 the save box's text.
    std::array<QLabel*, 2> Label2{};
};
