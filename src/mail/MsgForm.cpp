#include "mail/MsgForm.h"

#include "mail/MailCheck.h"
#include "ui/DialogParts.h"
#include "ui/Twips.h"

#include <QIcon>
#include <QLineEdit>

namespace {

const QString kNewMail = QStringLiteral("新着メールが有ります。");
const QString kNoMail = QStringLiteral("新着メールはありませんでした。");
const QString kCouldNotCheck = QStringLiteral("メールを確認できませんでした。");

} // namespace

MsgForm::MsgForm()
{
    setObjectName(QStringLiteral("MsgForm"));
    setWindowTitle(QStringLiteral("新着情報"));
    setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));
    useFixedSingleBorder();
    closeOnEscape();
    setFixedClientSize(Twips::toPixels(3600), Twips::toPixels(240));

    // Both boxes are taller than the client area: their lower edge is cut off.
    Text1 = DialogParts::textBox(this, "Text1", Twips::rect(0, 0, 3135, 270));
    Text1->setText(kNoMail);
    Text1->setReadOnly(true);
    Text2 = DialogParts::textBox(this, "Text2", Twips::rect(3120, 0, 495, 270));
    Text2->setReadOnly(true);
    // Named for assistive technology, which has no caption to read beside them.
    Text1->setAccessibleName(QStringLiteral("結果"));
    Text2->setAccessibleName(QStringLiteral("新着メールの数"));
    for (QLineEdit* box : {Text1, Text2})
        DialogParts::fitLineAbove(box, height());
    setTabOrder(Text1, Text2);
}

void MsgForm::Form_Load()
{
    // Topmost and centred at every load.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    centreOnScreen();
}

void MsgForm::showResult(const CheckOutcome& outcome)
{
    if (outcome.counted()) {
        Text2->setText(QString::number(outcome.count));
        Text1->setText(outcome.count > 0 ? kNewMail : kNoMail);
    } else {
        Text2->setText(QStringLiteral("-"));
        Text1->setText(kCouldNotCheck);
    }
}
