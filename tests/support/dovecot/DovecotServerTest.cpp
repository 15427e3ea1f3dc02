// The Dovecot test server's own lifetime: whatever way its test ends, none of
// its processes is left running.

#include "dovecot/DovecotServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

namespace {

QByteArray procFile(qint64 pid, const char* name)
{
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Alive and not a zombie.
bool alive(qint64 pid)
{
    const QByteArray stat = procFile(pid, "stat");
    const qsizetype close = stat.lastIndexOf(')');
    return close > 0 && stat.size() > close + 2 && stat[close + 2] != 'Z';
}

// The server's processes as seen from outside: the master by the
// configuration in its command line, the services by their parent.
QList<qint64> processesOf(const QString& directory, qint64* master = nullptr)
{
    const QByteArray config = QFile::encodeName(directory + QStringLiteral("/dovecot.conf"));
    qint64 masterPid = 0;
    QList<qint64> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid || !alive(pid))
            continue;
        if (procFile(pid, "cmdline").contains(config))
            masterPid = pid;
    }
    if (masterPid == 0)
        return {};
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        const QByteArray stat = procFile(pid, "stat");
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (isPid && fields.size() > 1 && fields[1].toLongLong() == masterPid)
            children.append(pid);
    }
    if (master)
        *master = masterPid;
    return QList<qint64>{masterPid} + children;
}

QList<qint64> stillAlive(const QList<qint64>& pids, int withinMs = 0)
{
    QList<qint64> left;
    const QDeadlineTimer deadline(withinMs);
    do {
        left.clear();
        for (qint64 pid : pids)
            if (alive(pid))
                left.append(pid);
        if (left.isEmpty() || deadline.hasExpired())
            return left;
        QThread::msleep(50);
    } while (true);
}

} // namespace

TEST(DovecotHelper, StopAndTheDestructorLeaveNoProcessOfTheServer)
{
    QList<qint64> first;
    {
        DovecotServer server;
        ASSERT_TRUE(server.start()) << server.errorText().toStdString();
        first = processesOf(server.directory());
        ASSERT_GE(first.size(), 2) << "a master and its services";
        server.stop();
        EXPECT_FALSE(server.isRunning());
        EXPECT_EQ(stillAlive(first), QList<qint64>()) << "right after stop()";
        server.stop(); // a second stop is harmless

        // Started again, then left to the destructor, as when a test fails.
        ASSERT_TRUE(server.start()) << server.errorText().toStdString();
        first = processesOf(server.directory());
        ASSERT_GE(first.size(), 2);
    }
    EXPECT_EQ(stillAlive(first), QList<qint64>()) << "right after the destructor";
}

TEST(DovecotHelper, AServerGoesDownWithATestThatIsKilled)
{
    // Another copy of this program starts a server, then is killed the way
    // CTest ends a test at its time limit: no destructor runs.
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KESTROVA_DOVECOT_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=DovecotHelperChild.StartsAServerAndWaits")});
    ASSERT_TRUE(child.waitForStarted(10000));
    QString directory;
    const QDeadlineTimer deadline(90000);
    while (directory.isEmpty() && !deadline.hasExpired() && child.state() == QProcess::Running) {
        child.waitForReadyRead(500);
        while (child.canReadLine()) {
            const QString line = QString::fromLocal8Bit(child.readLine()).trimmed();
            if (line.startsWith(QStringLiteral("server ")))
                directory = line.mid(7);
        }
    }
    ASSERT_FALSE(directory.isEmpty()) << child.readAllStandardError().toStdString();
    qint64 master = 0;
    const QList<qint64> processes = processesOf(directory, &master);
    ASSERT_GE(processes.size(), 2);

    ::kill(pid_t(child.processId()), SIGKILL);
    child.waitForFinished(10000);
    EXPECT_EQ(stillAlive(processes, 15000), QList<qint64>());

    // What the killed test could not clean up itself.
    QDir(directory).removeRecursively();
    QFile::remove(QStringLiteral(KESTROVA_DOVECOT_RECORDS "/%1").arg(master));
}

// Run only as the child of the test above.
TEST(DovecotHelperChild, StartsAServerAndWaits)
{
    if (!qEnvironmentVariableIsSet("KESTROVA_DOVECOT_CHILD"))
        GTEST_SKIP() << "run by AServerGoesDownWithATestThatIsKilled";
    DovecotServer server;
    ASSERT_TRUE(server.start()) << server.errorText().toStdString();
    std::printf("server %s\n", qPrintable(server.directory()));
    std::fflush(stdout);
    QThread::sleep(120);
}
