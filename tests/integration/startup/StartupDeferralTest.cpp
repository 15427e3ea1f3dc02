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
#include <dirent.h>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <sys/prctl.h>
#include <vector>

namespace {

// Each variable set in this process, with the number of its threads then.
struct EnvironmentSet
{
    std::string name;
    int threads;
};
std::mutex s_setsMutex;
std::condition_variable s_setsChanged;
std::vector<EnvironmentSet> s_sets;

int threadCount()
{
    int n = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* e = readdir(tasks))
            n += e->d_name[0] != '.';
        closedir(tasks);
    }
    return n;
}

} // namespace

// Stands in for the C library's setenv in this program (Qt's qputenv calls
// it): notes the call, then sets the variable.
extern "C" int setenv(const char* name, const char* value, int overwrite)
{
    using Setenv = int (*)(const char*, const char*, int);
    static const auto real = reinterpret_cast<Setenv>(dlsym(RTLD_NEXT, "setenv"));
    {
        const std::lock_guard lock(s_setsMutex);
        s_sets.push_back({name, threadCount()});
    }
    s_setsChanged.notify_all();
    return real(name, value, overwrite);
}

// Stands in for fontconfig's FcInit: the start-up's first read of the font
// configuration is made slow, as on a first start with a cold font cache.
// It goes on until the start-up sets a variable, or for 2 s, so a start-up
// that sets one before it has waited for this read is caught every time, not
// only when the read happens to be slower than the application object.
extern "C" int FcInit()
{
    using Init = int (*)();
    static const auto real = reinterpret_cast<Init>(dlsym(RTLD_NEXT, "FcInit"));
    static std::once_flag slow;
    std::call_once(slow, [] {
        std::unique_lock lock(s_setsMutex);
        const size_t before = s_sets.size();
        s_setsChanged.wait_for(lock, std::chrono::seconds(2),
                               [&] { return s_sets.size() > before; });
    });
    return real();
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

// Start-up sets environment variables only while its thread runs alone:
// fontconfig reads the environment on the font thread, and setting a variable
// may move the table it reads. The test's environment has no session bus, so
// the start-up sets one variable for a moment.' First in this program: it reads
// the start-up's sets alone.
TEST(StartupDeferral, TheEnvironmentIsSetOnlyWhileTheStartUpRunsAlone)
{
    const std::lock_guard lock(s_setsMutex);
    ASSERT_FALSE(std::none_of(s_sets.begin(), s_sets.end(), [](const EnvironmentSet& e) {
        return e.name == "DBUS_SESSION_BUS_ADDRESS";
    })) << "the start-up did not set the session bus's address";
    for (const EnvironmentSet& e : s_sets)
        EXPECT_EQ(e.threads, 1) << e.name << " was set while other threads ran";
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
