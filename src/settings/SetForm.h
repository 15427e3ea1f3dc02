#pragma once

#include "app/FormRegistry.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

// The settings hub: the hang-up option (its check box holds the option while
// the window exists) and the ways to the account and server dialogs.
class SetForm : public Form
{
    Q_OBJECT
public:
    explicit SetForm(AppContext& ctx);

    void Form_Load() override;
    void Form_Unload() override;

    void Command1_Click();
    void Command2_Click();
    void Command5_Click();

    QPushButton* Command5 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command1 = nullptr;
    QCheckBox* Check1 = nullptr;
    QLabel* Label1 = nullptr;
    QFrame* Line1 = nullptr;
};
