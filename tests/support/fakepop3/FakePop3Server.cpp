#include "FakePop3Server.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <QtDebug>

namespace {

// A session ends within moments of its client's last word; the longest wait
// the server itself makes is 10 s for a TLS close notice.
constexpr int kSessionEndMs = 60000;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

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
    const QString path = m_dir.filePath(QStringLiteral("commands.log"));
    // A session writes its last lines after its client had the last answer.
    for (QDeadlineTimer deadline(kSessionEndMs);; QThread::msleep(10)) {
        const QByteArray marks = readAll(path + QStringLiteral(".sessions"));
        if (marks.count("start\n") == marks.count("end\n"))
            break;
        if (deadline.hasExpired()) {
            qWarning("fake POP3 server: a session still open after %d ms", kSessionEndMs);
            break;
        }
    }
    return readAll(path);
}
