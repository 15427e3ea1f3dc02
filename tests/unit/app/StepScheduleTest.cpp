#include "app/StepSchedule.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr qint64 kMs = 1'000'000;
constexpr qint64 kSecond = 1000 * kMs;
constexpr qint64 kPeriod = StepSchedule::kPeriodNs;

// Runs the schedule as the airframe view does: a timer set to msUntilNext
// that fires that many milliseconds later plus some lateness (cycling
// through `lateNs`); every tick takes the steps due. Returns the steps taken
// per tick until `endNs`.
std::vector<int> run(qint64 endNs, const std::vector<qint64>& lateNs = {0})
{
    StepSchedule s;
    s.start(0);
    std::vector<int> ticks;
    qint64 now = 0;
    for (size_t i = 0;; ++i) {
        now += s.msUntilNext(now) * kMs + lateNs[i % lateNs.size()];
        if (now > endNs)
            return ticks;
        ticks.push_back(s.takeDue(now));
    }
}

int total(const std::vector<int>& ticks)
{
    int sum = 0;
    for (int t : ticks)
        sum += t;
    return sum;
}

} // namespace

TEST(StepSchedule, SixtyFourStepsASecondOneATickWhateverTheTimersRounding)
{
    // 15.625 ms cannot be waited in whole milliseconds; the ticks alternate
    // between 15 and 16 ms and the count stays exact.
    const std::vector<int> exact = run(kSecond + 5 * kMs);
    EXPECT_EQ(total(exact), 64);
    for (int t : exact)
        ASSERT_EQ(t, 1);

    // A timer that fires up to 2 ms late, as on a busy desktop: no drift
    // over a minute, and still one step per tick.
    const std::vector<int> sloppy = run(60 * kSecond + 5 * kMs, {0, 2 * kMs, 700'000, kMs, 1});
    EXPECT_EQ(total(sloppy), 60 * StepSchedule::kStepsPerSecond);
    for (int t : sloppy)
        ASSERT_EQ(t, 1);

    // A timer of 1 ms granularity asked to wait 1 ms every time (the view's
    // old way) still gives 64 a second, with empty ticks in between.
    StepSchedule s;
    s.start(0);
    int steps = 0;
    for (qint64 now = kMs; now <= kSecond; now += kMs)
        steps += s.takeDue(now);
    EXPECT_EQ(steps, 64);
}

TEST(StepSchedule, ALateTickCatchesUpButAStallIsNotMadeUp)
{
    StepSchedule s;
    s.start(1000 * kSecond); // any point of the monotonic clock
    const qint64 t0 = 1000 * kSecond;
    EXPECT_EQ(s.takeDue(t0 + kPeriod - 1), 0);
    EXPECT_EQ(s.msUntilNext(t0 + kPeriod - 1), 1);
    EXPECT_EQ(s.takeDue(t0 + kPeriod), 1);
    EXPECT_EQ(s.takeDue(t0 + kPeriod), 0);

    // Three periods late: the three steps run at once, on the old pace.
    EXPECT_EQ(s.takeDue(t0 + 4 * kPeriod + kMs), 3);
    EXPECT_EQ(s.msUntilNext(t0 + 4 * kPeriod + kMs), 15);

    // Two seconds in a mail check: one step, then the pace starts afresh.
    const qint64 back = t0 + 4 * kPeriod + 2 * kSecond;
    EXPECT_EQ(s.takeDue(back), 1);
    EXPECT_EQ(s.msUntilNext(back), 16);
    EXPECT_EQ(s.takeDue(back + kPeriod - 1), 0);
    EXPECT_EQ(s.takeDue(back + kPeriod), 1);

    // A clock read before the start (a restart in between) is no step.
    s.start(t0);
    EXPECT_EQ(s.takeDue(t0 - kSecond), 0);
    EXPECT_EQ(s.msUntilNext(t0 - kSecond), 16);
}
