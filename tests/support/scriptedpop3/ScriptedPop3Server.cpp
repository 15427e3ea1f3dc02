#include "ScriptedPop3Server.h"

#include <QFile>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

namespace {

// Every wait of the server's thread is this short, so it notices when the
// test ends it.
constexpr int kTickMs = 10;

quint16 localPort(int fd)
{
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        address.sin_family != AF_INET)
        return 0;
    return ntohs(address.sin_port);
}

quint16 peerPort(int fd)
{
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        address.sin_family != AF_INET)
        return 0;
    return ntohs(address.sin_port);
}

} // namespace

// One connection. The client is in this process, so the session can see its
// side of the connection (its socket, by the ports) and whether its thread is
// blocked waiting: that lets pieces go out one read at a time and lets a
// session end as soon as the client waits for bytes the script does not have.
class ScriptedPop3Server::Session
{
public:
    Session(ScriptedPop3Server& server, int fd) : m_server(server), m_fd(fd)
    {
        const int one = 1;
        setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK);
        findClientSocket();
    }
    ~Session()
    {
        // The client has gone (or the test ends): a reset leaves no socket
        // waiting out its time on either side, however many sessions a fuzz run makes.
        const linger abortive{1, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        close(m_fd);
    }

    void run()
    {
        Step step = m_server.m_script(QByteArray());
        for (;;) {
            if (!send(step))
                return;
            switch (step.then) {
            case Then::Listen:
                break;
            case Then::Stall:
                drain();
                return;
            case Then::Close:
                shutdown(m_fd, SHUT_WR);
                drain();
                return;
            case Then::Reset:
                return; // the destructor resets
            case Then::Endless:
                while (!step.bytes.isEmpty() && sendAll(step.bytes)) {
                }
                return;
            }
            QByteArray line;
            if (!readLine(line))
                return;
            step = m_server.m_script(line);
        }
    }

private:
    bool stopping() const { return m_server.m_stop.load(); }

    void findClientSocket()
    {
        const quint16 clientPort = peerPort(m_fd);
        const quint16 serverPort = localPort(m_fd);
        // The client made its socket before the server accepted: look below
        // the accepted descriptor first.
        for (int i = 1; i < 4096; ++i) {
            const int fd = i < m_fd ? m_fd - i : i;
            if (fd != m_fd && localPort(fd) == clientPort && peerPort(fd) == serverPort) {
                struct stat info = {};
                fstat(fd, &info);
                m_clientFd = fd;
                m_clientInode = info.st_ino;
                return;
            }
        }
    }

    // Bytes the client has not read yet; -1 once its socket is gone.
    int clientUnread() const
    {
        struct stat info = {};
        if (m_clientFd < 0 || fstat(m_clientFd, &info) != 0 || info.st_ino != m_clientInode)
            return -1;
        int unread = 0;
        return ioctl(m_clientFd, FIONREAD, &unread) == 0 ? unread : -1;
    }

    // Bytes the client has written that are not yet acknowledged, those its
    // side still holds back too (a small command waits there for the
    // acknowledgement of the one before it); -1 once its socket is gone.
    int clientUnsent() const
    {
        int unsent = 0;
        return clientUnread() >= 0 && ioctl(m_clientFd, TIOCOUTQ, &unsent) == 0 ? unsent : -1;
    }

    // Whether the client's thread is blocked in a poll or select call.
    bool clientBlocked() const
    {
        QFile file(QStringLiteral("/proc/self/task/%1/syscall").arg(m_server.m_clientThread));
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const long number = file.readAll().split(' ').first().toLong();
        return number == SYS_poll || number == SYS_ppoll || number == SYS_select ||
               number == SYS_pselect6;
    }

    // Whether the client has read everything, sent everything, and now waits
    // for more: checked twice, a few milliseconds apart, so a thread merely
    // passing through a wait is not taken for one that waits.
    bool clientWaitsForMore() const
    {
        for (int i = 0; i < 2; ++i) {
            if (i > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            if (clientUnread() != 0 || clientUnsent() != 0 || !clientBlocked() || hasInput())
                return false;
        }
        return true;
    }

    bool hasInput() const
    {
        pollfd p{m_fd, POLLIN, 0};
        return poll(&p, 1, 0) > 0;
    }

    // Waits until the client has read everything sent so far, has gone, or
    // stays blocked without reading (it waits on something else).
    void waitUntilRead() const
    {
        for (;;) {
            const int unread = clientUnread();
            if (unread <= 0 || stopping())
                return;
            if (clientBlocked()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                if (clientBlocked() && clientUnread() == unread)
                    return;
            }
            std::this_thread::yield();
        }
    }

    bool sendAll(QByteArrayView bytes)
    {
        while (!bytes.isEmpty()) {
            if (stopping())
                return false;
            const ssize_t n = ::send(m_fd, bytes.data(), size_t(bytes.size()), MSG_NOSIGNAL);
            if (n > 0) {
                bytes = bytes.sliced(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return false;
            pollfd p{m_fd, POLLOUT, 0};
            poll(&p, 1, kTickMs);
        }
        return true;
    }

    bool send(const Step& step)
    {
        QByteArrayView rest = step.bytes;
        for (const int piece : step.pieces) {
            if (rest.isEmpty())
                break;
            const QByteArrayView first = rest.first(std::clamp<qsizetype>(piece, 1, rest.size()));
            if (!sendAll(first))
                return false;
            rest = rest.sliced(first.size());
            if (m_clientFd >= 0)
                waitUntilRead();
        }
        return sendAll(rest);
    }

    // Takes one whole command line from what was received, and logs it.
    bool takeLine(QByteArray& line)
    {
        const qsizetype lf = m_input.indexOf('\n');
        if (lf < 0)
            return false;
        line = m_input.first(lf);
        m_input.remove(0, lf + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        std::lock_guard lock(m_server.m_logLock);
        m_server.m_log.append(line).append('\n');
        return true;
    }

    // One command line from the client. False when it has gone, the test
    // ends, or (endWhenClientWaits) the client waits for bytes instead.
    bool readLine(QByteArray& line)
    {
        while (!takeLine(line)) {
            if (!receive(false))
                return false;
        }
        return true;
    }

    // Takes what the client sent; false once it has gone or the session ends.
    bool receive(bool untilGone)
    {
        for (;;) {
            if (stopping())
                return false;
            char buffer[4096];
            const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                m_input.append(buffer, n);
                return true;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                return false;
            if (!untilGone && m_server.m_endWhenClientWaits && clientWaitsForMore()) {
                shutdown(m_fd, SHUT_WR);
                drain();
                return false;
            }
            pollfd p{m_fd, POLLIN, 0};
            poll(&p, 1, m_server.m_endWhenClientWaits ? 1 : kTickMs);
        }
    }

    // Reads until the client goes, logging its command lines.
    void drain()
    {
        QByteArray line;
        while (receive(true)) {
            while (takeLine(line)) {
            }
        }
    }

    ScriptedPop3Server& m_server;
    int m_fd;
    int m_clientFd = -1;
    ino_t m_clientInode = 0;
    QByteArray m_input;
};

ScriptedPop3Server::ScriptedPop3Server(Script script, bool endWhenClientWaits)
    : m_script(std::move(script)), m_endWhenClientWaits(endWhenClientWaits),
      m_clientThread(int(syscall(SYS_gettid)))
{
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_listener < 0 ||
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listener, 8) != 0)
        return;
    m_port = localPort(m_listener);
    m_thread = std::thread([this] { run(); });
}

ScriptedPop3Server::~ScriptedPop3Server()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener >= 0)
        close(m_listener);
}

QString ScriptedPop3Server::hostPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QByteArray ScriptedPop3Server::commandLog() const
{
    std::lock_guard lock(m_logLock);
    return m_log;
}

bool ScriptedPop3Server::waitIdle(int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd p{m_listener, POLLIN, 0};
        if (!m_busy && poll(&p, 1, 0) == 0)
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void ScriptedPop3Server::run()
{
    while (!m_stop) {
        pollfd p{m_listener, POLLIN, 0};
        if (poll(&p, 1, kTickMs) <= 0)
            continue;
        m_busy = true;
        const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0)
            Session(*this, fd).run();
        m_busy = false;
    }
}
