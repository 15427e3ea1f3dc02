#pragma once

#include <QHostAddress>

#include <vector>

// One TCP connection being made on a non-blocking socket of the system, so
// that several can be under way at once and one wait watches them all (Qt's
// sockets give up a connection whose wait runs out). The connected socket is
// handed to a QSslSocket with take().
class ConnectAttempt
{
public:
    enum class State { Pending, Connected, Failed };

    // Starts connecting; a socket that cannot even start has Failed.
    ConnectAttempt(const QHostAddress& address, quint16 port);
    ~ConnectAttempt(); // closes the socket unless it was taken
    ConnectAttempt(const ConnectAttempt&) = delete;
    ConnectAttempt& operator=(const ConnectAttempt&) = delete;

    State state() const { return m_state; }
    // The connected socket; closing it is now the caller's.
    qintptr take();

    // Closes a socket of the system that nobody took over.
    static void closeSocket(qintptr socket);

    // Waits up to ms until one of the pending attempts connects or fails,
    // and brings the states of all of them up to date.
    static void waitAny(const std::vector<ConnectAttempt*>& attempts, int ms);

private:
    void settle(); // a pending attempt the system says has ended: Connected or Failed
    void drop();   // closes the socket; a pending attempt has Failed

    qintptr m_socket = -1;
    State m_state = State::Failed;
};
