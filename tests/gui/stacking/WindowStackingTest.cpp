// Window order, focus and shape under a real X server (scripts/test runs the
// suite under Xvfb), read from the X server itself. The test program runs
// twice: with openbox, which it starts, and with no window manager at all
// (KESTROVA_NO_WINDOW_MANAGER set).

#include "XProbe.h"
#include "scriptedpop3/ScriptedPop3Server.h"
#include "support/Controls.h"
#include "support/app/AppHarness.h"

#include "flight/Form1.h"
#include "mail/MsgForm.h"
#include "settings/IdPassForm.h"
#include "settings/OptionForm.h"
#include "settings/SetForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// Processes events until the condition holds or the time is up: a bound for
// a hang, far above what a loaded machine takes.
template <class F> bool waitFor(F condition, int ms = 30000)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(50);
    }
    return true;
}

// Counts the times a window was minimised. Installed after the program's own
// filters, it sees each minimising before they undo it.
struct MinimiseCount : QObject
{
    int times = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::WindowStateChange &&
            static_cast<QWidget*>(watched)->isMinimized())
            ++times;
        return false;
    }
};

// What a real message box looked like while it was up.
struct BoxSeen
{
    bool appeared = false;
    QString text;
    bool aboveOthers = false;
    bool focused = false;
    std::string state; // what the X server said, for a failure's message
};

// Runs `ask`, which opens a real message box; once the box is on screen,
// notes whether it is stacked above each of `others` and holds the keyboard
// focus (giving the window system a few seconds to get there), then presses
// `answer`.
BoxSeen answerNextBox(const QList<QWidget*>& others, QMessageBox::StandardButton answer,
                      const std::function<void()>& ask)
{
    BoxSeen seen;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (seen.appeared || !box || !box->isVisible())
            return;
        seen.appeared = true;
        poll.stop();
        seen.text = box->text();
        const WId id = box->winId();
        auto aboveOthers = [&] {
            return std::all_of(others.begin(), others.end(),
                               [&](QWidget* w) { return XProbe::above(id, w->winId()); });
        };
        waitFor([&] { return aboveOthers() && XProbe::inputFocus() == id; });
        seen.aboveOthers = aboveOthers();
        seen.focused = XProbe::inputFocus() == id;
        QStringList order;
        for (WId w : XProbe::stacking())
            order.append(QString::number(w, 16));
        QStringList ours;
        for (QWidget* w : others)
            ours.append(QString::number(w->winId(), 16));
        seen.state = QStringLiteral("box %1, under it %2; stacking %3; focus %4")
                         .arg(QString::number(id, 16), ours.join(u','), order.join(u','),
                              QString::number(XProbe::inputFocus(), 16))
                         .toStdString();
        if (QAbstractButton* button = box->button(answer))
            button->click();
        else
            box->done(0);
    });
    poll.start();
    ask();
    return seen;
}

class WindowStacking : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb") || !XProbe::available())
            return;
        if (qEnvironmentVariableIsSet("KESTROVA_NO_WINDOW_MANAGER")) {
            s_ready = !XProbe::managed();
            return;
        }
        s_wm = new QProcess;
        s_wm->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        s_wm->start(QStringLiteral("openbox"),
                    {QStringLiteral("--sm-disable"), QStringLiteral("--replace")});
        s_wm->waitForStarted(5000);
        // Ready when it manages a new window: a probe appears in its stacking
        // list (a manager that is just quitting may still own the screen).
        QWidget probe;
        probe.setWindowTitle(QStringLiteral("probe"));
        probe.show();
        s_ready = waitFor(
            [&] { return XProbe::managed() && XProbe::stacking().contains(probe.winId()); }, 10000);
    }
    static void TearDownTestSuite()
    {
        if (s_wm) {
            s_wm->terminate();
            s_wm->waitForFinished(3000);
            delete s_wm;
            s_wm = nullptr;
        }
        s_ready = false;
    }
    void SetUp() override
    {
        if (!s_ready)
            GTEST_SKIP() << "needs an X server (and openbox, or no window manager when asked)";
    }
    static bool managed() { return s_wm != nullptr; }
    // An ordinary window of another kind, shown and activated after the others.
    void activateOrdinaryWindow(QWidget& w)
    {
        w.setWindowTitle(QStringLiteral("ordinary"));
        w.resize(400, 300);
        w.move(0, 0);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                                        QString::number(w.winId())});
        ASSERT_TRUE(waitFor([&] { return w.isActiveWindow(); }));
    }
    // The main window, shown and in the stacking order.
    MainForm& startMain()
    {
        h.start();
        MainForm& m = h.main();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&m));
        EXPECT_TRUE(waitFor([&] { return XProbe::stacking().contains(m.winId()); }));
        return m;
    }

    static QProcess* s_wm;
    static bool s_ready;
    AppHarness h;
};

QProcess* WindowStacking::s_wm = nullptr;
bool WindowStacking::s_ready = false;

} // namespace

// The paper aeroplane flies out without taking the keyboard: the window
// that had it keeps it.
TEST_F(WindowStacking, ThePaperAeroplaneLeavesTheKeyboardWhereItWas)
{
    MainForm& m = startMain();
    h.ctx->msgForm.Show(&m);
    MsgForm& result = h.ctx->msgForm.get();
    // The X server's focus and Qt's active window: Qt takes in the focus
    // change a moment after the X server has made it.
    ASSERT_TRUE(waitFor([&] {
        return XProbe::inputFocus() == result.winId() && QApplication::activeWindow() == &result;
    }));
    QTest::mouseClick(child<QWidget>(m, "Label6"), Qt::LeftButton);
    Form1& plane = h.ctx->form1.get();
    // Shown and, under a window manager, taken into its stacking order.
    ASSERT_TRUE(waitFor([&] {
        return XProbe::isViewable(plane.winId()) &&
               (!managed() || XProbe::stacking().contains(plane.winId()));
    }));
    EXPECT_EQ(XProbe::inputFocus(), result.winId());
    EXPECT_EQ(QApplication::activeWindow(), &result);
}

// A close asked for while a check runs is carried out when it ends, even
// when the request reaches the main window while the check's box blocks it.
TEST_F(WindowStacking, AClosePutWhileACheckRunsIsCarriedOutWhenItEnds)
{
    // Its greeting is not POP3: the check ends in a box.
    ScriptedPop3Server server(
        [](const QByteArray&) { return ScriptedPop3Server::Step("HTTP/1.0 400 no\r\n"); });
    MainForm& m = startMain();
    h.ctx->values.Pop3Server = "pop3://" + server.hostPort();
    h.ctx->msgBox.setNeverBlock(false);
    const BoxSeen seen = answerNextBox({&m}, QMessageBox::Ok, [&] {
        // Sent as the check starts, taken in only once its box is up.
        XProbe::askToClose(m.winId());
        m.Label8_Click();
    });
    EXPECT_TRUE(seen.appeared);
    EXPECT_EQ(h.endCount, 1);
}

TEST_F(WindowStacking, ResultWindowStaysAboveANewlyActivatedWindow)
{
    if (!managed())
        GTEST_SKIP() << "activation by another program needs a window manager";
    AppContext& ctx = h.start();
    h.main().Label8_Click(); // no server: the result window opens with "-"
    MsgForm& result = ctx.msgForm.get();
    ASSERT_TRUE(waitFor([&] { return XProbe::stacking().contains(result.winId()); }))
        << run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")})
               .toStdString();

    QWidget other;
    activateOrdinaryWindow(other);
    ASSERT_TRUE(waitFor([&] { return XProbe::above(other.winId(), h.main().winId()); }))
        << "the window manager did not raise the activated window";
    EXPECT_TRUE(XProbe::above(result.winId(), other.winId()));
}

TEST_F(WindowStacking, AlwaysOnTopSwitchKeepsTheMainWindowAbove)
{
    if (!managed())
        GTEST_SKIP() << "activation by another program needs a window manager";
    h.start();
    MainForm& m = h.main();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
    h.ctx->msgBox.queueAnswer(MessageBoxes::Ok);
    m.mzenmen_Click();

    QWidget other;
    activateOrdinaryWindow(other);
    EXPECT_TRUE(waitFor([&] { return XProbe::above(m.winId(), other.winId()); }));

    h.ctx->msgBox.queueAnswer(MessageBoxes::Ok);
    m.mzenmen_Click();
    run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                                    QString::number(other.winId())});
    EXPECT_TRUE(waitFor([&] { return XProbe::above(other.winId(), m.winId()); }));
}

TEST_F(WindowStacking, ServerDialogIsAboveTheMainWindow)
{
    if (!managed())
        GTEST_SKIP() << "activation by another program needs a window manager";
    AppContext& ctx = h.start();
    ctx.setForm.Show();
    QTest::mouseClick(child<QPushButton>(ctx.setForm.get(), "Command2"), Qt::LeftButton);
    OptionForm& dialog = ctx.optionForm.get();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                                    QString::number(h.main().winId())});
    EXPECT_TRUE(waitFor([&] { return XProbe::above(dialog.winId(), h.main().winId()); }));
}

TEST_F(WindowStacking, BoxesOpenInFrontWithTheFocusWhetherOrNotTheMainWindowIsOnTop)
{
    MainForm& m = startMain();
    h.ctx->msgBox.setNeverBlock(false);
    auto expectInFront = [](const BoxSeen& seen, const QString& text, const char* when) {
        ASSERT_TRUE(seen.appeared) << when;
        EXPECT_EQ(seen.text, text) << when;
        EXPECT_TRUE(seen.aboveOthers)
            << when << ": the box is behind a window of ours; " << seen.state;
        EXPECT_TRUE(seen.focused) << when << ": the box does not have the keyboard; " << seen.state;
    };
    const QString prompt =
        QStringLiteral("「ヴェルニカ」作者のホームページです。ちょっと見てみますか？");

    // Not on top yet: the switch's box, then the home-page prompt.
    expectInFront(answerNextBox({&m}, QMessageBox::Ok, [&] { m.mzenmen_Click(); }),
                  QStringLiteral("常に手前表示が設定されました。"), "switching on");
    ASSERT_TRUE(m.state().OnTop);
    // On top now: the main window must not cover the next boxes.
    expectInFront(answerNextBox({&m}, QMessageBox::No, [&] { m.Sakusyahp_Click(); }), prompt,
                  "home page, main window on top");
    // A box asked for without naming its window, as the mail check's failure
    // message is.
    expectInFront(answerNextBox({&m}, QMessageBox::Ok,
                                [&] {
                                    h.ctx->msgBox.MsgBox(QStringLiteral("ログインに失敗しました"),
                                                         MessageBoxes::OkOnly,
                                                         QStringLiteral("エラー"));
                                }),
                  QStringLiteral("ログインに失敗しました"), "no owner named, main window on top");
    expectInFront(answerNextBox({&m}, QMessageBox::Ok, [&] { m.mzenmen_Click(); }),
                  QStringLiteral("常に手前表示が解除されました。"), "switching off");
    ASSERT_FALSE(m.state().OnTop);
    expectInFront(answerNextBox({&m}, QMessageBox::No, [&] { m.Sakusyahp_Click(); }), prompt,
                  "home page, main window not on top");
    EXPECT_TRUE(h.openedUrls.isEmpty());

    // The result window stays above other windows; a box still opens above it.
    m.Label8_Click(); // no server: the result window opens with "-"
    MsgForm& result = h.ctx->msgForm.get();
    ASSERT_TRUE(waitFor([&] { return XProbe::stacking().contains(result.winId()); }));
    expectInFront(answerNextBox({&m, &result}, QMessageBox::No, [&] { m.Sakusyahp_Click(); }),
                  prompt, "home page, result window open");
}

TEST_F(WindowStacking, AnAllKeyFrameLeavesAnEmptyShapeOnAWindowThatStillMoves)
{
    AppContext& ctx = h.create();
    Form1& f = ctx.form1.get();
    child<QTimer>(f, "Timer1")->stop(); // frames and places are set by the test
    QImage blank(64, 64, QImage::Format_RGB32);
    blank.fill(QColor(192, 192, 192));
    f.setFramePicture(5, blank);
    f.BuildFrameRegions();
    f.move(100, 100);
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));

    // An ordinary frame: the X server cuts the window to its outline.
    f.ShowFrame(0);
    EXPECT_TRUE(waitFor([&] { return XProbe::visibleShape(f.winId()) == f.frameRegion(0); }))
        << "shape has " << XProbe::visibleShape(f.winId()).rectCount() << " rectangles";

    // The all-key frame: nothing of the window shows, yet it is there.
    f.ShowFrame(5);
    EXPECT_TRUE(waitFor([&] { return XProbe::visibleShape(f.winId()).isEmpty(); }))
        << "visible part: " << XProbe::visibleShape(f.winId()).boundingRect().width() << "x"
        << XProbe::visibleShape(f.winId()).boundingRect().height();
    EXPECT_TRUE(XProbe::isViewable(f.winId()));
    f.move(300, 200);
    EXPECT_TRUE(waitFor([&] { return XProbe::rootPosition(f.winId()) == QPoint(300, 200); }));
    f.ShowFrame(5); // shown again on the next tick: still nothing
    QTest::qWait(100);
    EXPECT_TRUE(XProbe::visibleShape(f.winId()).isEmpty());
    EXPECT_TRUE(XProbe::isViewable(f.winId()));

    // Back to an ordinary frame, the outline shows again.
    f.ShowFrame(1);
    EXPECT_TRUE(waitFor([&] { return XProbe::visibleShape(f.winId()) == f.frameRegion(1); }));
}

// Every window opens in front of the window it comes from, with the keyboard,
// even when that window is the main window kept on top.
TEST_F(WindowStacking, DialogsOpenInFrontOfTheWindowTheyComeFromWithTheKeyboard)
{
    MainForm& m = startMain();
    h.ctx->msgBox.queueAnswer(MessageBoxes::Ok);
    m.mzenmen_Click(); // the main window on top
    SetForm& settings = h.ctx->setForm.get();
    struct Case
    {
        const char* what;
        std::function<void()> open;
        std::function<QWidget&()> opened;
        QList<QWidget*> under;
    };
    const Case cases[] = {
        {"設定 from the menu",
         [&] { m.mset_Click(); },
         [&]() -> QWidget& { return settings; },
         {&m}},
        {"ID,PASS from 設定",
         [&] { QTest::mouseClick(child<QPushButton>(settings, "Command1"), Qt::LeftButton); },
         [&]() -> QWidget& { return h.ctx->idPassForm.get(); },
         {&m, &settings}},
        {"サーバー from 設定",
         [&] { QTest::mouseClick(child<QPushButton>(settings, "Command2"), Qt::LeftButton); },
         [&]() -> QWidget& { return h.ctx->optionForm.get(); },
         {&m, &settings}},
    };
    for (const Case& c : cases) {
        c.open();
        const WId id = c.opened().winId();
        auto inFront = [&] {
            return XProbe::isViewable(id) && XProbe::inputFocus() == id &&
                   std::all_of(c.under.begin(), c.under.end(),
                               [&](QWidget* w) { return XProbe::above(id, w->winId()); });
        };
        EXPECT_TRUE(waitFor(inFront))
            << c.what << ": viewable " << XProbe::isViewable(id) << ", focused "
            << (XProbe::inputFocus() == id) << ", above "
            << std::count_if(c.under.begin(), c.under.end(),
                             [&](QWidget* w) { return XProbe::above(id, w->winId()); })
            << " of " << c.under.size();
    }
}

// A check that finds no stored account opens ID,PASS; the result window,
// always on top, opens after it and must leave it in front, ready for typing.
TEST_F(WindowStacking, AccountDialogOfACheckStaysInFrontOfTheResult)
{
    ScriptedPop3Server server([](const QByteArray& command) -> ScriptedPop3Server::Step {
        if (command.isNull())
            return {"+OK ready\r\n"};
        if (command == "QUIT")
            return {"+OK bye\r\n", ScriptedPop3Server::Then::Close};
        return {"-ERR no\r\n"};
    });
    ASSERT_TRUE(server.isRunning());
    MainForm& m = startMain();
    h.ctx->values.Pop3Server = server.hostPort();
    m.Label8_Click();
    IdPassForm& account = h.ctx->idPassForm.get();
    MsgForm& result = h.ctx->msgForm.get();
    ASSERT_TRUE(account.isVisible() && result.isVisible());
    EXPECT_TRUE(waitFor([&] {
        return XProbe::inputFocus() == account.winId() &&
               XProbe::above(account.winId(), result.winId());
    })) << "the result window covers the account dialog: focused "
        << (XProbe::inputFocus() == account.winId()) << ", above "
        << XProbe::above(account.winId(), result.winId());
    EXPECT_TRUE(waitFor([&] {
        return QApplication::focusWidget() == child<QLineEdit>(account, "IdText");
    })) << "the keyboard is in "
        << qPrintable(QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                  : QString());
}

// A window without a minimise button that a window manager minimises anyway
// comes straight back: a dialog, and a box that blocks every window of ours.
TEST_F(WindowStacking, WindowsWithoutAMinimiseButtonAreNeverMinimisedAway)
{
    if (!managed())
        GTEST_SKIP() << "minimising needs a window manager";
    MainForm& m = startMain();
    auto minimiseAndSeeItBack = [&](QWidget& w) {
        const WId id = w.winId();
        MinimiseCount minimised;
        w.installEventFilter(&minimised);
        // Minimised first, as the window manager tells it, then back on
        // screen with the keyboard. A request can be undone before Qt sees
        // it: an activation still on its way (a window just shown, or Qt
        // handing the keyboard to the modal box) brings the window back at
        // once. So the request is repeated until a minimise is seen.
        bool minimisedOnce = false;
        for (int attempt = 0; attempt < 6 && !minimisedOnce; ++attempt) {
            run(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), QString::number(id)});
            minimisedOnce = waitFor([&] { return minimised.times > 0; }, 5000);
        }
        const bool back =
            minimisedOnce &&
            waitFor([&] { return XProbe::isViewable(id) && XProbe::inputFocus() == id; }) &&
            !w.isMinimized();
        w.removeEventFilter(&minimised);
        return back;
    };
    m.mset_Click();
    SetForm& settings = h.ctx->setForm.get();
    ASSERT_TRUE(waitFor([&] { return XProbe::isViewable(settings.winId()); }));
    EXPECT_TRUE(minimiseAndSeeItBack(settings));

    h.ctx->msgBox.setNeverBlock(false);
    bool back = false;
    QTimer poll; // until the box is up
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        back = minimiseAndSeeItBack(*box);
        box->button(QMessageBox::Ok)->click();
    });
    poll.start(50);
    h.ctx->msgBox.MsgBox(QStringLiteral("常に手前表示が設定されました。"),
                         MessageBoxes::Information);
    EXPECT_TRUE(back) << "the box stayed minimised";
}
