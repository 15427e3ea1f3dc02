#pragma once

#include <QtGlobal>

// When the airframe view's steps fall due: one every 15.625 ms, 64 a second,
// the pace of the system tick the view's speeds (pixels per step) were made
// for. The steps are counted from a monotonic clock, not from timer events,
// so a timer that can only wait whole milliseconds (15 or 16), or that fires
// late now and then, neither drifts nor changes the pace.
class StepSchedule
{
public:
    static constexpr qint64 kPeriodNs = 15'625'000;
    static constexpr int kStepsPerSecond = 64;
    // A tick this many steps late still catches up in one go; a longer stall
    // (a mail check holds the user-interface thread for seconds) is not made
    // up, or the jet would jump across the view.
    static constexpr int kMaxCatchUp = 3;

    // The first step falls due one period after `nowNs`.
    void start(qint64 nowNs);
    // The steps due at `nowNs` and not taken yet, now counted as taken. After
    // a stall of more than kMaxCatchUp steps: one step, and the pace starts
    // again from `nowNs`.
    int takeDue(qint64 nowNs);
    // Whole milliseconds from `nowNs` until the next step falls due, rounded
    // up so that a timer of that length never fires before it; at least 1.
    int msUntilNext(qint64 nowNs) const;

private:
    qint64 m_originNs = 0;
    qint64 m_taken = 0; // steps taken since m_originNs
};
