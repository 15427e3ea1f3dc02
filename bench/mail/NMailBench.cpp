// Retrieves 300 messages of 50 KB from a local Dovecot through the mail
// library and through the curl tool (one process, one connection), in the
// same run, and measures the library's peak memory for one 50 MB message.
#include "dovecot/DovecotServer.h"
#include "mail/NMail.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kMessages = 300;
constexpr int kMessageBytes = 50 * 1000;
constexpr int kRounds = 5;

QByteArray makeMessage(int n, int bytes)
{
    QByteArray m =
        "From: bench@example.com\r\nSubject: bench " + QByteArray::number(n) + "\r\n\r\n";
    const QByteArray line = QByteArray(74, 'a' + char(n % 26)) + "\r\n";
    while (m.size() + line.size() <= bytes)
        m += line;
    m += QByteArray(bytes - m.size() - 2, 'z') + "\r\n";
    return m;
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

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// One check's worth of work: status, size and the whole message for each.
double timeClient(const QString& host, const char* user, bool statusAndSize)
{
    NMail mail;
    std::vector<char> subject(8192), date(8192), from(8192), header(8192);
    QElapsedTimer clock;
    clock.start();
    const int handle = mail.NMailPop3Connect(host.toUtf8().constData());
    const int count = mail.NMailPop3Authenticate(handle, user, "pw", 0);
    qint64 total = 0;
    std::vector<char> body;
    for (int i = 1; i <= count; ++i) {
        int size = kMessageBytes;
        if (statusAndSize) {
            mail.NMailPop3GetMailStatus(handle, i, subject, date, from, header, 0);
            size = mail.NMailPop3GetMailSize(handle, i);
        }
        body.assign(size_t(size) + 1, ' ');
        total += mail.NMailPop3GetMail(handle, i, subject, date, from, header, body, 0, 0);
    }
    mail.NMailPop3Close(handle);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (count != kMessages || total != qint64(kMessages) * kMessageBytes)
        std::fprintf(stderr, "client retrieved %d messages, %lld bytes\n", count, qlonglong(total));
    return ms;
}

double timeCurl(quint16 port, const char* user)
{
    QStringList args{QStringLiteral("-s"), QStringLiteral("-u"), QString::fromLatin1(user) + ":pw"};
    for (int i = 1; i <= kMessages; ++i)
        args << QStringLiteral("pop3://127.0.0.1:%1/%2").arg(port).arg(i);
    QProcess curl;
    curl.setStandardOutputFile(QStringLiteral("/dev/null"));
    QElapsedTimer clock;
    clock.start();
    curl.start(QStringLiteral("curl"), args);
    curl.waitForFinished(600000);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (curl.exitCode() != 0)
        std::fprintf(stderr, "curl exited with %d\n", curl.exitCode());
    return ms;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    DovecotServer server;
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorText()));
        return 1;
    }
    server.addUser(QStringLiteral("bench"), "pw");
    for (int i = 1; i <= kMessages; ++i)
        server.addMessage(QStringLiteral("bench"), makeMessage(i, kMessageBytes));
    const QString plain = QStringLiteral("pop3://127.0.0.1:%1").arg(server.plainPort());

    // Warm Dovecot's indexes and the page cache first.
    timeClient(plain, "bench", false);
    timeCurl(server.plainPort(), "bench");

    std::vector<double> retrOnly, check, curl;
    for (int round = 0; round < kRounds; ++round) {
        curl.push_back(timeCurl(server.plainPort(), "bench"));
        retrOnly.push_back(timeClient(plain, "bench", false));
        check.push_back(timeClient(plain, "bench", true));
    }
    std::printf("300 x 50 KB over plain POP3, median of %d rounds\n", kRounds);
    std::printf("  curl (one process, one connection):  %8.1f ms\n", median(curl));
    std::printf("  nMail, RETR only:                    %8.1f ms   ratio %.2f (goal <= 1.1)\n",
                median(retrOnly), median(retrOnly) / median(curl));
    std::printf("  nMail, as the check (TOP+LIST+RETR): %8.1f ms   ratio %.2f\n", median(check),
                median(check) / median(curl));

    // One 50 MB message: the library's memory above the caller's own buffers.
    constexpr int kBigBytes = 50 * 1000 * 1000;
    server.addUser(QStringLiteral("big"), "pw");
    server.addMessage(QStringLiteral("big"), makeMessage(1, kBigBytes));
    {
        NMail mail;
        std::vector<char> subject(8192), date(8192), from(8192), header(8192);
        const int handle = mail.NMailPop3Connect(plain.toUtf8().constData());
        mail.NMailPop3Authenticate(handle, "big", "pw", 0);
        const int size = mail.NMailPop3GetMailSize(handle, 1);
        std::vector<char> body(size_t(size) + 1,
                               ' '); // the caller's buffer, touched as the check does
        resetPeak();
        const qint64 idle = statusKib("VmRSS:");
        const int got = mail.NMailPop3GetMail(handle, 1, subject, date, from, header, body, 0, 0);
        const qint64 peak = statusKib("VmHWM:");
        std::printf("50 MB message (%d bytes received): peak %lld KiB above the idle process with "
                    "its body buffer (goal < 16384 KiB)\n",
                    got, qlonglong(peak - idle));

        std::vector<char> small(8192);
        resetPeak();
        const qint64 idle2 = statusKib("VmRSS:");
        mail.NMailPop3GetMail(handle, 1, subject, date, from, header, small, 0, 0);
        std::printf("50 MB message into an 8 KB buffer: peak %lld KiB above idle\n",
                    qlonglong(statusKib("VmHWM:") - idle2));
        mail.NMailPop3Close(handle);
    }
    return 0;
}
