// The program's own mail check (MainForm::CheckMail, with everything it does
// around the POP3 session) against the curl tool fetching the same messages
// over one connection, on the mailboxes of bench_mailbox.
//
//   check_bench times PORT        the check and curl in turns, three times
//                                 each, on "bulk" and on "small"; one line a run:
//                                 run bench=NAME who=ours|curl wall_ns=.. cpu_ns=..
//   check_bench memory PORT       peak memory above idle while one 50 MB message
//                                 ("huge") is checked, and curl's for the same:
//                                 memory ours_kib=.. curl_kib=.. curl_tiny_kib=..
//   check_bench once PORT USER    one check of the user's mailbox, for profiling:
//                                 after a first check of "tiny" (first calls
//                                 resolved, windows made), the measured check
//                                 runs inside profiledCheck() alone
//   check_bench reach PORT TLS_PORT CA_FILE
//                                 time to the result of a check of "tiny" for
//                                 ways of writing the server value, beside curl
//                                 where it takes the same: Dovecot's TLS port
//                                 as the pop3s port without a scheme, and a name
//                                 whose first address (::1) swallows connection
//                                 attempts; three rounds, one line a run:
//                                 reach bench=NAME who=ours|curl wall_ns=..
//   check_bench link PORT          the check and curl in turns on "link" (50
//                                 messages of 20 KB) through delay_proxy.py
//                                 (25 ms each way), in front of Dovecot and of
//                                 a small server without PIPELINING; three
//                                 rounds after one unrecorded:
//                                 link bench=dovecot|no_pipelining who=.. wall_ns=..
#include "BenchMessages.h"
#include "app/AppContext.h"
#include "app/MainForm.h"
#include "fakepop3/FakePop3Server.h"
#include "mail/MsgForm.h"
#include "support/Controls.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QLineEdit>
#include <QProcess>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

qint64 cpuNs(const rusage& ru)
{
    return (qint64(ru.ru_utime.tv_sec) + ru.ru_stime.tv_sec) * 1000000000 +
           (qint64(ru.ru_utime.tv_usec) + ru.ru_stime.tv_usec) * 1000;
}

qint64 selfCpuNs()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return cpuNs(ru);
}

qint64 statusKib(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qsizetype(strlen(key))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Makes the peak resident size (VmHWM) start again from the current one.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct Measured
{
    qint64 wallNs = 0;
    qint64 cpuNs = 0;
    qint64 maxRssKib = 0;
    bool ok = false;
};

// One curl process with these arguments, its output to /dev/null.
Measured runCurl(std::vector<QByteArray> args)
{
    std::vector<char*> argv;
    for (QByteArray& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    Measured m;
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);
        execvp("curl", argv.data());
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    m.wallNs = clock.nsecsElapsed();
    m.cpuNs = cpuNs(ru);
    m.maxRssKib = ru.ru_maxrss;
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!m.ok)
        std::fprintf(stderr, "curl failed for %s (status %d)\n", args.back().constData(), status);
    return m;
}

// curl fetching messages 1..count of the user's mailbox, one process, one
// connection, the messages written to /dev/null.
Measured runCurl(quint16 port, const QByteArray& user, int count)
{
    std::vector<QByteArray> args{"curl", "-s", "-S", "-u", user + ":pw"};
    for (int i = 1; i <= count; ++i)
        args.push_back("pop3://127.0.0.1:" + QByteArray::number(port) + '/' +
                       QByteArray::number(i));
    return runCurl(args);
}

// The program with its data folder, the account of one mailbox in it, the
// server value pointing at the benchmark's Dovecot, and nothing that waits
// for a user.
class Program
{
public:
    explicit Program(quint16 port)
    {
        QDir().mkpath(m_folder.path() + QStringLiteral("/★MailData"));
        m_ctx = std::make_unique<AppContext>(m_folder.path(),
                                             m_folder.path() + QStringLiteral("/orvenda.ini"));
        m_ctx->endProcess = [] {};
        m_ctx->msgBox.setNeverBlock(true);
        m_ctx->mainForm.Show();
        // Plain POP3, as curl speaks it: the value that asks for no STLS upgrade.
        m_ctx->values.Pop3Server = QStringLiteral("pop3://127.0.0.1:%1").arg(port);
        m_ctx->values.ApopFlag = 0;
    }

    void useAccount(const QByteArray& user)
    {
        QFile account(m_folder.path() + QStringLiteral("/★MailData/iniIdPass.ini"));
        account.open(QIODevice::WriteOnly | QIODevice::Truncate);
        account.write("[EXEINI]\r\nNAME=" + user + "\r\nNAME2=pw\r\n");
    }

    // One check; false unless it reported the expected count.
    bool check(int expected)
    {
        m_ctx->mainForm->CheckMail();
        const QString shown = child<QLineEdit>(m_ctx->msgForm.get(), "Text2")->text();
        if (shown != QString::number(expected)) {
            std::fprintf(stderr, "the check reported %s, not %d\n", qPrintable(shown), expected);
            return false;
        }
        return true;
    }

    AppContext& context() { return *m_ctx; }
    void useServer(const QString& server) { m_ctx->values.Pop3Server = server; }

    // Kept out of line so that a profiler can collect this call alone.
    [[gnu::noinline]] bool profiledCheck(int expected) { return check(expected); }

    Measured timedCheck(int expected)
    {
        Measured m;
        const qint64 cpu = selfCpuNs();
        QElapsedTimer clock;
        clock.start();
        m.ok = check(expected);
        m.wallNs = clock.nsecsElapsed();
        m.cpuNs = selfCpuNs() - cpu;
        return m;
    }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<AppContext> m_ctx;
};

void print(const char* bench, const char* who, const Measured& m)
{
    std::printf("run bench=%s who=%s wall_ns=%lld cpu_ns=%lld\n", bench, who, qlonglong(m.wallNs),
                qlonglong(m.cpuNs));
    std::fflush(stdout);
}

int times(Program& program, quint16 port)
{
    struct Mailbox
    {
        const char* bench;
        QByteArray user;
        int count;
    };
    const Mailbox mailboxes[] = {{"check_bulk", "bulk", BenchMessages::kBulkCount},
                                 {"check_small", "small", BenchMessages::kSmallCount}};
    for (const Mailbox& box : mailboxes) {
        program.useAccount(box.user);
        // Unrecorded: Dovecot builds its indexes, the page cache fills.
        if (!program.check(box.count) || !runCurl(port, box.user, box.count).ok)
            return 1;
        for (int round = 0; round < 3; ++round) {
            const Measured curl = runCurl(port, box.user, box.count);
            const Measured ours = program.timedCheck(box.count);
            if (!curl.ok || !ours.ok)
                return 1;
            print(box.bench, "curl", curl);
            print(box.bench, "ours", ours);
        }
    }
    return 0;
}

int memory(Program& program, quint16 port)
{
    // Every code path of a check has run once before the idle figure is taken.
    program.useAccount("tiny");
    if (!program.check(1))
        return 1;
    program.useAccount("huge");
    resetPeak();
    const qint64 idle = statusKib("VmRSS:");
    if (!program.check(1))
        return 1;
    const qint64 peak = statusKib("VmHWM:");
    const Measured curlHuge = runCurl(port, "huge", 1);
    const Measured curlTiny = runCurl(port, "tiny", 1);
    if (!curlHuge.ok || !curlTiny.ok)
        return 1;
    std::printf("memory ours_kib=%lld curl_kib=%lld curl_tiny_kib=%lld\n", qlonglong(peak - idle),
                qlonglong(curlHuge.maxRssKib), qlonglong(curlTiny.maxRssKib));
    return 0;
}

// delay_proxy.py in front of a loopback port for the life of the object.
class DelayProxy
{
public:
    explicit DelayProxy(quint16 target)
    {
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {QStringLiteral(KESTROVA_SOURCE_DIR "/bench/mail/delay_proxy.py"),
                         QString::number(target)});
        if (!m_process.waitForStarted(10000))
            return;
        while (!m_process.canReadLine() && m_process.waitForReadyRead(10000)) {
        }
        m_port = quint16(m_process.readLine().trimmed().toUInt());
    }
    ~DelayProxy()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    quint16 port() const { return m_port; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

int slowLink(Program& program, quint16 port)
{
    FakePop3Server noPipelining(QStringLiteral("no-capabilities"));
    const DelayProxy toDovecot(port);
    const DelayProxy toNoPipelining(noPipelining.port());
    if (!noPipelining.isRunning() || toDovecot.port() == 0 || toNoPipelining.port() == 0) {
        std::fprintf(stderr, "the proxies or the small server did not start\n");
        return 1;
    }
    program.useAccount("link");
    const struct
    {
        const char* bench;
        quint16 port;
    } servers[] = {{"dovecot", toDovecot.port()}, {"no_pipelining", toNoPipelining.port()}};
    for (int round = 0; round < 4; ++round) {
        for (const auto& server : servers) {
            // Plain POP3, as curl speaks it.
            program.useServer(QStringLiteral("pop3://127.0.0.1:%1").arg(server.port));
            const Measured curl = runCurl(server.port, "link", BenchMessages::kLinkCount);
            const Measured ours = program.timedCheck(BenchMessages::kLinkCount);
            if (!curl.ok || !ours.ok)
                return 1;
            if (round == 0) // unrecorded: Dovecot's indexes, first calls
                continue;
            std::printf("link bench=%s who=curl wall_ns=%lld\n", server.bench,
                        qlonglong(curl.wallNs));
            std::printf("link bench=%s who=ours wall_ns=%lld\n", server.bench,
                        qlonglong(ours.wallNs));
        }
    }
    std::fflush(stdout);
    return 0;
}

int reach(Program& program, quint16 tlsPort, const QByteArray& ca)
{
    NMail& mail = program.context().mail;
    mail.addCaCertificates(QSslCertificate::fromPath(QString::fromLocal8Bit(ca)));
    program.useAccount("tiny");
    // The swallowing address needs the answering server's port free on ::1,
    // which Dovecot holds: a small server of the tests answers there instead.
    FakePop3Server answering(QStringLiteral("normal"));
    const QByteArray port = QByteArray::number(answering.port());
    FakePop3Server swallowing(QStringLiteral("swallow"), QStringLiteral("::1:") + port);
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 closed = probe.serverPort();
    probe.close();
    if (!answering.isRunning() || !swallowing.isRunning()) {
        std::fprintf(stderr, "the small servers did not start (no IPv6 loopback?)\n");
        return 1;
    }
    const QByteArray tls = QByteArray::number(tlsPort);
    const QByteArray name = "kestrova.test:" + port;
    const QHostAddress v6(QStringLiteral("::1"));
    const QHostAddress v4(QHostAddress::LocalHost);
    struct Way
    {
        const char* bench;
        QString server;
        Pop3Host::Ports ports;
        QList<QHostAddress> addresses; // of kestrova.test
        std::vector<QByteArray> curl;  // none when curl cannot take it
    };
    const std::vector<Way> ways{
        {"tls_port",
         "localhost:" + tls,
         {110, tlsPort},
         {},
         {"--cacert", ca, "pop3s://localhost:" + tls + "/1"}},
        {"silent_tls_port", "localhost:" + tls, {}, {}, {}},
        {"bare_host_pop3s", QStringLiteral("localhost"), {closed, tlsPort}, {}, {}},
        {"clean_name",
         "pop3://" + name,
         {},
         {v4},
         {"--resolve", name + ":127.0.0.1", "pop3://" + name + "/1"}},
        {"swallowed_first",
         "pop3://" + name,
         {},
         {v6, v4},
         {"--resolve", name + ":[::1],127.0.0.1", "pop3://" + name + "/1"}},
    };
    for (int round = 0; round < 4; ++round) {
        for (const Way& way : ways) {
            program.useServer(way.server);
            mail.setDefaultPorts(way.ports);
            mail.setResolver([addresses = way.addresses](const QString& host) {
                return host == u"kestrova.test" ? addresses : Pop3Dialer::systemResolve(host);
            });
            const Measured ours = program.timedCheck(1);
            if (!ours.ok)
                return 1;
            if (round == 0) // unrecorded: first calls, caches
                continue;
            std::printf("reach bench=%s who=ours wall_ns=%lld\n", way.bench,
                        qlonglong(ours.wallNs));
            if (way.curl.empty())
                continue;
            std::vector<QByteArray> args{"curl", "-s", "-S", "-u", "tiny:pw"};
            args.insert(args.end(), way.curl.begin(), way.curl.end());
            const Measured curl = runCurl(args);
            if (!curl.ok)
                return 1;
            std::printf("reach bench=%s who=curl wall_ns=%lld\n", way.bench,
                        qlonglong(curl.wallNs));
        }
    }
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QByteArray mode = argc > 2 ? QByteArray(argv[1]) : QByteArray();
    const auto port = quint16(argc > 2 ? QByteArray(argv[2]).toUInt() : 0);
    if (port == 0 || (mode != "times" && mode != "memory" && mode != "link" &&
                      !(mode == "once" && argc > 3) && !(mode == "reach" && argc > 4))) {
        std::fprintf(
            stderr,
            "usage: %s times|memory|link PORT | once PORT USER | reach PORT TLS_PORT CA_FILE\n",
            argv[0]);
        return 2;
    }
    Program program(port);
    if (mode == "link")
        return slowLink(program, port);
    if (mode == "reach")
        return reach(program, quint16(QByteArray(argv[3]).toUInt()), argv[4]);
    if (mode == "times")
        return times(program, port);
    if (mode == "memory")
        return memory(program, port);
    const QByteArray user = argv[3];
    const int count = user == "bulk"    ? BenchMessages::kBulkCount
                      : user == "small" ? BenchMessages::kSmallCount
                                        : 1;
    program.useAccount("tiny");
    if (!program.check(1))
        return 1;
    program.useAccount(user);
    return program.profiledCheck(count) ? 0 : 1;
}
