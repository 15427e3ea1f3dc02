#include "ui/SessionBus.h"

#include <QtGlobal>

#if !defined(Q_OS_WIN)
#include <QDBusConnection>
#include <QFileInfo>
#endif

namespace SessionBus {

void connectWithoutStartingOne()
{
#if !defined(Q_OS_WIN)
    // libdbus finds the session bus from this variable, then from the
    // per-user socket of the login session, and launches one only without both.
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && QFileInfo::exists(runtimeDir + QStringLiteral("/bus")))
        return;
    // An address libdbus cannot use: the connection fails at once instead of
    // launching a bus. Qt keeps this one connection for the whole run, so
    // every later request gets the same answer; the variable is taken back so
    // that programs we start (the web browser) look for a bus as usual.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    QDBusConnection::sessionBus();
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
#endif
}

} // namespace SessionBus
