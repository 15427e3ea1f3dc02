#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Runs tests/support/fakepop3/fake_pop3.py in one misbehaving mode for the
// life of the object. isRunning() is false when it could not listen.
class FakePop3Server
{
public:
    // listen: "address:port" to listen on instead of a free port of 127.0.0.1.
    explicit FakePop3Server(const QString& mode, const QString& listen = QString());
    ~FakePop3Server();

    bool isRunning() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString hostPort() const;
    // The command lines the server received, one per line, once every
    // session it accepted has ended: call it after the client has closed.
    QByteArray commandLog() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
