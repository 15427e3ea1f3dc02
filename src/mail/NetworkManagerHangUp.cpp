#include "mail/NetworkManagerHangUp.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QVariantMap>

namespace {

QString service()
{
    return QStringLiteral("org.freedesktop.NetworkManager");
}
QString managerPath()
{
    return QStringLiteral("/org/freedesktop/NetworkManager");
}
QString managerInterface()
{
    return QStringLiteral("org.freedesktop.NetworkManager");
}
QString activeInterface()
{
    return QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
}
QString settingsConnectionInterface()
{
    return QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
}

// An error after which asking NetworkManager anything more is pointless: it is
// gone, hung, or the bus itself is lost. Other errors concern one object only
// (say, a connection that went down while we looked at it).
bool isFatal(const QDBusMessage& reply)
{
    switch (QDBusError(reply).type()) {
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
    case QDBusError::Disconnected:
    case QDBusError::ServiceUnknown:
    case QDBusError::NoServer:
    case QDBusError::NoNetwork:
        return true;
    default:
        return false;
    }
}

bool isError(const QDBusMessage& reply)
{
    return reply.type() != QDBusMessage::ReplyMessage;
}

// The value inside a Properties.Get reply (signature "v").
QVariant propertyValue(const QDBusMessage& reply)
{
    if (reply.arguments().size() != 1)
        return {};
    return reply.arguments().at(0).value<QDBusVariant>().variant();
}

} // namespace

NetworkManagerHangUp::NetworkManagerHangUp(const QDBusConnection& bus, int timeoutMs)
    : m_bus(bus), m_timeoutMs(timeoutMs)
{}

bool NetworkManagerHangUp::isDialUpType(const QString& type)
{
    return type == QLatin1String("pppoe") || type == QLatin1String("adsl") ||
           type == QLatin1String("gsm") || type == QLatin1String("cdma");
}

void NetworkManagerHangUp::hangUpAll()
{
    if (!m_bus.isConnected() || !serviceIsRunning())
        return;
    // Each link is hung up as soon as it is known to be a dial-up one, so a
    // NetworkManager that stops answering halfway still gets the earlier requests.
    for (const QString& path : activeConnections()) {
        switch (classify(path)) {
        case Kind::DialUp:
            deactivate(path);
            break;
        case Kind::Other:
            break;
        case Kind::NoAnswer:
            return;
        }
    }
}

bool NetworkManagerHangUp::serviceIsRunning() const
{
    // Asked of the bus itself, so that a NetworkManager that is installed but not
    // running is not started by our questions (every call below also forbids it).
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    message << service();
    const QDBusMessage reply = call(message);
    return !isError(reply) && reply.arguments().size() == 1 && reply.arguments().at(0).toBool();
}

QList<QString> NetworkManagerHangUp::activeConnections() const
{
    const QDBusMessage reply =
        property(managerPath(), managerInterface(), QStringLiteral("ActiveConnections"));
    if (isError(reply))
        return {};
    const QVariant value = propertyValue(reply);
    // Anything but a list of object paths is not NetworkManager's answer.
    const bool isPathList =
        value.userType() == qMetaTypeId<QList<QDBusObjectPath>>() ||
        (value.userType() == qMetaTypeId<QDBusArgument>() &&
         value.value<QDBusArgument>().currentSignature() == QLatin1String("ao"));
    if (!isPathList)
        return {};
    const auto objectPaths = qdbus_cast<QList<QDBusObjectPath>>(value);
    QList<QString> paths;
    paths.reserve(objectPaths.size());
    for (const QDBusObjectPath& objectPath : objectPaths)
        paths.append(objectPath.path());
    return paths;
}

NetworkManagerHangUp::Kind NetworkManagerHangUp::classify(const QString& activePath) const
{
    const QDBusMessage reply = property(activePath, activeInterface(), QStringLiteral("Type"));
    if (isError(reply))
        return isFatal(reply) ? Kind::NoAnswer : Kind::Other;
    const QString type = propertyValue(reply).toString();
    if (isDialUpType(type))
        return Kind::DialUp;
    if (type == QLatin1String("bluetooth"))
        return classifyBluetooth(activePath);
    return Kind::Other;
}

NetworkManagerHangUp::Kind NetworkManagerHangUp::classifyBluetooth(const QString& activePath) const
{
    const QDBusMessage connectionReply =
        property(activePath, activeInterface(), QStringLiteral("Connection"));
    if (isError(connectionReply))
        return isFatal(connectionReply) ? Kind::NoAnswer : Kind::Other;
    const QString settingsPath = propertyValue(connectionReply).value<QDBusObjectPath>().path();
    if (settingsPath.isEmpty() || settingsPath == QLatin1String("/"))
        return Kind::Other;

    const QDBusMessage reply = call(QDBusMessage::createMethodCall(
        service(), settingsPath, settingsConnectionInterface(), QStringLiteral("GetSettings")));
    if (isError(reply))
        return isFatal(reply) ? Kind::NoAnswer : Kind::Other;
    if (reply.signature() != QLatin1String("a{sa{sv}}"))
        return Kind::Other;

    // Settings are groups of named values; only the "bluetooth" group matters.
    const QDBusArgument groups = reply.arguments().at(0).value<QDBusArgument>();
    bool dun = false;
    groups.beginMap();
    while (!groups.atEnd()) {
        QString group;
        QVariantMap values;
        groups.beginMapEntry();
        groups >> group >> values;
        groups.endMapEntry();
        if (group == QLatin1String("bluetooth"))
            dun = values.value(QStringLiteral("type")).toString() == QLatin1String("dun");
    }
    groups.endMap();
    return dun ? Kind::DialUp : Kind::Other;
}

void NetworkManagerHangUp::deactivate(const QString& activePath) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        service(), managerPath(), managerInterface(), QStringLiteral("DeactivateConnection"));
    message << QVariant::fromValue(QDBusObjectPath(activePath));
    message.setAutoStartService(false);
    // Sent and not waited for: the requests leave in the order they are made,
    // and whatever NetworkManager answers is discarded.
    m_bus.call(message, QDBus::NoBlock);
}

QDBusMessage NetworkManagerHangUp::call(QDBusMessage message) const
{
    message.setAutoStartService(false);
    // QDBus::Block waits without running an event loop.
    return m_bus.call(message, QDBus::Block, m_timeoutMs);
}

QDBusMessage NetworkManagerHangUp::property(const QString& path, const QString& interface,
                                            const QString& name) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        service(), path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message << interface << name;
    return call(message);
}
