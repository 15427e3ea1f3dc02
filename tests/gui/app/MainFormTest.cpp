#include "support/Controls.h"
#include "support/app/AppHarness.h"

#include "flight/Form1.h"
#include "settings/SetForm.h"
#include "ui/ClickLabel.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

const QByteArray kNumberOne = "[EXEINI]\r\nNUMBER=1\r\nNUMBER100=1\r\n";

class MainWindow : public ::testing::Test
{
protected:
    AppHarness h;
};

} // namespace

TEST_F(MainWindow, FirstStartWithoutFilesShowsTheCockpitAndWritesNothing)
{
    AppContext& ctx = h.start();
    MainForm& m = h.main();

    EXPECT_EQ(m.windowTitle(), QStringLiteral("大空駆けるケストローバ Ver 1.0"));
    EXPECT_TRUE(m.isVisible());
    EXPECT_EQ(child<QLabel>(m, "Label1")->text(), QStringLiteral("コックピット"));
    EXPECT_EQ(child<QLabel>(m, "Label7")->text(), QStringLiteral("Sound OFF"));
    EXPECT_EQ(child<QLabel>(m, "Label6")->text(), QStringLiteral("紙飛行機"));
    EXPECT_EQ(child<QLabel>(m, "Label8")->text(), QStringLiteral("メールチェック"));
    EXPECT_FALSE(child<QLabel>(m, "Image1")->isHidden());
    EXPECT_FALSE(child<QTimer>(m, "Timer1")->isActive());
    EXPECT_EQ(child<QTimer>(m, "Timer1")->interval(), 0);
    EXPECT_FALSE(m.state().SkyViewOn);
    EXPECT_FALSE(m.state().PlaneOut);
    EXPECT_FALSE(m.state().OnTop);
    EXPECT_EQ(m.state().JetX, 60);
    EXPECT_EQ(m.state().JetY, 40);

    // The flight window exists, hidden, already flying; the settings dialog does not.
    ASSERT_TRUE(ctx.form1.isLoaded());
    EXPECT_FALSE(ctx.form1->isVisible());
    EXPECT_TRUE(child<QTimer>(ctx.form1.get(), "Timer1")->isActive());
    EXPECT_FALSE(ctx.setForm.isLoaded());
    EXPECT_TRUE(ctx.values.Pop3Server.isEmpty());
    EXPECT_EQ(ctx.values.ApopFlag, 0);
    EXPECT_TRUE(h.snapshot().isEmpty());

    // Closing ends the process through the shutdown sequence and writes nothing.
    m.close();
    EXPECT_EQ(h.endCount, 1);
    EXPECT_FALSE(ctx.form1.isLoaded());
    ASSERT_FALSE(ctx.sound.commands().isEmpty());
    EXPECT_EQ(ctx.sound.commands().first(), QStringLiteral("close MIDIFILE"));
    EXPECT_TRUE(h.snapshot().isEmpty());
}

TEST_F(MainWindow, StartUpReadsTheHangUpOptionThenTheServerSettings)
{
    h.writeFile(h.iniPath(), kNumberOne);
    h.writeFile(h.orvendaPath, "SMTP=smtp.example\r\nPOP3=pop.example\r\nMAIL=a@b\r\nAPOP=1\r\n");
    AppContext& ctx = h.create();
    QStringList events;
    ctx.store.setObserver([&](const QString& e) {
        // Record which windows exist at each file access.
        events << e + (ctx.form1.isLoaded() ? QStringLiteral(" +form1") : QString()) +
                      (ctx.setForm.isLoaded() ? QStringLiteral(" +setform") : QString());
    });
    h.start();

    // Start-up reads NUMBER, then SetForm's load reads it again, then orvenda.ini.
    EXPECT_EQ(events, (QStringList{QStringLiteral("read ini.ini NUMBER +form1"),
                                   QStringLiteral("read ini.ini NUMBER +form1 +setform"),
                                   QStringLiteral("load orvenda.ini +form1 +setform")}));
    ASSERT_TRUE(ctx.setForm.isLoaded());
    EXPECT_FALSE(ctx.setForm->isVisible());
    EXPECT_TRUE(child<QCheckBox>(ctx.setForm.get(), "Check1")->isChecked());
    EXPECT_EQ(ctx.values.SmtpServer, QStringLiteral("smtp.example"));
    EXPECT_EQ(ctx.values.Pop3Server, QStringLiteral("pop.example"));
    EXPECT_EQ(ctx.values.MailAddress, QStringLiteral("a@b"));
    EXPECT_EQ(ctx.values.ApopFlag, 1);
}

TEST_F(MainWindow, OnlyNumberOneTicksTheHangUpOption)
{
    for (const QByteArray value : {"0", "2", "abc", ""}) {
        AppHarness run;
        run.writeFile(run.iniPath(), "[EXEINI]\r\nNUMBER=" + value + "\r\n");
        AppContext& ctx = run.start();
        EXPECT_FALSE(ctx.setForm.isLoaded()) << value.constData();
    }
    AppHarness missingKey;
    missingKey.writeFile(missingKey.iniPath(), "[EXEINI]\r\nNUMBER100=1\r\n");
    EXPECT_FALSE(missingKey.start().setForm.isLoaded());
}

TEST_F(MainWindow, ClosingWithTheSettingsDialogOpenSavesNothing)
{
    h.writeFile(h.iniPath(), kNumberOne);
    AppContext& ctx = h.start();
    h.main().mset_Click();
    ASSERT_TRUE(ctx.setForm->isVisible());
    child<QCheckBox>(ctx.setForm.get(), "Check1")->setChecked(false);
    h.main().Label6_Click(); // the aeroplane is out
    ASSERT_TRUE(ctx.form1->isVisible());
    const auto before = h.snapshot();

    h.main().close();
    EXPECT_EQ(h.endCount, 1);
    EXPECT_FALSE(ctx.form1.isLoaded());
    EXPECT_TRUE(ctx.setForm.isLoaded()); // discarded with the process, not unloaded
    EXPECT_EQ(h.snapshot(), before);
}

TEST_F(MainWindow, ControlsSitWhereTheLayoutPutsThem)
{
    MainForm& m = (h.start(), h.main());
    EXPECT_EQ(child<QWidget>(m, "client")->size(), QSize(222, 148));
    EXPECT_EQ(m.size(), QSize(222, child<QMenuBar>(m, "menuBar")->sizeHint().height() + 148));
    EXPECT_EQ(m.minimumSize(), m.maximumSize());
    EXPECT_EQ(child<QLabel>(m, "Image1")->geometry(), QRect(0, 0, 225, 129));
    EXPECT_EQ(child<QLabel>(m, "Label8")->geometry(), QRect(136, 2, 97, 17));
    EXPECT_EQ(child<QLabel>(m, "Label1")->geometry(), QRect(8, 133, 81, 17));
    EXPECT_EQ(child<QLabel>(m, "Label7")->geometry(), QRect(88, 133, 65, 17));
    EXPECT_EQ(child<QLabel>(m, "Label6")->geometry(), QRect(168, 133, 49, 17));
    EXPECT_EQ(child<QLabel>(m, "Label3")->geometry(), QRect(104, 240, 49, 17));
    EXPECT_EQ(child<QCheckBox>(m, "ChkLoop")->geometry(), QRect(32, 400, 105, 17));
    EXPECT_TRUE(child<QCheckBox>(m, "ChkLoop")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(m, "ChkSynchro")->isChecked());
    EXPECT_TRUE(child<QLabel>(m, "CHR_CG")->isHidden());
    EXPECT_FALSE(child<QLabel>(m, "Image1")->pixmap().isNull());

    EXPECT_TRUE(child<QLabel>(m, "Label8")->font().bold());
    EXPECT_EQ(child<QLabel>(m, "Label8")->font().pointSize(), 9);
    EXPECT_EQ(child<QLabel>(m, "Label8")->palette().color(QPalette::WindowText),
              QColor(0, 255, 255));
    EXPECT_EQ(child<QLabel>(m, "Label1")->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_EQ(child<QLabel>(m, "Label7")->palette().color(QPalette::WindowText),
              QColor(255, 255, 0));
    EXPECT_EQ(child<QLabel>(m, "Label6")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(child<QWidget>(m, "client")->palette().color(QPalette::Window), QColor(Qt::black));

    // One menu with seven items in order, found by name.
    EXPECT_EQ(child<QMenu>(m, "mfile")->title(), QStringLiteral("ファイル(&F)"));
    QStringList names, texts;
    for (QAction* a : child<QMenu>(m, "mfile")->actions()) {
        names << a->objectName();
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
        EXPECT_TRUE(a->shortcut().isEmpty());
    }
    EXPECT_EQ(names,
              (QStringList{"mcheck", "mline", "mset", "mline2", "mzenmen", "mline3", "Sakusyahp"}));
    EXPECT_EQ(texts, (QStringList{"メールチェック", "-", "設定", "-", "前面表示の選択", "-",
                                  "作者のホームページ"}));
    for (const char* name :
         {"Image1", "CHR_CG", "Label1", "Label2", "Label3", "Label4", "Label5", "Label6", "Label7",
          "Label8", "ChkSynchro", "ChkOnMem", "ChkLoop", "Timer1"})
        EXPECT_NE(m.findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
}

TEST_F(MainWindow, PaperAeroplaneSwitchShowsThenUnloadsThenReloads)
{
    AppContext& ctx = h.start();
    MainForm& m = h.main();
    const int loads = ctx.form1.loadCount();

    QTest::mouseClick(child<QLabel>(m, "Label6"), Qt::LeftButton);
    EXPECT_TRUE(ctx.form1->isVisible());
    EXPECT_EQ(child<QLabel>(m, "Label6")->text(), QStringLiteral("紙飛行機"));
    EXPECT_TRUE(m.state().PlaneOut);

    QTest::mouseClick(child<QLabel>(m, "Label6"), Qt::LeftButton);
    EXPECT_FALSE(ctx.form1.isLoaded());
    EXPECT_EQ(child<QLabel>(m, "Label6")->text(), QStringLiteral("収納"));
    EXPECT_FALSE(m.state().PlaneOut);

    QTest::mouseClick(child<QLabel>(m, "Label6"), Qt::LeftButton);
    EXPECT_EQ(ctx.form1.loadCount(), loads + 1);
    EXPECT_TRUE(ctx.form1->isVisible());
    EXPECT_TRUE(child<QTimer>(ctx.form1.get(), "Timer1")->isActive());
    EXPECT_EQ(child<QLabel>(m, "Label6")->text(), QStringLiteral("紙飛行機"));
}

TEST_F(MainWindow, AlwaysOnTopTellsTheUserBeforeChangingTheOrder)
{
    AppContext& ctx = h.start();
    MainForm& m = h.main();
    auto topmost = [&] { return m.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint); };

    bool topmostWhileShown = true;
    ctx.msgBox.queueAnswer(MessageBoxes::Ok, [&] { topmostWhileShown = topmost(); });
    child<QAction>(m, "mzenmen")->trigger();
    EXPECT_FALSE(topmostWhileShown);
    EXPECT_TRUE(topmost());
    EXPECT_TRUE(m.isVisible());
    ASSERT_EQ(ctx.msgBox.shown().size(), 1);
    EXPECT_EQ(ctx.msgBox.shown()[0].prompt, QStringLiteral("常に手前表示が設定されました。"));
    EXPECT_EQ(ctx.msgBox.shown()[0].style, 64);
    EXPECT_EQ(ctx.msgBox.shown()[0].title, QStringLiteral("Kestrova"));

    ctx.msgBox.queueAnswer(MessageBoxes::Ok, [&] { topmostWhileShown = topmost(); });
    child<QAction>(m, "mzenmen")->trigger();
    EXPECT_TRUE(topmostWhileShown);
    EXPECT_FALSE(topmost());
    EXPECT_EQ(ctx.msgBox.shown()[1].prompt, QStringLiteral("常に手前表示が解除されました。"));
    EXPECT_FALSE(m.state().OnTop);
}

TEST_F(MainWindow, HomePageOpensOnlyOnYes)
{
    AppContext& ctx = h.start();
    ctx.msgBox.queueAnswer(MessageBoxes::No);
    child<QAction>(h.main(), "Sakusyahp")->trigger();
    EXPECT_TRUE(h.openedUrls.isEmpty());
    ASSERT_EQ(ctx.msgBox.shown().size(), 1);
    EXPECT_EQ(ctx.msgBox.shown()[0].title, QStringLiteral("確認"));
    EXPECT_EQ(ctx.msgBox.shown()[0].style, 36);
    EXPECT_EQ(ctx.msgBox.shown()[0].prompt,
              QStringLiteral("「ヴェルニカ」作者のホームページです。ちょっと見てみますか？"));
}

// On Yes: the README shipped with the program, wherever its layout puts it;
// when nothing can open it, or it is missing, a box says so.
TEST_F(MainWindow, HomePageIsTheShippedReadmeAndAFailureToOpenItIsTold)
{
    struct Case
    {
        const char* readme; // below the test's root; null: none
        bool browserStarts;
        bool opened;
        bool browserFailsLater = false;
    };
    const Case cases[] = {
        {"program/README.md", true, true},
        {"share/doc/kestrova/README.md", true, true}, // the program in lib/kestrova
        {"program/README.md", false, false},
        {"program/README.md", true, false, true}, // the opener ends in failure
        {nullptr, true, false},
    };
    for (const Case& c : cases) {
        AppHarness app;
        app.exeFolder = app.root.path() + QStringLiteral("/lib/kestrova");
        if (c.readme && QByteArray(c.readme).startsWith("program/"))
            app.exeFolder = app.root.path() + QStringLiteral("/program");
        QDir().mkpath(app.exeFolder);
        if (c.readme) {
            QDir().mkpath(QFileInfo(app.root.path() + "/" + c.readme).path());
            app.writeFile(app.root.path() + "/" + c.readme, "# Kestrova\n");
        }
        app.browserStarts = c.browserStarts;
        app.browserFailsLater = c.browserFailsLater;
        AppContext& ctx = app.start();
        ctx.msgBox.queueAnswer(MessageBoxes::Yes);
        child<QAction>(app.main(), "Sakusyahp")->trigger();
        if (c.browserFailsLater) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return ctx.msgBox.shown().size() > 1; }));
        }
        EXPECT_EQ(app.openedUrls.size(), c.readme ? 1 : 0) << c.readme;
        if (c.readme && !app.openedUrls.isEmpty()) {
            EXPECT_TRUE(app.openedUrls[0].toLocalFile().endsWith(QLatin1String(c.readme)))
                << c.readme;
        }
        ASSERT_EQ(ctx.msgBox.shown().size(), c.opened ? 1 : 2) << c.readme;
        if (!c.opened) {
            // The file named with its folder, where it is or should be.
            const QString readme = QDir::toNativeSeparators(
                c.readme ? app.root.path() + "/" + c.readme : app.exeFolder + "/README.md");
            EXPECT_TRUE(ctx.msgBox.shown()[1].prompt.contains(
                QStringLiteral("「%1」を開けませんでした").arg(readme)))
                << ctx.msgBox.shown()[1].prompt.toStdString();
        }
    }
}

TEST_F(MainWindow, SettingsDialogOpensOnceHowEverOftenAsked)
{
    AppContext& ctx = h.start();
    child<QAction>(h.main(), "mset")->trigger();
    QCheckBox* box = child<QCheckBox>(ctx.setForm.get(), "Check1");
    box->setChecked(true);
    child<QAction>(h.main(), "mset")->trigger();
    h.main().Label4_Click();
    EXPECT_EQ(ctx.setForm.loadCount(), 1);
    EXPECT_TRUE(ctx.setForm->isVisible());
    EXPECT_EQ(child<QCheckBox>(ctx.setForm.get(), "Check1"), box);
    EXPECT_TRUE(box->isChecked());
}

TEST_F(MainWindow, SoundSwitchAlternatesStartAndStop)
{
    AppContext& ctx = h.start();
    MainForm& m = h.main();
    QTest::mouseClick(child<QLabel>(m, "Label7"), Qt::LeftButton);
    EXPECT_EQ(child<QLabel>(m, "Label7")->text(), QStringLiteral("Soun ON"));
    QTest::mouseClick(child<QLabel>(m, "Label7"), Qt::LeftButton);
    EXPECT_EQ(child<QLabel>(m, "Label7")->text(), QStringLiteral("Sound OFF"));
    const QStringList cmds = ctx.sound.commands();
    ASSERT_EQ(cmds.size(), 3);
    EXPECT_TRUE(cmds[0].startsWith(QStringLiteral("open \"")));
    EXPECT_TRUE(cmds[0].endsWith(QStringLiteral("Sound/1.wav\" alias MIDIFILE")));
    EXPECT_EQ(cmds[1], QStringLiteral("play MIDIFILE notify"));
    EXPECT_EQ(cmds[2], QStringLiteral("close MIDIFILE"));
}

// The captions in view are reached by Tab in reading order and run by Space
// or Enter, as a click runs them.
TEST_F(MainWindow, CaptionsAreReachedByTabAndRunByTheKeyboard)
{
    h.start();
    MainForm& m = h.main();
    QStringList chain;
    QWidget* w = child<QLabel>(m, "Label8");
    for (int i = 0; i < 4; ++i, w = w->nextInFocusChain()) {
        while (!(w->focusPolicy() & Qt::TabFocus))
            w = w->nextInFocusChain();
        chain << w->objectName();
    }
    EXPECT_EQ(chain, (QStringList{"Label8", "Label1", "Label7", "Label6"}));

    QTest::keyClick(child<QLabel>(m, "Label6"), Qt::Key_Space);
    EXPECT_TRUE(m.state().PlaneOut);
    QTest::keyClick(child<QLabel>(m, "Label1"), Qt::Key_Return);
    EXPECT_TRUE(m.state().SkyViewOn);
    // An arrow key on a focused caption still steers the jet.
    const int x = m.state().JetX;
    child<QLabel>(m, "Label1")->setFocus();
    QTest::keyPress(child<QLabel>(m, "Label1"), Qt::Key_Right);
    EXPECT_EQ(m.state().ArrowKeys.Right, -1);
    QTest::keyRelease(child<QLabel>(m, "Label1"), Qt::Key_Right);
    EXPECT_EQ(m.state().JetX, x);
}
