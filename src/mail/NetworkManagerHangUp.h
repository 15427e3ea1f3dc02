#pragma once

#include "mail/DialUpHangUp.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

// Hangs up dial-up links through NetworkManager: every active connection of a
// dial-up kind is deactivated, in the order NetworkManager lists them.
//
// Dial-up kinds (the active connection's "Type"): "pppoe", "adsl", "gsm", "cdma"
// (mobile broadband), and "bluetooth" when its settings say bluetooth.type "dun"
// (a Bluetooth PAN link is a network, not a dial-up, and is left alone; so is a
// Bluetooth connection whose settings cannot be read). Ethernet, Wi-Fi, VPN and
// every other kind are never touched.
//
// Every blocking D-Bus call waits at most the given timeout and never runs an
// event loop: the mail check that calls this runs on the user-interface thread
// and must not hand control back. The deactivations themselves are sent without
// waiting for NetworkManager's answer. Nothing is asked and nothing is reported:
// no bus, no NetworkManager, or a NetworkManager that does not answer means that
// nothing (more) is done.
class NetworkManagerHangUp : public DialUpHangUp
{
public:
    static constexpr int kDefaultTimeoutMs = 2000;

    explicit NetworkManagerHangUp(const QDBusConnection& bus = QDBusConnection::systemBus(),
                                  int timeoutMs = kDefaultTimeoutMs);

    void hangUpAll() override;

    // True for the active-connection types that are always dial-up links
    // ("bluetooth" needs a look at the settings and is not among them).
    static bool isDialUpType(const QString& type);

private:
    enum class Kind { DialUp, Other, NoAnswer };

    bool serviceIsRunning() const;
    // The active connections' object paths; empty when there are none or no answer.
    QList<QString> activeConnections() const;
    Kind classify(const QString& activePath) const;
    Kind classifyBluetooth(const QString& activePath) const;
    void deactivate(const QString& activePath) const;

    // One blocking call, bounded by m_timeoutMs, that never starts the service.
    QDBusMessage call(QDBusMessage message) const;
    // A property of a NetworkManager object, or an error message.
    QDBusMessage property(const QString& path, const QString& interface, const QString& name) const;

    QDBusConnection m_bus;
    int m_timeoutMs;
};
