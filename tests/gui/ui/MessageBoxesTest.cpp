// Which window a message box belongs to: the one that asks, else our active
// window, else the main window. Boxes asked for without an owner (the mail
// check's) must come out in front of the window the user is looking at.

#include "support/Controls.h"
#include "support/app/AppHarness.h"

#include "settings/OptionForm.h"
#include "settings/SetForm.h"
#include "ui/HomePage.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

TEST(MessageBoxOwner, TheAskingWindowElseTheActiveOneElseTheMainWindow)
{
    AppHarness h;
    AppContext& ctx = h.start();
    MainForm& m = h.main();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m));
    auto lastOwner = [&] { return ctx.msgBox.shown().last().owner.data(); };

    // The main window's own commands name it.
    m.mzenmen_Click();
    EXPECT_EQ(lastOwner(), &m);
    m.Sakusyahp_Click();
    EXPECT_EQ(lastOwner(), &m);

    // No owner named: the active window, here the settings dialog, whose
    // home-page button asks without naming itself.
    ctx.setForm.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(ctx.setForm.ifLoaded()));
    QTest::mouseClick(child<QPushButton>(ctx.setForm.get(), "Command5"), Qt::LeftButton);
    EXPECT_EQ(lastOwner(), ctx.setForm.ifLoaded());
    EXPECT_EQ(ctx.msgBox.shown().last().title, QStringLiteral("確認"));

    // A hidden owner cannot hold a box in front: the active window does.
    OptionForm& hidden = ctx.optionForm.get();
    ASSERT_FALSE(hidden.isVisible());
    ctx.msgBox.MsgBox(QStringLiteral("x"), MessageBoxes::OkOnly, QStringLiteral("エラー"), &hidden);
    EXPECT_EQ(lastOwner(), ctx.setForm.ifLoaded());

    // None of ours active (the user is in another program): the main window.
    QWindow elsewhere; // a window that is no widget of ours
    elsewhere.show();
    elsewhere.requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    ASSERT_EQ(QApplication::activeWindow(), nullptr);
    ctx.msgBox.MsgBox(QStringLiteral("x"), MessageBoxes::OkOnly, QStringLiteral("エラー"));
    EXPECT_EQ(lastOwner(), &m);

    // Not even the main window shown: a box of its own.
    m.hide();
    ctx.setForm->hide();
    ctx.msgBox.MsgBox(QStringLiteral("x"));
    EXPECT_EQ(lastOwner(), nullptr);
    EXPECT_EQ(ctx.msgBox.unanswered(), 6);
}
