// Which window a message box belongs to: the one that asks, else our active
// window, else the main window. Boxes asked for without an owner (the mail
// check's) must come out in front of the window the user is looking at.

#include "support/Controls.h"
#include "support/QtValues.h"
#include "support/app/AppHarness.h"

#include "settings/OptionForm.h"
#include "settings/SetForm.h"
#include "ui/HomePage.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
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

// The window a box belongs to goes while the box waits (it is unloaded): the
// box goes with it, once, and the call returns.
TEST(MessageBoxOwner, AnOwnerUnloadedWhileItsBoxWaitsTakesTheBoxWithIt)
{
    AppHarness h;
    AppContext& ctx = h.start();
    ctx.setForm.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(ctx.setForm.ifLoaded()));
    ctx.msgBox.setNeverBlock(false);
    QTimer poll; // until the box is up
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll.stop();
            ctx.setForm.Unload();
        }
    });
    poll.start(50);
    EXPECT_EQ(ctx.msgBox.MsgBox(QStringLiteral("x"), MessageBoxes::OkOnly, QStringLiteral("エラー"),
                                ctx.setForm.ifLoaded()),
              MessageBoxes::Ok);
    EXPECT_FALSE(ctx.setForm.isLoaded());
}

// Where a box's lines break (shown joined by "|"), every character one unit wide.
TEST(MessageBoxText, LinesBreakAtPhraseEndsAndNeverBeforeAClosingBracket)
{
    const struct
    {
        const char16_t* prompt;
        qreal width;
        const char16_t* lines;
    } cases[] = {
        // A stop before a closing bracket ends no phrase: no line starts with 」 or 』.
        {u"前置きです あいう。」えおか。 かきく、』けこさ。", 10,
         u"前置きです|あいう。」えおか。|かきく、』けこさ。"},
        // A 「」 name that fits stays whole; a phrase wider than the line
        // breaks before a 「, else where the line is full.
        {u"サーバーの「APOP を使用する」を外して、もう一度。", 14,
         u"サーバーの|「APOP を使用する」を外|して、もう一度。"},
        // The prompt's own line ends, then groups of four bytes of a fingerprint.
        {u"指紋は次のとおりです。\n3A:F1:09:BC:77:E2:5D:10:C4:8B:92:AA:01:6F:3E:D5", 26,
         u"指紋は次のとおりです。|3A:F1:09:BC:77:E2:5D:10:|C4:8B:92:AA:01:6F:3E:D5"},
        // No tail of one or two characters.
        {u"前置き文です。ファイルを開けませんでした。はい", 16,
         u"前置き文です。|ファイルを開けませんでした。はい"},
        // A phrase wider than any line starts on the line before it.
        {u"POP3 サーバー「pop3.example-provider.invalid」が見つかりませんでした。", 32,
         u"POP3 サーバー|「pop3.example-provider.invalid」が|見つかりませんでした。"},
        // A long path breaks before its 「 and after a /.
        {u"ホームページ「/home/user/長いフォルダー/README.md」を開けませんでした。", 20,
         u"ホームページ|「/home/user/長いフォルダー/|README.md」を開けませんでした。"},
    };
    const auto characters = [](const QString& line) { return qreal(line.size()); };
    for (const auto& c : cases) {
        EXPECT_EQ(
            MessageBoxes::phrased(QString::fromUtf16(c.prompt), c.width, characters).join(u'|'),
            QString::fromUtf16(c.lines));
    }
}
