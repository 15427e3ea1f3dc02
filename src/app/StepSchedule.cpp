#include "app/StepSchedule.h"

#include <algorithm>

void StepSchedule::start(qint64 nowNs)
{
    m_originNs = nowNs;
    m_taken = 0;
}

int StepSchedule::takeDue(qint64 nowNs)
{
    const qint64 due = nowNs > m_originNs ? (nowNs - m_originNs) / kPeriodNs : 0;
    const qint64 pending = due - m_taken;
    if (pending <= 0)
        return 0;
    if (pending > kMaxCatchUp) {
        start(nowNs);
        return 1;
    }
    m_taken = due;
    return int(pending);
}

int StepSchedule::msUntilNext(qint64 nowNs) const
{
    const qint64 next = m_originNs + (m_taken + 1) * kPeriodNs;
    const qint64 waitNs = next - nowNs;
    constexpr qint64 msNs = 1'000'000;
    return int(std::clamp<qint64>((waitNs + msNs - 1) / msNs, 1, kPeriodNs / msNs + 1));
}
