#include "support/Controls.h"
#include "support/app/AppHarness.h"

#include "ui/ClickLabel.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

constexpr QRgb kSkyBlue = 0xff5f8eccu; // red 95, green 142, blue 204

class AirframeView : public ::testing::Test
{
protected:
    MainForm& startMain()
    {
        h.start();
        MainForm& m = h.main();
        // Bounded wait for the window to take the keyboard (offscreen activates at once).
        EXPECT_TRUE(QTest::qWaitForWindowActive(&m));
        return m;
    }
    // Keys go where the application sends them: the focused widget.
    QWidget* keyTarget(MainForm& m)
    {
        QWidget* w = QApplication::focusWidget();
        return w ? w : &m;
    }
    void press(MainForm& m, Qt::Key key) { QTest::keyPress(keyTarget(m), key); }
    void release(MainForm& m, Qt::Key key) { QTest::keyRelease(keyTarget(m), key); }
    void clickLabel1(MainForm& m) { QTest::mouseClick(child<QLabel>(m, "Label1"), Qt::LeftButton); }

    // The sheet the window draws from, as RGB32.
    static QImage sheetOf(MainForm& m)
    {
        return child<QLabel>(m, "CHR_CG")->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
    }

    AppHarness h;
};

} // namespace

TEST_F(AirframeView, Label1SwitchesViewsAndNothingIsReset)
{
    MainForm& m = startMain();
    ASSERT_FALSE(m.state().SkyViewOn);
    // The view shown: Label1's caption names the other one.
    const auto expectView = [&](bool sky) {
        EXPECT_EQ(m.state().SkyViewOn, sky);
        EXPECT_EQ(child<QLabel>(m, "Label1")->text(),
                  sky ? QStringLiteral("機体") : QStringLiteral("コックピット"));
        EXPECT_EQ(child<QLabel>(m, "Image1")->isHidden(), sky);
        EXPECT_EQ(child<QTimer>(m, "Timer1")->isActive(), sky);
    };

    clickLabel1(m);
    expectView(true);
    // Set for the first step, due 15.625 ms after the switch.
    EXPECT_EQ(child<QTimer>(m, "Timer1")->interval(), 16);

    m.Timer1_Timer();
    m.Timer1_Timer();
    press(m, Qt::Key_Down);
    m.Timer1_Timer();

    // Back to the cockpit: the steps stop at once, the state stays.
    clickLabel1(m);
    expectView(false);
    EXPECT_EQ(child<QTimer>(m, "Timer1")->interval(), 0);
    EXPECT_EQ(m.state().SkyX, -6);
    EXPECT_EQ(m.state().SkyY, -3);
    EXPECT_EQ(m.state().JetY, 44);
    EXPECT_EQ(m.state().ArrowKeys.Down, -1);

    // No step runs however long the event loop turns.
    QTest::qWait(30);
    EXPECT_EQ(m.state().SkyX, -6);
    EXPECT_EQ(m.state().JetY, 44);

    // Again to the airframe view: it goes on from where it stopped.
    clickLabel1(m);
    EXPECT_TRUE(child<QTimer>(m, "Timer1")->isActive());
    m.Timer1_Timer();
    EXPECT_EQ(m.state().SkyX, -8);
    EXPECT_EQ(m.state().SkyY, -4);
    EXPECT_EQ(m.state().JetX, 60);
    EXPECT_EQ(m.state().JetY, 48);
}

TEST_F(AirframeView, StepsScrollTheSkyAndWrapAfterOneTile)
{
    MainForm& m = startMain();
    clickLabel1(m);
    m.Timer1_Timer();
    EXPECT_EQ(m.state().SkyX, -2);
    EXPECT_EQ(m.state().SkyY, -1);
    for (int step = 2; step <= 16; ++step)
        m.Timer1_Timer();
    EXPECT_EQ(m.state().SkyX, 0);
    EXPECT_EQ(m.state().SkyY, -16);
    for (int step = 17; step <= 32; ++step)
        m.Timer1_Timer();
    EXPECT_EQ(m.state().SkyX, 0);
    EXPECT_EQ(m.state().SkyY, 0);
    // No key held: the jet stays where start-up put it.
    EXPECT_EQ(m.state().JetX, 60);
    EXPECT_EQ(m.state().JetY, 40);
}

TEST_F(AirframeView, ArrowKeysSteerFromTheFocusedWindowAndCancelInPairs)
{
    MainForm& m = startMain();
    // The captions take no focus, so the window itself holds it.
    ASSERT_EQ(QApplication::focusWidget(), &m);

    // Pressed in the cockpit view: held, but nothing moves until the switch.
    press(m, Qt::Key_Up);
    press(m, Qt::Key_Right);
    EXPECT_EQ(m.state().ArrowKeys.Up, -1);
    EXPECT_EQ(m.state().ArrowKeys.Right, -1);
    QTest::qWait(20);
    EXPECT_EQ(m.state().JetX, 60);
    EXPECT_EQ(m.state().JetY, 40);

    clickLabel1(m);
    m.Timer1_Timer();
    EXPECT_EQ(m.state().JetX, 64);
    EXPECT_EQ(m.state().JetY, 36);
    m.Timer1_Timer();
    EXPECT_EQ(m.state().JetX, 68);
    EXPECT_EQ(m.state().JetY, 32);

    // A repeated key arrives as release/press pairs: the key stays held.
    QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(keyTarget(m), &repeatRelease);
    QKeyEvent repeatPress(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(keyTarget(m), &repeatPress);
    EXPECT_EQ(m.state().ArrowKeys.Up, -1);

    release(m, Qt::Key_Up);
    press(m, Qt::Key_Left);
    m.Timer1_Timer();
    EXPECT_EQ(m.state().JetX, 68);
    EXPECT_EQ(m.state().JetY, 32);

    // Other keys change nothing.
    release(m, Qt::Key_Left);
    release(m, Qt::Key_Right);
    press(m, Qt::Key_A);
    press(m, Qt::Key_Space);
    m.Timer1_Timer();
    EXPECT_EQ(m.state().JetX, 68);
    EXPECT_EQ(m.state().JetY, 32);
    EXPECT_EQ(m.state().ArrowKeys.Up, 0);
    EXPECT_EQ(m.state().ArrowKeys.Down, 0);
    EXPECT_EQ(m.state().ArrowKeys.Left, 0);
    EXPECT_EQ(m.state().ArrowKeys.Right, 0);

    // Focus moved to a check box (by Tab): the arrows still steer the jet.
    child<QCheckBox>(m, "ChkLoop")->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), child<QCheckBox>(m, "ChkLoop"));
    press(m, Qt::Key_Down);
    EXPECT_EQ(m.state().ArrowKeys.Down, -1);
    m.Timer1_Timer();
    EXPECT_EQ(m.state().JetY, 36);
    release(m, Qt::Key_Down);
    EXPECT_EQ(m.state().ArrowKeys.Down, 0);
}

TEST_F(AirframeView, AStepDrawsTheSkyThenTheJetAndKeepsTheRest)
{
    MainForm& m = startMain();
    const QImage sheet = sheetOf(m);
    ASSERT_EQ(sheet.size(), QSize(128, 32));
    clickLabel1(m);
    // Rows below the tiles (SkyY + 128 at most 128) keep the black they started with.
    const QImage before = m.skyImage().copy();
    m.Timer1_Timer();
    const QImage& img = m.skyImage();
    ASSERT_EQ(img.size(), QSize(MainForm::kClientWidth, MainForm::kClientHeight));

    const QRect tiles(-2, -1, 224, 128);
    const QRect jet(60, 40, 32, 32);
    int blue = 0;
    int tiled = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb got = img.pixel(x, y);
            if (jet.contains(x, y)) {
                const int jx = x - jet.x();
                const int jy = y - jet.y();
                if (sheet.pixel(32 + jx, jy) == qRgb(0, 0, 0))
                    ASSERT_EQ(got, sheet.pixel(jx, jy)) << "jet " << jx << "," << jy;
                else
                    ASSERT_EQ(got, sheet.pixel(96 + (x + 2) % 32, (y + 1) % 32));
            } else if (tiles.contains(x, y)) {
                ASSERT_EQ(got, sheet.pixel(96 + (x + 2) % 32, (y + 1) % 32)) << x << "," << y;
                ++tiled;
                blue += got == kSkyBlue;
            } else {
                ASSERT_EQ(got, before.pixel(x, y)) << x << "," << y;
            }
        }
    }
    // The tile is sky blue with a few specks.
    EXPECT_GT(blue, tiled * 9 / 10);

    // A jet flown below the tiles is drawn clipped to the sky: nothing of it
    // lands on the caption strip, before or after it has gone.
    for (int i = 0; i < 20; ++i)
        m.Timer1_Timer();
    press(m, Qt::Key_Down);
    for (int i = 0; i < 20; ++i)
        m.Timer1_Timer();
    ASSERT_EQ(m.state().JetY, 120);
    release(m, Qt::Key_Down);
    press(m, Qt::Key_Right);
    for (int i = 0; i < 30; ++i)
        m.Timer1_Timer();
    ASSERT_GE(m.state().JetX, 60 + 32);
    const QImage after = m.skyImage();
    int marks = 0;
    for (int y = 128; y < 148; ++y)
        for (int x = 60; x < 92; ++x)
            marks += after.pixel(x, y) != qRgb(0, 0, 0);
    EXPECT_EQ(marks, 0);
}

TEST_F(AirframeView, AJetFlownOutOfTheClientAreaComesBackAtTheSameSpeed)
{
    MainForm& m = startMain();
    const QImage sheet = sheetOf(m);
    clickLabel1(m);

    auto jetPixelsShown = [&] {
        int shown = 0;
        const QImage& img = m.skyImage();
        // Inside the tiles of every step (SkyX >= -30, SkyY >= -31).
        for (int y = 0; y < 97; ++y)
            for (int x = 0; x < 194; ++x)
                shown += img.pixel(x, y) !=
                         sheet.pixel(96 + (x - m.state().SkyX) % 32, (y - m.state().SkyY) % 32);
        return shown;
    };

    // 60 / 4 = 15 steps bring the jet's left edge to 0, 8 more take it out.
    press(m, Qt::Key_Left);
    for (int i = 0; i < 23; ++i)
        m.Timer1_Timer();
    EXPECT_EQ(m.state().JetX, -32);
    EXPECT_EQ(jetPixelsShown(), 0);
    for (int i = 0; i < 100; ++i)
        m.Timer1_Timer();
    EXPECT_EQ(m.state().JetX, -432);
    EXPECT_EQ(jetPixelsShown(), 0);

    release(m, Qt::Key_Left);
    press(m, Qt::Key_Right);
    for (int i = 0; i < 100; ++i)
        m.Timer1_Timer();
    EXPECT_EQ(m.state().JetX, -32);
    EXPECT_EQ(jetPixelsShown(), 0);
    for (int i = 0; i < 23; ++i)
        m.Timer1_Timer();
    EXPECT_EQ(m.state().JetX, 60);
    EXPECT_GT(jetPixelsShown(), 0);
}

TEST_F(AirframeView, TheClientShowsThePictureUnderTheCaptions)
{
    MainForm& m = startMain();
    clickLabel1(m);
    for (int i = 0; i < 3; ++i)
        m.Timer1_Timer();
    const QImage shot =
        child<QWidget>(m, "client")->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), m.skyImage().size());
    // Away from the captions and the jet the window shows the picture as is.
    for (const QPoint p : {QPoint(5, 5), QPoint(200, 20), QPoint(30, 100), QPoint(150, 110)})
        EXPECT_EQ(shot.pixel(p), m.skyImage().pixel(p)) << p.x() << "," << p.y();
    // The green caption of Label1 is drawn over it.
    int green = 0;
    const QRect label = child<QLabel>(m, "Label1")->geometry() & shot.rect();
    for (int y = label.top(); y <= label.bottom(); ++y)
        for (int x = label.left(); x <= label.right(); ++x)
            green += qGreen(shot.pixel(x, y)) > 150 && qRed(shot.pixel(x, y)) < 60 &&
                     qBlue(shot.pixel(x, y)) < 60;
    EXPECT_GT(green, 0);
}

TEST_F(AirframeView, AHeldArrowKeyMovesTheJetSixtyFourStepsASecond)
{
    MainForm& m = startMain();
    qint64 now = 5'000'000'000; // the clock does not start at 0
    m.setClock([&now] { return now; });
    press(m, Qt::Key_Right);
    clickLabel1(m);

    // Timer1 fires when it was set to; a second of ticks as the schedule asks.
    const qint64 end = now + 1'000'000'000;
    int ticks = 0;
    while (now + qint64(child<QTimer>(m, "Timer1")->interval()) * 1'000'000 <= end) {
        ASSERT_TRUE(child<QTimer>(m, "Timer1")->isActive());
        ASSERT_GE(child<QTimer>(m, "Timer1")->interval(), 15);
        ASSERT_LE(child<QTimer>(m, "Timer1")->interval(), 16);
        now += qint64(child<QTimer>(m, "Timer1")->interval()) * 1'000'000;
        m.runDueSteps();
        ++ticks;
    }
    EXPECT_EQ(ticks, 64);
    EXPECT_EQ(m.state().JetX, 60 + 64 * SkyView::kSteerStep);
    EXPECT_EQ(m.state().JetY, 40);
    // 64 steps: whole turns of both sky offsets.
    EXPECT_EQ(m.state().SkyX, 0);
    EXPECT_EQ(m.state().SkyY, 0);

    // Held through a stall of half a second: one step, not thirty-two.
    now += 500'000'000;
    m.runDueSteps();
    EXPECT_EQ(m.state().JetX, 60 + 65 * SkyView::kSteerStep);

    // In the cockpit view the tick does nothing and Timer1 stays stopped.
    clickLabel1(m);
    now += 1'000'000'000;
    m.runDueSteps();
    EXPECT_FALSE(child<QTimer>(m, "Timer1")->isActive());
    EXPECT_EQ(m.state().JetX, 60 + 65 * SkyView::kSteerStep);
}
