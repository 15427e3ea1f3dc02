// The NetworkManager hang-up, run against python3-dbusmock's NetworkManager
// stand-in on a private bus that each test starts and stops itself. What the
// hang-up asked for is read from the stand-in's method-call log.

#include "mail/NetworkManagerHangUp.h"
#include "mail/DialUpHangUp.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QUuid>

#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <sys/prctl.h>

namespace {

using SettingsGroups = QMap<QString, QVariantMap>;

const QString kNmService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNmManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kNmManagerInterface = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNmSettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
const QString kNmActiveInterface =
    QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");
const QString kMockMainPath = QStringLiteral("/org/freedesktop");
constexpr int kActivatedState = 2;

// Debian's interpreter, which owns python3-dbusmock; the first python3 on PATH may not.
const QString kPython = QStringLiteral("/usr/bin/python3");

// A child that is killed when the test ends, however it ends: by the destructor,
// or by the kernel when the test program itself dies.
class ChildProcess
{
public:
    ChildProcess()
    {
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    }
    ~ChildProcess() { stop(); }
    QProcess& process() { return m_process; }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

private:
    QProcess m_process;
};

class NetworkManagerHangUpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qDBusRegisterMetaType<SettingsGroups>();
        QProcess& daemon = m_daemon.process();
        daemon.setProcessChannelMode(QProcess::SeparateChannels);
        daemon.setStandardErrorFile(QProcess::nullDevice());
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--print-address"),
                      QStringLiteral("--nofork")});
        ASSERT_TRUE(daemon.waitForStarted(5000)) << "dbus-daemon did not start";
        QDeadlineTimer deadline(30000);
        while (!daemon.canReadLine() && !deadline.hasExpired())
            daemon.waitForReadyRead(100);
        m_address = QString::fromUtf8(daemon.readLine()).trimmed();
        ASSERT_FALSE(m_address.isEmpty()) << "dbus-daemon printed no address";

        m_connectionName = QStringLiteral("hangup-test-") + QUuid::createUuid().toString();
        m_bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(m_address, m_connectionName));
        ASSERT_TRUE(m_bus->isConnected()) << qPrintable(m_bus->lastError().message());
    }

    void TearDown() override
    {
        m_bus.reset();
        if (!m_connectionName.isEmpty())
            QDBusConnection::disconnectFromBus(m_connectionName);
        m_standIn.stop();
        m_daemon.stop();
    }

    bool nameHasOwner(const QString& name)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
        message << name;
        const QDBusMessage reply = m_bus->call(message, QDBus::Block, 2000);
        return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
    }

    // Starts `program args` with the private bus as its system bus and waits until
    // it owns NetworkManager's name.
    void startNetworkManager(const QStringList& args)
    {
        QProcess& process = m_standIn.process();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
        process.setProcessEnvironment(env);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(kPython, args);
        ASSERT_TRUE(process.waitForStarted(5000)) << "could not start " << qPrintable(kPython);
        QDeadlineTimer deadline(60000);
        while (!nameHasOwner(kNmService)) {
            ASSERT_EQ(process.state(), QProcess::Running)
                << "the NetworkManager stand-in ended early (is python3-dbusmock installed?)";
            ASSERT_FALSE(deadline.hasExpired())
                << "the NetworkManager stand-in never took its name";
            QThread::msleep(20);
        }
    }

    void startStandIn()
    {
        startNetworkManager({QStringLiteral("-m"), QStringLiteral("dbusmock"),
                             QStringLiteral("--template"), QStringLiteral("networkmanager")});
    }

    QDBusMessage callStandIn(const QString& path, const QString& interface, const QString& method,
                             const QVariantList& args)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(kNmService, path, interface, method);
        message.setArguments(args);
        return m_bus->call(message, QDBus::Block, 5000);
    }

    // A saved connection with the given settings groups, activated under
    // ActiveConnection/<name>; the active connection's Type is connection.type.
    QString addActive(const QString& name, const QString& type, const SettingsGroups& extra = {})
    {
        SettingsGroups settings = extra;
        settings[QStringLiteral("connection")] = {{QStringLiteral("id"), name},
                                                  {QStringLiteral("type"), type}};
        const QDBusMessage added =
            callStandIn(kNmSettingsPath, QStringLiteral("org.freedesktop.NetworkManager.Settings"),
                        QStringLiteral("AddConnection"), {QVariant::fromValue(settings)});
        EXPECT_EQ(added.type(), QDBusMessage::ReplyMessage) << qPrintable(added.errorMessage());
        const QString settingsPath = added.arguments().value(0).value<QDBusObjectPath>().path();

        const QDBusMessage active = callStandIn(
            kMockMainPath, kMockInterface, QStringLiteral("AddActiveConnection"),
            {QStringList{}, settingsPath, QStringLiteral("/"), name, uint(kActivatedState)});
        EXPECT_EQ(active.type(), QDBusMessage::ReplyMessage) << qPrintable(active.errorMessage());
        return active.arguments().value(0).toString();
    }

    // The active connections given to DeactivateConnection, by name (the last
    // part of the path), in the order the stand-in got them. A marker call sent
    // after the hang-up, the same way its requests leave, is awaited first, so
    // every request the hang-up made has arrived.
    std::string deactivationsAfterHangUp()
    {
        QDBusMessage marker = QDBusMessage::createMethodCall(
            kNmService, kNmManagerPath, kNmManagerInterface, QStringLiteral("Reload"));
        marker << uint(0);
        m_bus->call(marker, QDBus::NoBlock);

        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            const QDBusMessage reply =
                callStandIn(kNmManagerPath, kMockInterface, QStringLiteral("GetCalls"), {});
            if (reply.type() != QDBusMessage::ReplyMessage) {
                ADD_FAILURE() << "GetCalls failed: " << qPrintable(reply.errorMessage());
                return "(no answer)";
            }
            QStringList deactivated;
            bool markerSeen = false;
            const QDBusArgument calls = reply.arguments().value(0).value<QDBusArgument>();
            calls.beginArray();
            while (!calls.atEnd()) {
                qulonglong timestamp = 0;
                QString method;
                QVariantList args;
                calls.beginStructure();
                calls >> timestamp >> method >> args;
                calls.endStructure();
                if (method == QLatin1String("Reload"))
                    markerSeen = true;
                else if (method == QLatin1String("DeactivateConnection") && !args.isEmpty())
                    deactivated << args.first().value<QDBusObjectPath>().path().section(u'/', -1);
            }
            calls.endArray();
            if (markerSeen) {
                callStandIn(kNmManagerPath, kMockInterface, QStringLiteral("ClearCalls"), {});
                return deactivated.join(u' ').toStdString();
            }
            QThread::msleep(20);
        }
        ADD_FAILURE() << "the stand-in never logged the marker call";
        return "(no answer)";
    }

    qint64 timedHangUp(NetworkManagerHangUp& hangUp)
    {
        QElapsedTimer timer;
        timer.start();
        hangUp.hangUpAll();
        return timer.nsecsElapsed() / 1000;
    }

    static void report(const char* what, qint64 micros)
    {
        std::cout << "[ timing   ] " << what << ": " << micros << " us" << std::endl;
        ::testing::Test::RecordProperty(what, std::to_string(micros));
    }

    ChildProcess m_daemon;
    ChildProcess m_standIn;
    QString m_address;
    QString m_connectionName;
    std::unique_ptr<QDBusConnection> m_bus;
};

TEST_F(NetworkManagerHangUpTest, DialUpLinksAreDeactivatedFirstEnumeratedFirstEthernetLeftAlone)
{
    ASSERT_NO_FATAL_FAILURE(startStandIn());
    // Names chosen so that enumeration order is not the paths' sort order.
    addActive(QStringLiteral("9"), QStringLiteral("pppoe"));
    addActive(QStringLiteral("5"), QStringLiteral("802-3-ethernet"));
    addActive(QStringLiteral("3"), QStringLiteral("gsm"));

    NetworkManagerHangUp hangUp(*m_bus);
    report("two dial-up links and one Ethernet", timedHangUp(hangUp));

    EXPECT_EQ(deactivationsAfterHangUp(), "9 3");
}

TEST_F(NetworkManagerHangUpTest, EveryDialUpKindIsHungUpAndNothingElse)
{
    ASSERT_NO_FATAL_FAILURE(startStandIn());
    const SettingsGroups dun{
        {QStringLiteral("bluetooth"), {{QStringLiteral("type"), QStringLiteral("dun")}}}};
    const SettingsGroups panu{
        {QStringLiteral("bluetooth"), {{QStringLiteral("type"), QStringLiteral("panu")}}}};

    addActive(QStringLiteral("a"), QStringLiteral("cdma"));
    addActive(QStringLiteral("b"), QStringLiteral("802-11-wireless"));
    addActive(QStringLiteral("c"), QStringLiteral("bluetooth"), dun);
    addActive(QStringLiteral("d"), QStringLiteral("bluetooth"), panu);
    addActive(QStringLiteral("e"), QStringLiteral("vpn"));
    addActive(QStringLiteral("f"), QStringLiteral("adsl"));
    addActive(QStringLiteral("g"), QStringLiteral("gsm"));
    // A Bluetooth link whose settings cannot be read cannot be told to be a
    // dial-up one, so it is left alone.
    const QString btUnknown = addActive(QStringLiteral("h"), QStringLiteral("bluetooth"), dun);
    const QDBusMessage moved =
        callStandIn(kMockMainPath, kMockInterface, QStringLiteral("SetProperty"),
                    {btUnknown, kNmActiveInterface, QStringLiteral("Connection"),
                     QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusObjectPath(
                         QStringLiteral("/org/freedesktop/NetworkManager/Settings/gone")))))});
    ASSERT_EQ(moved.type(), QDBusMessage::ReplyMessage) << qPrintable(moved.errorMessage());
    addActive(QStringLiteral("i"), QStringLiteral("pppoe"));

    NetworkManagerHangUp hangUp(*m_bus);
    report("nine links, five dial-up", timedHangUp(hangUp));

    EXPECT_EQ(deactivationsAfterHangUp(), "a c f g i");
}

TEST_F(NetworkManagerHangUpTest, NoDialUpLinkMeansNoRequest)
{
    ASSERT_NO_FATAL_FAILURE(startStandIn());
    NetworkManagerHangUp hangUp(*m_bus);

    hangUp.hangUpAll(); // no active connection at all
    EXPECT_EQ(deactivationsAfterHangUp(), "");

    addActive(QStringLiteral("0"), QStringLiteral("802-3-ethernet"));
    addActive(QStringLiteral("1"), QStringLiteral("802-11-wireless"));
    hangUp.hangUpAll();
    EXPECT_EQ(deactivationsAfterHangUp(), "");
}

TEST_F(NetworkManagerHangUpTest, NoNetworkManagerOnTheBusDoesNothing)
{
    NetworkManagerHangUp hangUp(*m_bus);
    report("bus without NetworkManager", timedHangUp(hangUp));
    // Nothing was started on the bus's behalf either.
    EXPECT_FALSE(nameHasOwner(kNmService));
}

TEST_F(NetworkManagerHangUpTest, SilentNetworkManagerIsGivenUpOnAfterTheTimeout)
{
    // Owns the name and then never reads its messages: every call times out.
    ASSERT_NO_FATAL_FAILURE(startNetworkManager(
        {QStringLiteral("-c"),
         QStringLiteral("import dbus, os, time\n"
                        "bus = dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS'])\n"
                        "bus.request_name('org.freedesktop.NetworkManager')\n"
                        "time.sleep(600)\n")}));
    NetworkManagerHangUp hangUp(*m_bus, 300);
    // Returning at all is the point: one timed-out question ends the hang-up
    // instead of asking again per connection.
    report("silent NetworkManager, 300 ms timeout", timedHangUp(hangUp));
}

TEST(NetworkManagerHangUpWithoutBus, NoBusAtAllDoesNothing)
{
    const QString name = QStringLiteral("hangup-test-nobus");
    {
        const QDBusConnection none = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/kestrova-bus-socket"), name);
        ASSERT_FALSE(none.isConnected());
        NetworkManagerHangUp hangUp(none);
        QElapsedTimer timer;
        timer.start();
        hangUp.hangUpAll();
        std::cout << "[ timing   ] no bus: " << timer.nsecsElapsed() / 1000 << " us" << std::endl;
    }
    QDBusConnection::disconnectFromBus(name);
}

TEST(DialUpHangUpFactory, LinuxUsesNetworkManager)
{
    // Only created, never run: on a developer's machine it would hang up real links.
    const std::unique_ptr<DialUpHangUp> hangUp = DialUpHangUp::createForPlatform();
    EXPECT_NE(dynamic_cast<NetworkManagerHangUp*>(hangUp.get()), nullptr);
}

} // namespace
