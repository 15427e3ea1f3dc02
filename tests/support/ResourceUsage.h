#pragma once

// What the test process holds: memory, open descriptors. Linux reads them
// from /proc; elsewhere every figure is -1.

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
#define KESTROVA_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTROVA_UNDER_ASAN 1
#endif
#endif
#ifdef KESTROVA_UNDER_ASAN
// Part of the sanitizer runtime of both GCC and clang (GCC ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace ResourceUsage {

// Under AddressSanitizer freed memory is held back in a quarantine, so the
// resident size follows how much was allocated over time, not how much is
// in use: tests measure the live heap there instead.
#ifdef KESTROVA_UNDER_ASAN
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
inline qint64 statusKib(QByteArrayView field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field) && line.size() > field.size() && line[field.size()] == ':')
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

inline qint64 residentKib()
{
    return statusKib("VmRSS");
}

// Peak resident memory since the last resetPeak().
inline qint64 peakKib()
{
    return statusKib("VmHWM");
}

inline void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Bytes allocated and not yet freed; -1 without AddressSanitizer.
inline qint64 liveHeapBytes()
{
#ifdef KESTROVA_UNDER_ASAN
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    return -1;
#endif
}

inline int openDescriptors()
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    return fds.exists() ? int(fds.entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size()) - 1
                        : -1; // the listing's own descriptor
}

// How far memory in use grows over a stretch of work, in KiB: the peak
// resident size, or under AddressSanitizer the live heap sampled every
// millisecond on a thread of its own.
class GrowthWatch
{
public:
    GrowthWatch()
    {
        if (kUnderAddressSanitizer) {
            m_start = liveHeapBytes();
            m_peak = m_start;
            m_sampler = std::thread([this] {
                while (!m_done) {
                    const qint64 now = liveHeapBytes();
                    qint64 peak = m_peak;
                    while (now > peak && !m_peak.compare_exchange_weak(peak, now)) {
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            });
        } else {
            resetPeak();
            m_start = peakKib();
        }
    }
    ~GrowthWatch() { stop(); }
    GrowthWatch(const GrowthWatch&) = delete;
    GrowthWatch& operator=(const GrowthWatch&) = delete;

    qint64 grownKib()
    {
        stop();
        if (kUnderAddressSanitizer)
            return (std::max<qint64>(m_peak, liveHeapBytes()) - m_start) / 1024;
        return peakKib() - m_start;
    }

private:
    void stop()
    {
        m_done = true;
        if (m_sampler.joinable())
            m_sampler.join();
    }

    qint64 m_start = 0;
    std::atomic<qint64> m_peak{0};
    std::atomic<bool> m_done{false};
    std::thread m_sampler;
};

} // namespace ResourceUsage
