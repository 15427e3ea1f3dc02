#include "mail/ConnectAttempt.h"

#include <QNetworkInterface>

#include <cstring>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
using Native = SOCKET;
#else
using Native = int;
#endif

// The system's address of address and port; its size, or 0 for neither family.
socklen_t toSockaddr(const QHostAddress& address, quint16 port, sockaddr_storage& out)
{
    std::memset(&out, 0, sizeof out);
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto* in = reinterpret_cast<sockaddr_in*>(&out);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(address.toIPv4Address());
        return sizeof(sockaddr_in);
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&out);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        // A link-local address's zone, by name ("eth0") or number.
        const QString zone = address.scopeId();
        bool numeric = false;
        const uint index = zone.toUInt(&numeric);
        in6->sin6_scope_id =
            numeric ? index : uint(QNetworkInterface::interfaceIndexFromName(zone));
        return sizeof(sockaddr_in6);
    }
    return 0;
}

#ifdef Q_OS_WIN
struct WinsockReady
{
    WinsockReady()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
#endif

} // namespace

ConnectAttempt::ConnectAttempt(const QHostAddress& address, quint16 port)
{
    sockaddr_storage to;
    const socklen_t size = toSockaddr(address, port, to);
    if (size == 0)
        return;
#ifdef Q_OS_WIN
    static const WinsockReady ready; // counted by the system: Qt's own start-up may come later
    const SOCKET s = ::socket(to.ss_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return;
    m_socket = qintptr(s);
    m_state = State::Pending;
    u_long nonBlocking = 1;
    const bool started = ioctlsocket(s, FIONBIO, &nonBlocking) == 0 &&
                         (::connect(s, reinterpret_cast<const sockaddr*>(&to), size) == 0 ||
                          WSAGetLastError() == WSAEWOULDBLOCK);
#else
    const int s = ::socket(to.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0)
        return;
    m_socket = s;
    m_state = State::Pending;
    const bool started =
        ::connect(s, reinterpret_cast<const sockaddr*>(&to), size) == 0 || errno == EINPROGRESS;
#endif
    // Even a connection made at once is told by the next wait.
    if (!started)
        drop();
}

ConnectAttempt::~ConnectAttempt()
{
    drop();
}

void ConnectAttempt::closeSocket(qintptr socket)
{
    if (socket == -1)
        return;
#ifdef Q_OS_WIN
    ::closesocket(Native(socket));
#else
    ::close(Native(socket));
#endif
}

void ConnectAttempt::drop()
{
    closeSocket(m_socket);
    m_socket = -1;
    if (m_state != State::Connected)
        m_state = State::Failed;
}

qintptr ConnectAttempt::take()
{
    const qintptr socket = m_state == State::Connected ? m_socket : -1;
    if (socket != -1)
        m_socket = -1;
    return socket;
}

void ConnectAttempt::settle()
{
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(Native(m_socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                     &size) != 0 ||
        error != 0) {
        drop();
        return;
    }
    m_state = State::Connected;
}

void ConnectAttempt::waitAny(const std::vector<ConnectAttempt*>& attempts, int ms)
{
    std::vector<ConnectAttempt*> pending;
    for (ConnectAttempt* attempt : attempts) {
        if (attempt->m_state == State::Pending)
            pending.push_back(attempt);
    }
    if (pending.empty())
        return;
#ifdef Q_OS_WIN
    // select(), not WSAPoll(): older systems' WSAPoll misses a failed connect,
    // which select() reports among the exceptions.
    fd_set written, failed;
    FD_ZERO(&written);
    FD_ZERO(&failed);
    for (ConnectAttempt* attempt : pending) {
        FD_SET(Native(attempt->m_socket), &written);
        FD_SET(Native(attempt->m_socket), &failed);
    }
    timeval timeout{ms / 1000, (ms % 1000) * 1000};
    if (::select(0, nullptr, &written, &failed, &timeout) <= 0)
        return;
    for (ConnectAttempt* attempt : pending) {
        if (FD_ISSET(Native(attempt->m_socket), &failed))
            attempt->drop();
        else if (FD_ISSET(Native(attempt->m_socket), &written))
            attempt->settle();
    }
#else
    std::vector<pollfd> fds;
    for (ConnectAttempt* attempt : pending)
        fds.push_back({Native(attempt->m_socket), POLLOUT, 0});
    if (::poll(fds.data(), fds.size(), ms) <= 0)
        return;
    for (size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents != 0)
            pending[i]->settle();
    }
#endif
}
