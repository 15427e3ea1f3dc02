// What assistive technology is told of each window, through Qt's
// accessibility interfaces (AT-SPI on Linux, UI Automation on Windows read
// the same): captions that act as buttons are buttons with a press action,
// boxes without a caption of their own are named, and nothing out of view is
// offered the keyboard.
#include "support/Controls.h"
#include "support/app/AppHarness.h"

#include "flight/Form1.h"
#include "mail/MsgForm.h"
#include "settings/IdPassForm.h"
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
    };
    const QString none; // not looked at
    const Case cases[] = {
        {&h.main(), "Label8", QAccessible::Button, QStringLiteral("メールチェック"), true},
        {&h.main(), "Label1", QAccessible::Button, QStringLiteral("コックピット"), true},
        {&h.main(), "Label7", QAccessible::Button, QStringLiteral("Sound OFF"), true},
        {&h.main(), "Label6", QAccessible::Button, QStringLiteral("紙飛行機"), true},
        // Below the visible area: run by code, never offered the keyboard.
        {&h.main(), "Label4", QAccessible::Button, QStringLiteral("set"), false},
        {&h.main(), "ChkLoop", QAccessible::CheckBox, none, false},
        {&ctx.setForm.get(), "Check1", QAccessible::CheckBox,
         QStringLiteral("新着がなければ接続を切断する。"), true},
        {&ctx.idPassForm.get(), "Check1", QAccessible::CheckBox,
         QStringLiteral("IDパスワードを保存する"), true},
        {&ctx.msgForm.get(), "Text1", QAccessible::EditableText, QStringLiteral("結果"), true},
        {&ctx.msgForm.get(), "Text2", QAccessible::EditableText, QStringLiteral("新着メールの数"),
         true},
        {&ctx.form1.get(), nullptr, QAccessible::Client, QStringLiteral("紙飛行機"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control ? c.control : "window");
        QObject* object = c.control ? child<QWidget>(*c.window, c.control) : c.window;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(object);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->role(), c.role);
        if (!c.name.isNull()) {
            EXPECT_EQ(a->text(QAccessible::Name), c.name);
        }
        EXPECT_EQ(a->state().focusable, c.focusable);
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
