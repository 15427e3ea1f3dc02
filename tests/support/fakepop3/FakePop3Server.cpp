#include "FakePop3Server.h"

#include <QFile>

FakePop3Server::FakePop3Server(const QString& mode, const QString& listen)
{
    QStringList args{QStringLiteral(KESTROVA_SOURCE_DIR "/tests/support/fakepop3/fake_pop3.py"),
                     mode, QStringLiteral("--log"), m_dir.filePath(QStringLiteral("commands.log"))};
    if (!listen.isEmpty())
        args << QStringLiteral("--listen") << listen;
    // Debian's interpreter, by its full path: the first python3 on PATH may be another.
    m_process.start(QStringLiteral("/usr/bin/python3"), args);
    if (!m_process.waitForStarted(10000))
        return;
    while (!m_process.canReadLine() && m_process.waitForReadyRead(10000)) {
    }
    m_port = quint16(m_process.readLine().trimmed().toUInt());
}

FakePop3Server::~FakePop3Server()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString FakePop3Server::hostPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QByteArray FakePop3Server::commandLog() const
{
    QFile file(m_dir.filePath(QStringLiteral("commands.log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
