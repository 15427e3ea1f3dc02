// Topmost windows under a real window manager: the test starts openbox on the
// X server it was given (scripts/test runs the suite under Xvfb) and reads the
// manager's stacking order.

#include "support/app/AppHarness.h"

#include "mail/MsgForm.h"
#include "settings/OptionForm.h"
#include "settings/SetForm.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(5000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// Client windows from bottom to top, as the window manager stacks them.
QList<WId> stacking()
{
    const QString out = run(QStringLiteral("xprop"),
                            {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    QList<WId> ids;
    const qsizetype hash = out.indexOf(QLatin1Char('#'));
    if (hash < 0)
        return ids;
    for (const QString& part : out.mid(hash + 1).split(QLatin1Char(','), Qt::SkipEmptyParts))
        ids.append(WId(part.trimmed().toULongLong(nullptr, 16)));
    return ids;
}

bool above(WId upper, WId lower)
{
    const QList<WId> order = stacking();
    const qsizetype u = order.indexOf(upper);
    const qsizetype l = order.indexOf(lower);
    return u >= 0 && l >= 0 && u > l;
}

// Processes events until the condition holds or the time is up.
template <class F> bool waitFor(F condition, int ms = 5000)
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

class WindowStacking : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            return;
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
        waitFor([&] { return stacking().contains(probe.winId()); }, 10000);
    }
    static void TearDownTestSuite()
    {
        if (s_wm) {
            s_wm->terminate();
            s_wm->waitForFinished(3000);
            delete s_wm;
            s_wm = nullptr;
        }
    }
    void SetUp() override
    {
        if (!s_wm || s_wm->state() != QProcess::Running)
            GTEST_SKIP() << "needs an X server and openbox";
    }
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
        QTest::qWait(300);
    }

    static QProcess* s_wm;
    AppHarness h;
};

QProcess* WindowStacking::s_wm = nullptr;

} // namespace

TEST_F(WindowStacking, ResultWindowStaysAboveANewlyActivatedWindow)
{
    AppContext& ctx = h.start();
    h.main().Label8_Click(); // no server: the result window opens with "0"
    MsgForm& result = ctx.msgForm.get();
    ASSERT_TRUE(waitFor([&] { return stacking().contains(result.winId()); }))
        << run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")})
               .toStdString();

    QWidget other;
    activateOrdinaryWindow(other);
    ASSERT_TRUE(waitFor([&] { return above(other.winId(), h.main().winId()); }))
        << "the window manager did not raise the activated window";
    EXPECT_TRUE(above(result.winId(), other.winId()));
}

TEST_F(WindowStacking, AlwaysOnTopSwitchKeepsTheMainWindowAbove)
{
    h.start();
    MainForm& m = h.main();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
    h.ctx->msgBox.queueAnswer(MessageBoxes::Ok);
    m.mzenmen_Click();

    QWidget other;
    activateOrdinaryWindow(other);
    EXPECT_TRUE(waitFor([&] { return above(m.winId(), other.winId()); }));

    h.ctx->msgBox.queueAnswer(MessageBoxes::Ok);
    m.mzenmen_Click();
    run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                                    QString::number(other.winId())});
    EXPECT_TRUE(waitFor([&] { return above(other.winId(), m.winId()); }));
}

TEST_F(WindowStacking, ServerDialogIsAboveTheMainWindow)
{
    AppContext& ctx = h.start();
    ctx.setForm.Show();
    QTest::mouseClick(ctx.setForm->Command2, Qt::LeftButton);
    OptionForm& dialog = ctx.optionForm.get();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                                    QString::number(h.main().winId())});
    EXPECT_TRUE(waitFor([&] { return above(dialog.winId(), h.main().winId()); }));
}
