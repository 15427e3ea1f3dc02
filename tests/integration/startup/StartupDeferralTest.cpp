// The start-up of the program leaves out what the first paint of the main
// window does not need, without changing what the user gets: the sound
// library is loaded with the first sound, the system bus is opened by the
// first hang-up, and the UI face is named as installed so that the font
// system draws the same face without searching its fallbacks.
//
// The tests run in their own program: whether a library is loaded is a fact
// about the whole process.

#include "flight/AudioOutput.h"
#include "support/app/AppHarness.h"
#include "ui/Appearance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <sys/prctl.h>
#include <vector>

namespace {

// Each variable set or taken away in this process, and whether the font
// configuration was being read at that moment.
struct EnvironmentChange
{
    std::string name;
    bool whileFontsRead;
};
std::mutex s_changesMutex;
std::condition_variable s_changed;
std::vector<EnvironmentChange> s_changes;
int s_fontReads = 0; // calls of FcInit under way, guarded by s_changesMutex

void noteChange(const char* name)
{
    {
        const std::lock_guard lock(s_changesMutex);
        s_changes.push_back({name, s_fontReads > 0});
    }
    s_changed.notify_all();
}

} // namespace

// Stand in for the C library's setenv and unsetenv in this program (Qt's
// qputenv and qunsetenv call them): note the call, then change the variable.
extern "C" int setenv(const char* name, const char* value, int overwrite)
{
    using Setenv = int (*)(const char*, const char*, int);
    static const auto real = reinterpret_cast<Setenv>(dlsym(RTLD_NEXT, "setenv"));
    noteChange(name);
    return real(name, value, overwrite);
}

extern "C" int unsetenv(const char* name)
{
    using Unsetenv = int (*)(const char*);
    static const auto real = reinterpret_cast<Unsetenv>(dlsym(RTLD_NEXT, "unsetenv"));
    noteChange(name);
    return real(name);
}

// Stands in for fontconfig's FcInit, which reads the environment: notes while
// it runs. The start-up's first read is made slow, as on a first start with a
// cold font cache: it goes on until the start-up changes a variable, or for
// 2 s, so a start-up that changes one before it has waited for this read is
// caught every time, not only when the read happens to be slower than the
// application object.
extern "C" int FcInit()
{
    using Init = int (*)();
    static const auto real = reinterpret_cast<Init>(dlsym(RTLD_NEXT, "FcInit"));
    static std::once_flag slow;
    {
        const std::lock_guard lock(s_changesMutex);
        ++s_fontReads;
    }
    std::call_once(slow, [] {
        std::unique_lock lock(s_changesMutex);
        const size_t before = s_changes.size();
        s_changed.wait_for(lock, std::chrono::seconds(2),
                           [&] { return s_changes.size() > before; });
    });
    const int result = real();
    const std::lock_guard lock(s_changesMutex);
    --s_fontReads;
    return result;
}

namespace {

bool sdlIsMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libSDL2");
}

// A minimal wave file: 16-bit mono, 100 samples of silence.
QByteArray silentWave()
{
    QByteArray data(200, '\0');
    auto le = [](quint32 v, int bytes) {
        QByteArray b;
        for (int i = 0; i < bytes; ++i)
            b.append(char((v >> (8 * i)) & 0xff));
        return b;
    };
    return "RIFF" + le(36 + 200, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(22050, 4) +
           le(44100, 4) + le(2, 2) + le(16, 2) + "data" + le(200, 4) + data;
}

// A private bus that serves as the system bus of this process; stopped when
// the test ends, or by the kernel when the test program dies. Its address
// comes from the test's environment (set by CTest): the D-Bus library reads
// the system bus address once, when the process first touches any bus (the
// start-up asks for the session bus), so it must be known before the program
// starts.
class PrivateSystemBus
{
public:
    PrivateSystemBus()
    {
        const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
        if (!address.startsWith(QStringLiteral("unix:abstract=")))
            return;
        m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_daemon.setStandardErrorFile(QProcess::nullDevice());
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--address=") + address,
                        QStringLiteral("--print-address"), QStringLiteral("--nofork")});
        const QDeadlineTimer deadline(30000);
        while (!m_daemon.canReadLine() && !deadline.hasExpired())
            m_daemon.waitForReadyRead(100);
        if (!m_daemon.readLine().trimmed().isEmpty())
            m_address = address;
    }
    ~PrivateSystemBus()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("startup-test"));
        m_daemon.kill();
        m_daemon.waitForFinished(3000);
    }
    bool isUp() const { return !m_address.isEmpty(); }

    // The unique names of every connection to the bus but the bus's own.
    QStringList clients()
    {
        QDBusConnection bus =
            QDBusConnection::connectToBus(m_address, QStringLiteral("startup-test"));
        QStringList names = bus.interface()->registeredServiceNames().value();
        names.removeIf([](const QString& name) { return !name.startsWith(u':'); });
        return names;
    }

private:
    QProcess m_daemon;
    QString m_address;
};

// Start-up changes environment variables only while the font configuration is
// not being read: fontconfig reads the environment on the font thread, and
// setting or taking away a variable may move the entries it reads. The test's environment has no
// session bus, so the start-up sets one variable for a while and takes it
// back. This program starts as the real one does (Appearance::start). First in
// this program: it reads the start-up's changes alone.
TEST(StartupDeferral, TheEnvironmentIsNeverChangedWhileTheFontsAreRead)
{
    const std::lock_guard lock(s_changesMutex);
    ASSERT_FALSE(std::none_of(s_changes.begin(), s_changes.end(), [](const EnvironmentChange& e) {
        return e.name == "DBUS_SESSION_BUS_ADDRESS";
    })) << "the start-up did not set the session bus's address";
    for (const EnvironmentChange& e : s_changes)
        EXPECT_FALSE(e.whileFontsRead) << e.name << " was changed while the fonts were read";
}

// Before anything could have loaded SDL.
TEST(StartupDeferral, TheSoundLibraryIsLoadedWithTheFirstSoundNotAtStartUp)
{
    AppHarness h;
    AppContext& ctx = *(h.ctx = std::make_unique<AppContext>(h.exeFolder, h.orvendaPath));
    ctx.endProcess = [] {};
    ctx.mainForm.Show();
    ASSERT_TRUE(ctx.form1.isLoaded());
    EXPECT_FALSE(sdlIsMapped()) << "the start-up loaded the sound library";

    EXPECT_TRUE(AudioOutput::decode(silentWave())) << "the sound library did not load";
    EXPECT_TRUE(sdlIsMapped());
}

TEST(StartupDeferral, TheSystemBusIsOpenedByTheFirstHangUpNotAtStartUp)
{
    PrivateSystemBus bus;
    ASSERT_TRUE(bus.isUp()) << "dbus-daemon did not start at DBUS_SYSTEM_BUS_ADDRESS";
    const QStringList before = bus.clients();

    AppHarness h;
    AppContext& ctx = *(h.ctx = std::make_unique<AppContext>(h.exeFolder, h.orvendaPath));
    ctx.endProcess = [] {};
    ctx.mainForm.Show();
    EXPECT_EQ(bus.clients(), before) << "the start-up connected to the system bus";

    // No NetworkManager on this bus: the hang-up asks, finds nothing, returns.
    ctx.mainForm->Label3_Click();
    EXPECT_EQ(bus.clients().size(), before.size() + 1)
        << "the hang-up did not reach the system bus";
}

TEST(StartupDeferral, TheUiFaceIsNamedAsInstalledAndDrawsAsTheSubstitution)
{
    const QFont ui = Appearance::uiFont();
    const QFont bold = Appearance::uiFont(11, true);
    const QFont byName(QStringLiteral("ＭＳ Ｐゴシック"), 9);

    EXPECT_TRUE(QFontDatabase::families().contains(ui.family(), Qt::CaseInsensitive))
        << qPrintable(ui.family()) << " is not an installed face";
    EXPECT_EQ(QFontInfo(ui).family(), QFontInfo(byName).family());
    EXPECT_EQ(ui.pointSize(), 9);
    EXPECT_FALSE(ui.bold());
    EXPECT_EQ(bold.family(), ui.family());
    EXPECT_EQ(bold.pointSize(), 11);
    EXPECT_TRUE(bold.bold());
}

} // namespace
