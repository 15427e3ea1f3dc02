// The paper aeroplane: its outlines and its flight over the screen.

#include "support/Controls.h"
#include "support/app/AppHarness.h"

#include "flight/Form1.h"
#include "flight/FrameShapes.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>

namespace {

class FlightWindow : public ::testing::Test
{
protected:
    Form1& load()
    {
        AppContext& ctx = h.create();
        Form1& f = ctx.form1.get();
        f.setRandomSource([this] {
            const float r = draws.empty() ? 0.5f : draws.front();
            if (!draws.empty())
                draws.pop_front();
            return r;
        });
        return f;
    }
    QSize screen() const { return QGuiApplication::primaryScreen()->geometry().size(); }

    AppHarness h;
    std::deque<float> draws;
};

} // namespace

TEST(FrameOutline, HoldsExactlyThePixelsThatDifferFromTheFramesOwnKey)
{
    QImage frame(64, 64, QImage::Format_RGB32);
    frame.fill(QColor(192, 192, 192));
    EXPECT_TRUE(FrameShapes::outline(frame).isEmpty()); // all key: invisible window

    frame.setPixel(10, 20, qRgb(192, 192, 193)); // one unit of one channel
    frame.setPixel(11, 20, qRgb(0, 0, 0));
    frame.setPixel(40, 63, qRgb(255, 255, 255));
    const QRegion r = FrameShapes::outline(frame);
    EXPECT_TRUE(r.contains(QPoint(10, 20)));
    EXPECT_TRUE(r.contains(QPoint(11, 20)));
    EXPECT_TRUE(r.contains(QPoint(40, 63)));
    EXPECT_FALSE(r.contains(QPoint(12, 20)));
    EXPECT_FALSE(r.contains(QPoint(0, 0)));
    EXPECT_EQ(r.rectCount(), 2);

    // Another key colour: the frame's own top-left pixel decides.
    QImage blue(64, 64, QImage::Format_RGB32);
    blue.fill(QColor(0, 0, 255));
    blue.setPixel(5, 5, qRgb(192, 192, 192));
    EXPECT_EQ(FrameShapes::outline(blue), QRegion(5, 5, 1, 1));
}

TEST_F(FlightWindow, LoadBuildsEveryFrameAndStartsTheTimer)
{
    Form1& f = load();
    EXPECT_EQ(f.size(), QSize(64, 64));
    EXPECT_TRUE(child<QTimer>(f, "Timer1")->isActive());
    EXPECT_EQ(child<QTimer>(f, "Timer1")->interval(), 500);
    EXPECT_TRUE(f.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(f.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(f.leg().stepX, -5);
    EXPECT_EQ(f.leg().stepY, -2);
    for (size_t i = 0; i < 8; ++i) {
        ASSERT_FALSE(f.frameRegion(i).isEmpty()) << i;
        EXPECT_FALSE(f.frameRegion(i).contains(QPoint(0, 0)));
        EXPECT_LT(f.frameRegion(i).rectCount(), 401) << i;
    }
    EXPECT_EQ(f.frameRegion(4), f.frameRegion(0));
}

TEST_F(FlightWindow, FirstTickDrawsALegAndPicksTheFrameFromTheDirection)
{
    Form1& f = load();
    f.move(400, 300);
    // r1 = 0 → 6 ticks; r2 = 0.9 → StepX = nearest(4 × 15 × 12) = 720; r3 = 0.2 → StepY = -90.
    draws = {0.0f, 0.9f, 0.2f};
    f.Timer1_Timer();
    EXPECT_EQ(f.leg().ticks, 5);
    EXPECT_EQ(f.leg().stepX, 720);
    EXPECT_EQ(f.leg().stepY, -90);
    EXPECT_EQ(f.pos(), QPoint(400 + 48, 300 - 6));
    EXPECT_EQ(f.currentFrame(), 1 + 2 + 4); // wing pose 1, flying right, climbing

    f.Timer1_Timer(); // same leg, the other wing pose
    EXPECT_EQ(f.leg().ticks, 4);
    EXPECT_EQ(f.currentFrame(), 0 + 2 + 4);
    EXPECT_EQ(f.pos(), QPoint(400 + 96, 300 - 12));
}

TEST_F(FlightWindow, ALegLastsItsTicksThenANewOneIsDrawn)
{
    Form1& f = load();
    f.move(300, 300);
    draws = {0.0f, 0.5f, 0.5f}; // six ticks standing still: StepX = StepY = 0
    for (int i = 0; i < 6; ++i)
        f.Timer1_Timer();
    EXPECT_EQ(f.leg().ticks, 0);
    EXPECT_EQ(f.pos(), QPoint(300, 300));
    // Zero steps count as flying left and not climbing.
    EXPECT_EQ(f.currentFrame(), 0);
    draws = {0.99f, 0.0f, 1.0f};
    f.Timer1_Timer();
    EXPECT_EQ(f.leg().ticks, 25); // nearest((9.9 + 3) × 2) = 26, less this tick
    EXPECT_EQ(f.leg().stepX, -900);
}

TEST_F(FlightWindow, EdgesHoldTheAeroplaneInsideTheScreen)
{
    Form1& f = load();
    f.move(10, 5);
    draws = {0.5f, 0.0f, 0.0f}; // hard left and up
    f.Timer1_Timer();
    EXPECT_EQ(f.pos(), QPoint(0, 0));
    f.Timer1_Timer();
    EXPECT_EQ(f.pos(), QPoint(0, 0));
    EXPECT_EQ(f.currentFrame() & 2, 0); // still facing left

    const QSize s = screen();
    f.move(s.width() - 70, s.height() - 66);
    f.setLeg({f.leg().stepX, f.leg().stepY, 0});
    draws = {0.5f, 0.99f, 0.99f}; // a new leg, hard right and down
    f.Timer1_Timer();
    EXPECT_EQ(f.pos(), QPoint(s.width() - 64, s.height() - 64));
    // Exactly at the edge is not moved back.
    f.setLeg({0, 0, f.leg().ticks});
    f.Timer1_Timer();
    EXPECT_EQ(f.pos(), QPoint(s.width() - 64, s.height() - 64));
}

TEST_F(FlightWindow, HiddenWindowKeepsFlying)
{
    Form1& f = load();
    f.hide();
    f.move(200, 200);
    draws = {0.5f, 0.9f, 0.5f};
    f.Timer1_Timer();
    EXPECT_GT(f.x(), 200);
}

TEST_F(FlightWindow, RightClickEndsTheProgramMiddleClickDoesNothing)
{
    AppContext& ctx = h.start();
    Form1& f = ctx.form1.get();
    QTest::mouseClick(&f, Qt::MiddleButton, {}, QPoint(30, 30));
    EXPECT_EQ(h.endCount, 0);
    QTest::mouseClick(&f, Qt::RightButton, {}, QPoint(30, 30));
    EXPECT_EQ(h.endCount, 1);
    EXPECT_TRUE(ctx.form1.isLoaded()); // no unload handler runs
}
