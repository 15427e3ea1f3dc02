#pragma once

#include "ui/FormRegistry.h"

class QLineEdit;
struct CheckOutcome;

// The result window 新着情報: the outcome of the latest mail check, kept above
// every other window. The main window's check shows it and fills it.
class MsgForm : public Form
{
    Q_OBJECT
public:
    MsgForm();

    // Keeps the window above every other and centres it, at every load.
    void Form_Load() override;

    // Shows a check's verdict and its count ("-" when it could not count).
    void showResult(const CheckOutcome& outcome);

private:
    // The verdict: 新着メールが有ります。, 新着メールはありませんでした。 or
    // メールを確認できませんでした。
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr; // the message count, or "-" when it is not known
};
