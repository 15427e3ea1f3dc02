#include "mail/MsgForm.h"

#include "app/Twips.h"

#include <QIcon>
#include <QLineEdit>

MsgForm::MsgForm(AppContext& ctx) : Form(ctx)
{
    setObjectName(QStringLiteral("MsgForm"));
    setWindowTitle(QStringLiteral("新着情報"));
    setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));
    useFixedSingleBorder();
    setFixedClientSize(Twips::toPixels(3600), Twips::toPixels(240));

    // Both boxes are taller than the client area: their lower edge is cut off.
    Text1 = new QLineEdit(QStringLiteral("新着メールはありませんでした。"), this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(Twips::rect(0, 0, 3135, 270));
    Text1->setReadOnly(true);
    Text2 = new QLineEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(Twips::rect(3120, 0, 495, 270));
    Text2->setReadOnly(true);
    setTabOrder(Text1, Text2);
}

void MsgForm::Form_Load()
{
    // Topmost and centred at every load.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    centreOnScreen();
}
