#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// A POP3 peer on a loopback port that answers each command line with the next
// step of a script, for the replies no real server gives at exactly the point
// of a session a test chooses. It runs on a thread of its own with plain
// POSIX sockets, so the program's synchronous client can run on the test's
// thread; connections are served one after another.
class ScriptedPop3Server
{
public:
    // What the server does once a step's bytes are out.
    enum class Then {
        Listen,  // reads the next command line
        Stall,   // says nothing more; commands are read and logged, never answered
        Close,   // closes the connection
        Reset,   // drops the connection with a TCP reset
        Endless, // sends the step's bytes again and again until the client goes
    };
    struct Step
    {
        Step(QByteArray bytes = {}, Then then = Then::Listen, QList<int> pieces = {})
            : bytes(std::move(bytes)), then(then), pieces(std::move(pieces))
        {}
        QByteArray bytes;
        Then then = Then::Listen;
        // Sizes of the pieces the bytes go out in, each once the client has
        // read everything before it (what is left goes as one last piece).
        QList<int> pieces;
    };
    // The step for a command line (CRLF removed), or for the greeting when
    // command is null. Called on the server's thread.
    using Script = std::function<Step(const QByteArray& command)>;

    // endWhenClientWaits: once the client has read everything and waits for
    // more while the script has nothing more to say, the server closes its
    // side, so an answer cut short ends the session at once instead of after
    // the client's timeout. The client must run on the constructing thread.
    explicit ScriptedPop3Server(Script script, bool endWhenClientWaits = false);
    ~ScriptedPop3Server();
    ScriptedPop3Server(const ScriptedPop3Server&) = delete;
    ScriptedPop3Server& operator=(const ScriptedPop3Server&) = delete;

    bool isRunning() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString hostPort() const;
    // Every command line received so far, each followed by LF.
    QByteArray commandLog() const;
    // Waits until no connection is open or pending; false after timeoutMs.
    bool waitIdle(int timeoutMs);

private:
    class Session;
    void run();

    Script m_script;
    bool m_endWhenClientWaits;
    int m_clientThread;
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_busy{false};
    mutable std::mutex m_logLock;
    QByteArray m_log;
    std::thread m_thread;
};
