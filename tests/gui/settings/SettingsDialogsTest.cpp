// The three settings dialogs driven as a user drives them.

#include "support/Controls.h"
#include "support/app/AppHarness.h"

#include "base/Cp932.h"
#include "mail/MsgForm.h"
#include "settings/IdPassForm.h"
#include "settings/OptionForm.h"
#include "settings/SetForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class SettingsDialogs : public ::testing::Test
{
protected:
    AppContext& start() { return h.start(); }
    OptionForm& openServerDialog()
    {
        h.ctx->setForm.Show();
        QTest::mouseClick(child<QPushButton>(h.ctx->setForm.get(), "Command2"), Qt::LeftButton);
        return h.ctx->optionForm.get();
    }
    IdPassForm& openAccountDialog()
    {
        h.ctx->setForm.Show();
        QTest::mouseClick(child<QPushButton>(h.ctx->setForm.get(), "Command1"), Qt::LeftButton);
        return h.ctx->idPassForm.get();
    }
    void type(QLineEdit* box, const QString& text)
    {
        box->clear();
        // Key events carry ASCII only; other text arrives as an input method would put it.
        bool ascii = true;
        for (QChar c : text)
            ascii = ascii && c.unicode() < 0x80;
        if (ascii)
            QTest::keyClicks(box, text);
        else
            box->insert(text);
    }
    QStringList focusChain(QWidget* first, int n)
    {
        QStringList names;
        QWidget* w = first;
        for (int i = 0; i < n; ++i, w = w->nextInFocusChain())
            names << w->objectName();
        return names;
    }
    AppHarness h;
};

} // namespace

TEST_F(SettingsDialogs, ServerDialogOkWithEmptyFieldsWritesFourLinesAndDisablesTheCheck)
{
    h.writeFile(h.orvendaPath, "junk line\r\nPOP3=pop.example\r\nAPOP=1\r\nmore\r\n");
    AppContext& ctx = start();
    OptionForm& f = openServerDialog();
    EXPECT_EQ(child<QLineEdit>(f, "Pop3Text")->text(), QStringLiteral("pop.example"));
    EXPECT_TRUE(child<QCheckBox>(f, "ApopCheck")->isChecked());
    child<QLineEdit>(f, "Pop3Text")->clear();
    child<QCheckBox>(f, "ApopCheck")->setChecked(false);
    QTest::mouseClick(child<QPushButton>(f, "OKCommand"), Qt::LeftButton);

    EXPECT_FALSE(ctx.optionForm.isLoaded());
    EXPECT_EQ(h.readFile(h.orvendaPath), QByteArray("SMTP=\r\nPOP3=\r\nMAIL=\r\nAPOP=0\r\n"));
    EXPECT_TRUE(ctx.values.Pop3Server.isEmpty());
    EXPECT_EQ(ctx.values.ApopFlag, 0);

    // The next check contacts no server: the account is not even read, and
    // no count is shown.
    h.writeFile(h.idPassPath(), "[EXEINI]\r\nNAME=a\r\nNAME2=b\r\n");
    h.main().Label8_Click();
    EXPECT_FALSE(ctx.idPassForm.isLoaded());
    EXPECT_EQ(child<QLineEdit>(ctx.msgForm.get(), "Text2")->text(), QStringLiteral("-"));
}

TEST_F(SettingsDialogs, ServerNamesAreSavedAsTypedAndReadBackCutAtTheNextStart)
{
    AppContext& ctx = start();
    OptionForm& f = openServerDialog();
    const QString longName = QString(120, QLatin1Char('p'));
    type(child<QLineEdit>(f, "SmtpText"), QStringLiteral("  smtp.example  "));
    type(child<QLineEdit>(f, "Pop3Text"), longName);
    type(child<QLineEdit>(f, "MailText"), QStringLiteral("ユーザー@例.jp"));
    QTest::mouseClick(child<QCheckBox>(f, "ApopCheck"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(f, "OKCommand"), Qt::LeftButton);

    EXPECT_EQ(ctx.values.SmtpServer, QStringLiteral("  smtp.example  "));
    EXPECT_EQ(ctx.values.Pop3Server, longName);
    EXPECT_EQ(ctx.values.ApopFlag, 1);
    EXPECT_EQ(h.readFile(h.orvendaPath),
              "SMTP=  smtp.example  \r\nPOP3=" + longName.toLatin1() +
                  "\r\nMAIL=" + Cp932::encode(QStringLiteral("ユーザー@例.jp")) + "\r\nAPOP=1\r\n");

    h.stop();
    AppContext& again = h.start();
    EXPECT_EQ(again.values.Pop3Server, QString(100, QLatin1Char('p')));
    EXPECT_EQ(again.values.MailAddress, QStringLiteral("ユーザー@例.jp"));
    EXPECT_EQ(again.values.ApopFlag, 1);
}

TEST_F(SettingsDialogs, ServerDialogCancelEscAndEnterChangeNothing)
{
    h.writeFile(h.orvendaPath, "POP3=keep\r\n");
    AppContext& ctx = start();
    const auto before = h.snapshot();

    OptionForm& f = openServerDialog();
    type(child<QLineEdit>(f, "Pop3Text"), QStringLiteral("changed"));
    QTest::keyClick(child<QLineEdit>(f, "Pop3Text"), Qt::Key_Return); // no default button
    ASSERT_TRUE(ctx.optionForm.isLoaded());
    QTest::mouseClick(child<QPushButton>(f, "CancelCommand"), Qt::LeftButton);
    EXPECT_FALSE(ctx.optionForm.isLoaded());

    OptionForm& g = openServerDialog();
    EXPECT_EQ(child<QLineEdit>(g, "Pop3Text")->text(),
              QStringLiteral("keep")); // fresh from the values
    type(child<QLineEdit>(g, "Pop3Text"), QStringLiteral("changed again"));
    QTest::keyClick(child<QLineEdit>(g, "Pop3Text"), Qt::Key_Escape);
    EXPECT_FALSE(ctx.optionForm.isLoaded());

    OptionForm& k = openServerDialog();
    k.close(); // the close box
    EXPECT_FALSE(ctx.optionForm.isLoaded());
    EXPECT_EQ(ctx.values.Pop3Server, QStringLiteral("keep"));
    EXPECT_EQ(h.snapshot(), before);
}

TEST_F(SettingsDialogs, ServerDialogIsTopmostAndOpensOnce)
{
    AppContext& ctx = start();
    OptionForm& f = openServerDialog();
    EXPECT_TRUE(f.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    type(child<QLineEdit>(f, "SmtpText"), QStringLiteral("being edited"));
    QTest::mouseClick(child<QPushButton>(ctx.setForm.get(), "Command2"), Qt::LeftButton);
    EXPECT_EQ(ctx.optionForm.loadCount(), 1);
    EXPECT_EQ(child<QLineEdit>(f, "SmtpText")->text(), QStringLiteral("being edited"));
}

TEST_F(SettingsDialogs, AccountSavedInOrderAndShownMaskedNextTime)
{
    AppContext& ctx = start();
    QStringList events;
    ctx.store.setObserver([&](const QString& e) { events << e; });
    IdPassForm& f = openAccountDialog();
    EXPECT_TRUE(child<QLineEdit>(f, "IdText")->text().isEmpty());
    EXPECT_FALSE(child<QCheckBox>(f, "Check1")->isChecked());
    type(child<QLineEdit>(f, "IdText"), QStringLiteral("taro"));
    type(child<QLineEdit>(f, "PassText"), QStringLiteral("表ソ能①～髙"));
    QTest::mouseClick(child<QCheckBox>(f, "Check1"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(f, "OKCommand"), Qt::LeftButton);

    EXPECT_FALSE(ctx.idPassForm.isLoaded());
    EXPECT_EQ(ctx.values.UserId, QStringLiteral("taro"));
    EXPECT_EQ(ctx.values.Password, QStringLiteral("表ソ能①～髙"));
    EXPECT_EQ(events.filter(QStringLiteral("write")),
              (QStringList{"write iniIdPass.ini NAME", "write iniIdPass.ini NAME2",
                           "write iniIdPass.ini NAME3"}));
    EXPECT_EQ(h.readFile(h.idPassPath()),
              "[EXEINI]\r\nNAME=taro\r\nNAME2=" + Cp932::encode(QStringLiteral("表ソ能①～髙")) +
                  "\r\nNAME3=1\r\n");
    EXPECT_EQ(QFile(h.idPassPath()).permissions() &
                  (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup |
                   QFileDevice::WriteOther),
              QFileDevice::Permissions());

    IdPassForm& again = openAccountDialog();
    EXPECT_EQ(child<QLineEdit>(again, "IdText")->text(), QStringLiteral("taro"));
    EXPECT_EQ(child<QLineEdit>(again, "PassText")->text(), QStringLiteral("表ソ能①～髙"));
    EXPECT_EQ(child<QLineEdit>(again, "PassText")->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(child<QCheckBox>(again, "Check1")->isChecked());
}

TEST_F(SettingsDialogs, AccountUntickedWritesOnlyTheFlagAndEnterConfirms)
{
    h.writeFile(h.idPassPath(), "[EXEINI]\r\nNAME=stored\r\nNAME2=storedpw\r\nNAME3=1\r\n");
    AppContext& ctx = start();
    IdPassForm& f = openAccountDialog();
    type(child<QLineEdit>(f, "IdText"), QStringLiteral("other"));
    type(child<QLineEdit>(f, "PassText"), QStringLiteral("otherpw"));
    QTest::keyClick(child<QLineEdit>(f, "PassText"), Qt::Key_Return); // OK is the default button
    EXPECT_FALSE(ctx.idPassForm.isLoaded());
    EXPECT_EQ(ctx.values.UserId, QStringLiteral("other"));
    EXPECT_EQ(h.readFile(h.idPassPath()),
              QByteArray("[EXEINI]\r\nNAME=stored\r\nNAME2=storedpw\r\nNAME3=0\r\n"));

    // Esc and Cancel change nothing.
    const auto before = h.snapshot();
    IdPassForm& g = openAccountDialog();
    type(child<QLineEdit>(g, "IdText"), QStringLiteral("x"));
    QTest::keyClick(child<QLineEdit>(g, "IdText"), Qt::Key_Escape);
    EXPECT_FALSE(ctx.idPassForm.isLoaded());
    IdPassForm& k = openAccountDialog();
    QTest::mouseClick(child<QPushButton>(k, "CancelCommand"), Qt::LeftButton);
    EXPECT_EQ(h.snapshot(), before);
    EXPECT_EQ(ctx.values.UserId, QStringLiteral("other"));
}

TEST_F(SettingsDialogs, SettingsDialogWritesTheOptionOnlyWhenClosed)
{
    h.writeFile(h.iniPath(), "[EXEINI]\r\nNUMBER=2\r\nNUMBER100=2\r\n");
    AppContext& ctx = start();
    EXPECT_FALSE(ctx.setForm.isLoaded());
    h.main().mset_Click();
    EXPECT_FALSE(child<QCheckBox>(ctx.setForm.get(), "Check1")->isChecked());
    ctx.setForm->close();
    EXPECT_EQ(h.readFile(h.iniPath()), QByteArray("[EXEINI]\r\nNUMBER=0\r\nNUMBER100=0\r\n"));

    h.main().mset_Click();
    QTest::mouseClick(child<QCheckBox>(ctx.setForm.get(), "Check1"), Qt::LeftButton);
    EXPECT_EQ(h.readFile(h.iniPath()), QByteArray("[EXEINI]\r\nNUMBER=0\r\nNUMBER100=0\r\n"));
    ctx.setForm->close();
    EXPECT_EQ(h.readFile(h.iniPath()), QByteArray("[EXEINI]\r\nNUMBER=1\r\nNUMBER100=1\r\n"));

    h.stop();
    AppContext& again = h.start();
    ASSERT_TRUE(again.setForm.isLoaded());
    EXPECT_TRUE(child<QCheckBox>(again.setForm.get(), "Check1")->isChecked());
}

TEST_F(SettingsDialogs, SettingsDialogButtonsOpenOneWindowEach)
{
    AppContext& ctx = start();
    h.main().mset_Click();
    SetForm& s = ctx.setForm.get();
    for (int i = 0; i < 2; ++i) {
        QTest::mouseClick(child<QPushButton>(s, "Command1"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(s, "Command2"), Qt::LeftButton);
    }
    EXPECT_EQ(ctx.idPassForm.loadCount(), 1);
    EXPECT_EQ(ctx.optionForm.loadCount(), 1);
    EXPECT_TRUE(ctx.idPassForm->isVisible());
    EXPECT_TRUE(ctx.optionForm->isVisible());
    EXPECT_TRUE(s.isVisible());

    ctx.msgBox.queueAnswer(MessageBoxes::No);
    QTest::mouseClick(child<QPushButton>(s, "Command5"), Qt::LeftButton);
    EXPECT_TRUE(h.openedUrls.isEmpty());
    ASSERT_EQ(ctx.msgBox.shown().size(), 1);
    EXPECT_EQ(ctx.msgBox.shown()[0].title, QStringLiteral("確認"));
}

TEST_F(SettingsDialogs, WithoutADataFolderNothingIsCreated)
{
    QDir(h.dataFolder).removeRecursively();
    AppContext& ctx = start();
    h.main().mset_Click();
    EXPECT_FALSE(child<QCheckBox>(ctx.setForm.get(), "Check1")->isChecked());
    IdPassForm& f = openAccountDialog();
    EXPECT_TRUE(child<QLineEdit>(f, "IdText")->text().isEmpty());
    child<QLineEdit>(f, "IdText")->setText(QStringLiteral("a"));
    child<QCheckBox>(f, "Check1")->setChecked(true);
    QTest::mouseClick(child<QPushButton>(f, "OKCommand"), Qt::LeftButton);
    ctx.setForm->close();
    EXPECT_FALSE(QFileInfo::exists(h.dataFolder));
    EXPECT_TRUE(ctx.msgBox.shown().isEmpty());
}

TEST_F(SettingsDialogs, DialogsAreLaidOutAsDesigned)
{
    AppContext& ctx = start();
    SetForm& s = ctx.setForm.get();
    EXPECT_EQ(s.windowTitle(), QStringLiteral("設定"));
    EXPECT_EQ(s.size(), QSize(192, 102));
    EXPECT_EQ(child<QPushButton>(s, "Command1")->geometry(), QRect(8, 8, 89, 25));
    EXPECT_EQ(child<QPushButton>(s, "Command2")->geometry(), QRect(96, 8, 89, 25));
    EXPECT_EQ(child<QPushButton>(s, "Command5")->geometry(), QRect(8, 72, 177, 25));
    EXPECT_EQ(child<QPushButton>(s, "Command5")->text(), QStringLiteral("ヴェルニカ　作者　HP"));
    EXPECT_EQ(child<QCheckBox>(s, "Check1")->geometry(), QRect(4, 40, 17, 17));
    EXPECT_EQ(child<QLabel>(s, "Label1")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(
        child<QPushButton>(s, "Command1")->styleSheet().contains(QColor(255, 128, 0).name()));
    EXPECT_TRUE(
        child<QPushButton>(s, "Command2")->styleSheet().contains(QColor(128, 128, 255).name()));
    EXPECT_TRUE(
        child<QPushButton>(s, "Command5")->styleSheet().contains(QColor(192, 192, 192).name()));
    EXPECT_EQ(focusChain(child<QPushButton>(s, "Command5"), 4),
              (QStringList{"Command5", "Command2", "Command1", "Check1"}));

    OptionForm& o = ctx.optionForm.get();
    EXPECT_EQ(o.windowTitle(), QStringLiteral("サーバー"));
    EXPECT_EQ(o.size(), QSize(197, 196));
    EXPECT_EQ(child<QLineEdit>(o, "SmtpText")->geometry(), QRect(8, 24, 177, 18));
    EXPECT_EQ(child<QLineEdit>(o, "Pop3Text")->geometry(), QRect(8, 64, 177, 18));
    EXPECT_EQ(child<QLineEdit>(o, "MailText")->geometry(), QRect(8, 104, 177, 18));
    EXPECT_EQ(child<QCheckBox>(o, "ApopCheck")->geometry(), QRect(32, 136, 145, 17));
    EXPECT_EQ(child<QPushButton>(o, "OKCommand")->geometry(), QRect(44, 168, 65, 25));
    EXPECT_EQ(child<QPushButton>(o, "CancelCommand")->geometry(), QRect(124, 168, 61, 25));
    EXPECT_EQ(child<QPushButton>(o, "OKCommand")->text(), QStringLiteral("設定"));
    EXPECT_EQ(child<QPushButton>(o, "CancelCommand")->text(), QStringLiteral("中止"));
    EXPECT_EQ(focusChain(child<QLineEdit>(o, "SmtpText"), 6),
              (QStringList{"SmtpText", "Pop3Text", "ApopCheck", "OKCommand", "CancelCommand",
                           "MailText"}));

    IdPassForm& i = ctx.idPassForm.get();
    EXPECT_EQ(i.windowTitle(), QStringLiteral("ID,PASS"));
    EXPECT_EQ(i.size(), QSize(191, 120));
    EXPECT_EQ(child<QLineEdit>(i, "IdText")->geometry(), QRect(64, 8, 109, 18));
    EXPECT_EQ(child<QLineEdit>(i, "PassText")->geometry(), QRect(64, 40, 109, 18));
    EXPECT_EQ(child<QPushButton>(i, "OKCommand")->geometry(), QRect(60, 92, 57, 21));
    // The control array Label2: its second member is the save box's text.
    const QLabel* saveText = nullptr;
    for (const QLabel* l : i.findChildren<QLabel*>(QStringLiteral("Label2")))
        if (l->property("Index").toInt() == 1)
            saveText = l;
    ASSERT_NE(saveText, nullptr);
    EXPECT_EQ(saveText->text(), QStringLiteral("IDパスワードを保存する"));
    EXPECT_EQ(saveText->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(focusChain(child<QLineEdit>(i, "IdText"), 5),
              (QStringList{"IdText", "PassText", "OKCommand", "CancelCommand", "Check1"}));

    MsgForm& r = ctx.msgForm.get();
    EXPECT_EQ(r.windowTitle(), QStringLiteral("新着情報"));
    EXPECT_EQ(r.size(), QSize(240, 16));
    EXPECT_EQ(child<QLineEdit>(r, "Text1")->geometry(), QRect(0, 0, 209, 18));
    EXPECT_EQ(child<QLineEdit>(r, "Text2")->geometry(), QRect(208, 0, 33, 18));
    EXPECT_EQ(child<QLineEdit>(r, "Text1")->text(),
              QStringLiteral("新着メールはありませんでした。"));
    EXPECT_TRUE(r.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

// Esc closes the dialogs without a cancel button and the result window, from
// whichever control has the keyboard (サーバー and ID,PASS: their Cancel
// tests above); it never closes the main window.
TEST_F(SettingsDialogs, EscClosesEveryDialogAndTheResultWindowButNotTheMainWindow)
{
    AppContext& ctx = start();
    struct Case
    {
        const char* window;
        std::function<QWidget&()> open;
        std::function<bool()> loaded;
    };
    const Case cases[] = {
        {"設定",
         [&]() -> QWidget& {
             ctx.setForm.Show();
             return ctx.setForm.get();
         },
         [&] { return ctx.setForm.isLoaded(); }},
        {"新着情報",
         [&]() -> QWidget& {
             h.main().Label8_Click();
             return ctx.msgForm.get();
         },
         [&] { return ctx.msgForm.isLoaded(); }},
    };
    for (const Case& c : cases) {
        QWidget& w = c.open();
        QWidget* focused = w.focusWidget() ? w.focusWidget() : &w;
        QTest::keyClick(focused, Qt::Key_Escape);
        EXPECT_FALSE(c.loaded()) << c.window;
    }
    QTest::keyClick(&h.main(), Qt::Key_Escape);
    EXPECT_TRUE(ctx.mainForm.isLoaded());
    EXPECT_EQ(h.endCount, 0);
}

// The save box of ID,PASS answers Alt+S and a click on its text.
TEST_F(SettingsDialogs, SaveBoxAnswersAltSAndAClickOnItsText)
{
    start();
    IdPassForm& f = openAccountDialog();
    auto* save = child<QCheckBox>(f, "Check1");
    f.activateWindow(); // a shortcut works in the active window
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    QTest::keyClick(child<QLineEdit>(f, "PassText"), Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(save->isChecked());
    EXPECT_EQ(f.focusWidget(), save);
    QLabel* text = nullptr;
    for (QLabel* l : f.findChildren<QLabel*>(QStringLiteral("Label2")))
        if (l->property("Index").toInt() == 1)
            text = l;
    ASSERT_NE(text, nullptr);
    QTest::mouseClick(text, Qt::LeftButton);
    EXPECT_FALSE(save->isChecked());
}
