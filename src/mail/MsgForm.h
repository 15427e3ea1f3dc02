#pragma once

#include "app/FormRegistry.h"

class QLineEdit;

// The result of the latest mail check, kept above every other window.
class MsgForm : public Form
{
    Q_OBJECT
public:
    explicit MsgForm(AppContext& ctx);

    void Form_Load() override;

    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
};
