// Linked into a program beside its own main() to report when its window was
// first painted, without changing what the program does up to that point.
//
// The probe hooks in at the construction of the application object and
// watches every event from there. It notes, on the monotonic clock shared
// by all processes (so the parent that started us can subtract its own start
// time):
//   loaded   static initialisation: the shared libraries are mapped and relocated
//   app      the application object exists (platform plugin loaded, display open)
//   shown    the window named by PROBE_WINDOW receives its first Show
//   painted  that window receives its first Paint
//   flushed  the paint has been flushed and the display server has processed it
// with the main thread's CPU time up to then,
// and prints them on one line beginning "probe". What follows depends on
// STARTUP_PROBE_MODE:
//   (unset)         print and leave at once (_exit: no teardown is timed)
//   idle:S          after the first paint, let 1 s pass, then measure the
//                   process's CPU time (all threads) over S seconds, and
//                   count the frames the window was repainted in
//   airframe:S      the same after clicking the window's "Label1" caption,
//                   which switches the main window to its animated view
//   repaint:S:RATE  the same while a timer asks the window to repaint RATE
//                   times a second (the reference for a window's animation)
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

#ifndef PROBE_WINDOW
#error "PROBE_WINDOW names the window whose first paint is timed"
#endif

namespace {

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// CPU time (user and system) of the whole process, or with `who`
// RUSAGE_THREAD, of the calling thread.
qint64 cpuNs(int who = RUSAGE_SELF)
{
    rusage ru{};
    getrusage(who, &ru);
    return (qint64(ru.ru_utime.tv_sec) + ru.ru_stime.tv_sec) * 1000000000 +
           (qint64(ru.ru_utime.tv_usec) + ru.ru_stime.tv_usec) * 1000;
}

const qint64 g_loaded = monotonicNs();

class Probe : public QObject
{
public:
    explicit Probe(qint64 appNs) : m_app(appNs)
    {
        const QList<QByteArray> mode = qgetenv("STARTUP_PROBE_MODE").split(':');
        m_mode = mode.value(0);
        m_seconds = mode.value(1).toDouble();
        m_rate = mode.value(2).toDouble();
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if ((type != QEvent::Show && type != QEvent::Paint && type != QEvent::UpdateRequest) ||
            !watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window()->objectName() != QLatin1String(PROBE_WINDOW))
            return false;
        // One repaint of the window, whatever parts of it are painted.
        if (type == QEvent::UpdateRequest)
            ++m_frames;
        if (type == QEvent::Show && widget->isWindow() && m_shown == 0)
            m_shown = monotonicNs();
        if (type == QEvent::Paint && m_painted == 0) {
            m_painted = monotonicNs();
            m_window = widget->window();
            // Runs once this paint and its flush are done.
            QMetaObject::invokeMethod(this, &Probe::firstPaintDone, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void firstPaintDone()
    {
        QGuiApplication::sync();
        const qint64 flushed = monotonicNs();
        // The main thread's CPU time since the process began: what the start-up
        // would take on an idle machine, its waits for the display apart.
        const qint64 mainCpu = cpuNs(RUSAGE_THREAD);
        std::printf("probe loaded=%lld app=%lld shown=%lld painted=%lld flushed=%lld "
                    "main_cpu=%lld\n",
                    qlonglong(g_loaded), qlonglong(m_app), qlonglong(m_shown), qlonglong(m_painted),
                    qlonglong(flushed), qlonglong(mainCpu));
        std::fflush(stdout);
        if (m_mode.isEmpty())
            ::_exit(0);
        if (m_mode == "airframe") {
            QWidget* caption =
                m_window ? m_window->findChild<QWidget*>(QStringLiteral("Label1")) : nullptr;
            if (!caption) {
                std::printf("probe-error no Label1 to click\n");
                std::fflush(stdout);
                ::_exit(1);
            }
            QTest::mouseClick(caption, Qt::LeftButton);
        }
        if (m_mode == "repaint" && m_rate > 0) {
            auto* repaint = new QTimer(this);
            repaint->setTimerType(Qt::PreciseTimer);
            repaint->setInterval(std::max(1, int(1000 / m_rate + 0.5)));
            connect(repaint, &QTimer::timeout, this, [this] {
                if (m_window)
                    m_window->update();
            });
            repaint->start();
        }
        QTimer::singleShot(1000, this, [this] {
            m_cpuStart = cpuNs();
            m_wallStart = monotonicNs();
            m_frames = 0;
            QTimer::singleShot(int(m_seconds * 1000), Qt::PreciseTimer, this, &Probe::measured);
        });
    }

    void measured()
    {
        const qint64 wall = monotonicNs() - m_wallStart;
        const qint64 cpu = cpuNs() - m_cpuStart;
        std::printf("probe-cpu wall_ns=%lld cpu_ns=%lld frames=%lld\n", qlonglong(wall),
                    qlonglong(cpu), qlonglong(m_frames));
        std::fflush(stdout);
        ::_exit(0);
    }

    qint64 m_app;
    qint64 m_shown = 0;
    qint64 m_painted = 0;
    qint64 m_frames = 0;
    qint64 m_cpuStart = 0;
    qint64 m_wallStart = 0;
    QByteArray m_mode;
    double m_seconds = 0;
    double m_rate = 0;
    QPointer<QWidget> m_window;
};

void installProbe()
{
    const qint64 app = monotonicNs();
    QCoreApplication::instance()->installEventFilter(new Probe(app));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
