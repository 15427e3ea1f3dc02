// A throw-away Dovecot on loopback holding the mailboxes the benchmarks read:
//   bulk   1,000 messages of 50 KB
//   small  5,000 messages of 2 KB
//   huge   one message of 50 MB
//   tiny   one message of 2 KB
//   link   50 messages of 20 KB
// every password "pw". Once Dovecot answers, writes PORT=, TLS_PORT=, CA=,
// MASTER_PID= and DIR= lines to the file named by its argument, then waits until it is told
// to stop (SIGTERM, SIGINT, SIGHUP) or its standard input closes; stopping
// Dovecot and removing its folder on the way out.
//
//   bench_mailbox STATE_FILE
#include "BenchMessages.h"
#include "dovecot/DovecotServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

bool fill(DovecotServer& server, const QString& user, int count, int bytes)
{
    if (!server.addUser(user, "pw"))
        return false;
    for (int i = 1; i <= count; ++i) {
        if (!server.addMessage(user, BenchMessages::message(i, bytes)))
            return false;
    }
    return true;
}

// Dovecot's master process id, from the file it writes once it has detached
// (possibly only after start() has returned); 0 when none appears.
pid_t masterPid(const DovecotServer& server)
{
    QFile pidFile(server.directory() + QStringLiteral("/run/master.pid"));
    const QDeadlineTimer deadline(10000);
    while (!pidFile.exists() && !deadline.hasExpired())
        QThread::msleep(20);
    if (!pidFile.open(QIODevice::ReadOnly))
        return 0;
    return pid_t(pidFile.readAll().trimmed().toLongLong());
}

// Ends the master (and with it every Dovecot process) whether or not the
// server object knew its id.
void stopMaster(pid_t pid)
{
    if (pid <= 0 || ::kill(pid, SIGTERM) != 0)
        return;
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (::kill(pid, 0) != 0 && errno == ESRCH)
            return;
        QThread::msleep(20);
    }
    ::kill(pid, SIGKILL);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s STATE_FILE\n", argv[0]);
        return 2;
    }
    if (::pipe(g_signalPipe) != 0)
        return 1;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        std::signal(sig, onSignal);
    QSocketNotifier stopRequested(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopRequested, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            QCoreApplication::quit();
    });

    DovecotServer server;
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorText()));
        return 1;
    }
    const pid_t master = masterPid(server);
    // Runs before the server object removes Dovecot's folder.
    struct StopFirst
    {
        pid_t pid;
        ~StopFirst() { stopMaster(pid); }
    } stopFirst{master};
    using namespace BenchMessages;
    if (!fill(server, QStringLiteral("bulk"), kBulkCount, kBulkBytes) ||
        !fill(server, QStringLiteral("small"), kSmallCount, kSmallBytes) ||
        !fill(server, QStringLiteral("huge"), 1, kHugeBytes) ||
        !fill(server, QStringLiteral("tiny"), 1, kSmallBytes) ||
        !fill(server, QStringLiteral("link"), kLinkCount, kLinkBytes)) {
        std::fprintf(stderr, "could not fill the mailboxes in %s\n",
                     qPrintable(server.directory()));
        return 1;
    }
    QFile state(QString::fromLocal8Bit(argv[1]));
    if (!state.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    state.write("PORT=" + QByteArray::number(server.plainPort()) +
                "\nTLS_PORT=" + QByteArray::number(server.tlsPort()) +
                "\nCA=" + server.caCertificatePath().toLocal8Bit() + "\nMASTER_PID=" +
                QByteArray::number(master) + "\nDIR=" + server.directory().toLocal8Bit() + "\n");
    state.close();
    return QCoreApplication::exec();
}
