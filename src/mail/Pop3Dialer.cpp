#include "mail/Pop3Dialer.h"

#include "mail/AddressRace.h"

#include <QHostInfo>

#include <algorithm>
#include <climits>

namespace {

using Status = Pop3Connection::Status;
using Outcome = AddressRace::Outcome;

int remainingMs(const QDeadlineTimer& deadline)
{
    return int(std::clamp<qint64>(deadline.remainingTime(), 0, INT_MAX));
}

// Why none of the race's attempts on port connected (Timeout when one was
// still under way at the end); false when none was made.
bool portFailure(const AddressRace::Result& race,
                 const std::vector<AddressRace::Endpoint>& endpoints, quint16 port, Status* status)
{
    bool tried = false;
    *status = Status::ConnectFailed;
    for (size_t i = 0; i < endpoints.size(); ++i) {
        if (endpoints[i].port != port || race.outcomes[i] == Outcome::NotTried)
            continue;
        tried = true;
        if (race.outcomes[i] == Outcome::NoAnswer)
            *status = Status::Timeout;
    }
    return tried;
}

} // namespace

// One TLS connection: what happened, and whether it settles the matter: a
// handshake that worked (whatever the greeting then says) or a certificate
// that did not verify. Otherwise another way may still be tried.
struct Pop3Dialer::Leg
{
    Status status = Status::ConnectFailed;
    std::unique_ptr<Pop3Connection> connection;
    bool settles = false;
};

Pop3Dialer::Pop3Dialer(Settings settings) : m_settings(std::move(settings)) {}

QList<QHostAddress> Pop3Dialer::systemResolve(const QString& host)
{
    // An address is its own answer: QHostInfo would look its name up first.
    QHostAddress literal;
    if (literal.setAddress(host))
        return {literal};
    QList<QHostAddress> addresses;
    for (const QHostAddress& address : QHostInfo::fromName(host).addresses()) {
        if (!addresses.contains(address))
            addresses.append(address);
    }
    return addresses;
}

std::unique_ptr<Pop3Connection> Pop3Dialer::newConnection(quint16 port) const
{
    return std::make_unique<Pop3Connection>(m_settings.connectTimeoutMs, m_settings.replyTimeoutMs,
                                            m_settings.trusted, m_settings.pinned(port));
}

int Pop3Dialer::silentLookMs() const
{
    // Within half the reply bound, so a short bound (a test's) still leaves
    // time for the second connection.
    return std::min(kSilentLookMs, m_settings.replyTimeoutMs / 2);
}

Pop3Dialer::Leg Pop3Dialer::startTls(qintptr socket, quint16 port, const Pop3Host& host,
                                     int handshakeMs) const
{
    Leg leg;
    leg.connection = newConnection(port);
    leg.status = leg.connection->begin(socket, host.host(), true, handshakeMs);
    leg.settles = leg.status == Status::Ok || !leg.connection->certificateErrors().isEmpty();
    if (leg.status == Status::Ok)
        leg.status = leg.connection->readGreeting();
    return leg;
}

Pop3Dialer::PortTried Pop3Dialer::tried(quint16 port, const Pop3Connection& connection,
                                        Status status)
{
    return {port, true, status, connection.lastWaitMs(), connection.tlsErrorText()};
}

Pop3Dialer::Result Pop3Dialer::dial(const Pop3Host& host) const
{
    Result result;
    // One bound for the name, its addresses and a TLS handshake, as for one connection.
    const QDeadlineTimer deadline(m_settings.connectTimeoutMs);
    const QList<QHostAddress> addresses = AddressRace::interleaved(
        m_settings.resolve ? m_settings.resolve(host.host()) : systemResolve(host.host()));
    if (addresses.isEmpty())
        return result;

    const bool toPop3s = host.fallback() == Pop3Host::Fallback::Pop3sPort;
    std::vector<AddressRace::Endpoint> endpoints;
    for (const QHostAddress& address : addresses)
        endpoints.push_back({address, host.port()});
    if (toPop3s) {
        for (const QHostAddress& address : addresses)
            endpoints.push_back({address, host.pop3sPort(), silentLookMs()});
    }
    const AddressRace::Result race = AddressRace::run(endpoints, deadline);
    const int raceMs = m_settings.connectTimeoutMs - remainingMs(deadline);
    for (size_t i = 0; i < endpoints.size(); ++i) {
        if (race.outcomes[i] != Outcome::NotTried &&
            !result.addresses.contains(endpoints[i].address))
            result.addresses.append(endpoints[i].address);
    }
    // What happened on each port, told when both of a bare host fail.
    const auto reportPorts = [&](std::vector<PortTried> ports) {
        if (ports.size() > 1) {
            result.status = Status::ConnectFailed;
            result.connection.reset();
            result.ports = std::move(ports);
        }
    };
    const auto raceFailure = [&](quint16 port, std::vector<PortTried>& ports) {
        Status status;
        if (portFailure(race, endpoints, port, &status))
            ports.push_back({port, port != host.port(), status, raceMs, {}});
    };

    if (race.socket == -1) {
        std::vector<PortTried> ports;
        raceFailure(host.port(), ports);
        if (toPop3s)
            raceFailure(host.pop3sPort(), ports);
        result.status = ports.empty() ? Status::Timeout : ports.front().status;
        result.waitedMs = m_settings.connectTimeoutMs;
        reportPorts(std::move(ports));
        return result;
    }

    const AddressRace::Endpoint& won = endpoints[size_t(race.winner)];
    if (host.security() == Pop3Host::Security::Tls || won.port != host.port()) {
        Leg leg = startTls(race.socket, won.port, host, remainingMs(deadline));
        result.status = leg.status;
        result.port = won.port;
        result.connection = std::move(leg.connection);
        if (!leg.settles && won.port != host.port()) {
            std::vector<PortTried> ports;
            raceFailure(host.port(), ports);
            ports.push_back(tried(won.port, *result.connection, leg.status));
            reportPorts(std::move(ports));
        }
        return result;
    }

    result.port = won.port;
    result.connection = newConnection(won.port);
    Pop3Connection& conn = *result.connection;
    Status status = conn.begin(race.socket, host.host(), false, 0);
    if (status == Status::Ok && host.security() == Pop3Host::Security::Plain) {
        result.status = conn.readGreeting(); // as written: no upgrade, no fallback
        return result;
    }
    const bool mayProbe = host.fallback() != Pop3Host::Fallback::None;
    if (status == Status::Ok)
        status = conn.readGreeting(mayProbe ? QDeadlineTimer(silentLookMs())
                                            : QDeadlineTimer(QDeadlineTimer::Forever));
    std::vector<PortTried> ports;
    if (status == Status::Silent && mayProbe && conn.isUsable()) {
        // Perhaps a port that waits for TLS: a second connection asks it,
        // within what is left of the first one's reply bound.
        const quint16 tlsPort = toPop3s ? host.pop3sPort() : host.port();
        const int ms =
            std::min(m_settings.connectTimeoutMs, m_settings.replyTimeoutMs - silentLookMs());
        const QDeadlineTimer probeDeadline(ms);
        const AddressRace::Result probe = AddressRace::run({{won.address, tlsPort}}, probeDeadline);
        Leg leg;
        if (probe.socket != -1)
            leg = startTls(probe.socket, tlsPort, host, remainingMs(probeDeadline));
        else
            leg.status =
                probe.outcomes[0] == Outcome::NoAnswer ? Status::Timeout : Status::ConnectFailed;
        if (leg.settles) {
            result.status = leg.status;
            result.port = tlsPort;
            result.connection = std::move(leg.connection);
            return result;
        }
        ports.push_back({host.port(), false, Status::Silent, m_settings.replyTimeoutMs, {}});
        ports.push_back(leg.connection ? tried(tlsPort, *leg.connection, leg.status)
                                       : PortTried{tlsPort, true, leg.status, ms, {}});
        status = conn.readGreeting();
    }
    if (status == Status::Ok)
        status = conn.upgradeIfOffered(host.host());
    result.status = status;
    if (status == Status::Silent && toPop3s)
        reportPorts(std::move(ports));
    return result;
}
