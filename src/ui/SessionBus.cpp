#include "ui/SessionBus.h"

#include <QtGlobal>

#if !defined(Q_OS_WIN)
#include <QDBusConnection>
#include <QFileInfo>
#endif

namespace SessionBus {

#if !defined(Q_OS_WIN)
namespace {

bool s_refusing = false;

// libdbus finds the session bus from this variable, then from the per-user
// socket of the login session, and launches one only without both.
bool noneRuns()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return false;
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtimeDir.isEmpty() || !QFileInfo::exists(runtimeDir + QStringLiteral("/bus"));
}

} // namespace
#endif

void refuseWhereNoneRuns()
{
#if !defined(Q_OS_WIN)
    // An address libdbus cannot use: a connection fails at once instead of
    // launching a bus.
    if (!s_refusing && noneRuns()) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
        s_refusing = true;
    }
#endif
}

void connectWithoutStartingOne()
{
#if !defined(Q_OS_WIN)
    refuseWhereNoneRuns();
    if (!s_refusing)
        return;
    // Qt keeps its one session connection, failed or not, for the whole run,
    // so every later request gets the same answer; the variable is taken
    // back so that programs we start (the web browser) look for a bus as usual.
    QDBusConnection::sessionBus();
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    s_refusing = false;
#endif
}

} // namespace SessionBus
