#pragma once

#include "app/FormRegistry.h"

#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The account: name and password, stored in iniIdPass.ini when the save box
// is ticked.
class IdPassForm : public Form
{
    Q_OBJECT
public:
    explicit IdPassForm(AppContext& ctx);

    void Form_Load() override;
    void OKCommand_Click();
    void CancelCommand_Click();

    QLineEdit* IdText = nullptr;
    QLineEdit* PassText = nullptr;
    QPushButton* OKCommand = nullptr;
    QPushButton* CancelCommand = nullptr;
    QCheckBox* Check1 = nullptr;
    QLabel* Label1 = nullptr;
    // The control array Label2: index 0 "Password", index 1 the save box's text.
    std::array<QLabel*, 2> Label2{};
};
