// What assistive technology is told of each window, through Qt's
// accessibility interfaces (AT-SPI on Linux, UI Automation on Windows read
// the same): windows are frames or dialogs named by their titles, captions
// that act as buttons are buttons with a press action, every field and box
// is named, and nothing out of view is offered the keyboard, showing or
// pressable.
#include "support/Controls.h"
#include "support/app/AppHarness.h"

#include "flight/Form1.h"
#include "mail/MsgForm.h"
#include "settings/IdPassForm.h"
#include "settings/OptionForm.h"
#include "settings/SetForm.h"
#include "ui/ClickLabel.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(Accessibility, EveryControlIsAnnouncedAsWhatItIsAndNamed)
{
    AppHarness h;
    AppContext& ctx = h.start();
    struct Case
    {
        QWidget* window;
        const char* control; // null: the window itself
        QAccessible::Role role;
        QString name;
        bool focusable;
        bool inView = true; // showing
    };
    const QString none; // not looked at
    QWidget* idPass = &ctx.idPassForm.get();
    QWidget* server = &ctx.optionForm.get();
    const Case cases[] = {
        {&h.main(), nullptr, QAccessible::Window, QStringLiteral("大空駆けるケストローバ Ver 1.0"),
         true},
        {&h.main(), "Label8", QAccessible::Button, QStringLiteral("メールチェック"), true},
        {&h.main(), "Label1", QAccessible::Button, QStringLiteral("コックピット"), true},
        {&h.main(), "Label7", QAccessible::Button, QStringLiteral("Sound OFF"), true},
        {&h.main(), "Label6", QAccessible::Button, QStringLiteral("紙飛行機"), true},
        // Below the visible area: run by code, never offered the keyboard,
        // not showing, nothing to press.
        {&h.main(), "Label4", QAccessible::Button, QStringLiteral("set"), false, false},
        {&h.main(), "ChkLoop", QAccessible::CheckBox, QStringLiteral("繰り返し再生"), false, false},
        {&ctx.setForm.get(), nullptr, QAccessible::Dialog, QStringLiteral("設定"), false},
        {&ctx.setForm.get(), "Check1", QAccessible::CheckBox,
         QStringLiteral("新着がなければ接続を切断する。"), true},
        {idPass, nullptr, QAccessible::Dialog, QStringLiteral("ID,PASS"), false},
        {idPass, "IdText", QAccessible::EditableText, QStringLiteral("ID"), true},
        {idPass, "PassText", QAccessible::EditableText, QStringLiteral("Password"), true},
        {idPass, "Check1", QAccessible::CheckBox, QStringLiteral("IDパスワードを保存する"), true},
        {server, "SmtpText", QAccessible::EditableText, QStringLiteral("SMTPサーバー名"), true},
        {server, "Pop3Text", QAccessible::EditableText, QStringLiteral("POP3サーバー名"), true},
        {server, "MailText", QAccessible::EditableText, QStringLiteral("メールアドレス"), true},
        {&ctx.msgForm.get(), "Text1", QAccessible::EditableText, QStringLiteral("結果"), true},
        {&ctx.msgForm.get(), "Text2", QAccessible::EditableText, QStringLiteral("新着メールの数"),
         true},
        {&ctx.form1.get(), nullptr, QAccessible::Window, QStringLiteral("紙飛行機"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control ? c.control : qPrintable(c.window->objectName()));
        QObject* object = c.control ? child<QWidget>(*c.window, c.control) : c.window;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(object);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->role(), c.role);
        if (!c.name.isNull()) {
            EXPECT_EQ(a->text(QAccessible::Name), c.name);
        }
        EXPECT_EQ(a->state().focusable, c.focusable);
        EXPECT_EQ(!a->state().offscreen, c.inView);
        // What cannot take the keyboard cannot be pressed either.
        EXPECT_EQ(a->actionInterface() && !a->actionInterface()->actionNames().isEmpty(),
                  c.focusable);
    }
}

TEST(Accessibility, TheCaptionsPressActionRunsItsCommandOnceBackInTheEventLoop)
{
    QWidget window;
    auto* caption =
        new ClickLabel(QStringLiteral("Label8"), QStringLiteral("メールチェック"), &window);
    QSignalSpy clicked(caption, &ClickLabel::clicked);
    QAccessibleActionInterface* actions =
        QAccessible::queryAccessibleInterface(caption)->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicked.count(), 0); // the caller is answered first
    EXPECT_TRUE(QTest::qWaitFor([&] { return clicked.count() == 1; }));
}

} // namespace
