#pragma once

#include <QHostAddress>
#include <QTcpSocket>

// A port on which every connection is refused, on 127.0.0.1 and ::1 alike,
// for the life of the object: a socket holds it bound and never listens.
// A port merely found free a moment ago may meanwhile be handed to the next
// server that asks the system for one (the tests' own fake servers do), and
// then a "refused" port answers.
class ClosedPort
{
public:
    ClosedPort() { m_socket.bind(QHostAddress::Any, 0, QAbstractSocket::DontShareAddress); }
    quint16 port() const { return m_socket.localPort(); }

private:
    QTcpSocket m_socket;
};
