// The mail check's POP3 session (connect, login, STAT, then for each message
// TOP n 0, LIST n and RETR n through the check's own message loop, QUIT)
// beside the curl tool fetching the same messages over one connection, both
// against one private Dovecot on loopback over plain POP3, in the same run.
//
//   nmail_bench              times (best of three, check and curl in turns)
//                            and memory; one machine-readable line each:
//                              check_1000x50k_ms=..  curl_1000x50k_ms=..
//                              ratio_1000x50k=..     (and the same for 5000x2k)
//                              memory_50mb_kib=..    (peak above idle)
//   nmail_bench once CASE    one check of CASE (1000x50k or 5000x2k) inside
//                            profiledCheck() alone, for callgrind's
//                            --toggle-collect (see profile.sh)
#include "dovecot/DovecotServer.h"
#include "mail/FetchEveryMessage.h"
#include "mail/NMail.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Mailbox
{
    const char* name; // the case's name in the output, and the Dovecot user
    int count;
    int bytes;
};

const Mailbox kBulk{"1000x50k", 1000, 50 * 1000};
const Mailbox kSmall{"5000x2k", 5000, 2000};
const Mailbox kHuge{"huge", 1, 50 * 1000 * 1000};
constexpr int kRounds = 3;

// A plain text message of exactly `bytes` bytes with the header fields a
// real one has, 76-character lines and one line that the server dot-stuffs.
QByteArray makeMessage(int n, int bytes)
{
    const QByteArray number = QByteArray::number(n);
    QByteArray m = "Return-Path: <sender@example.com>\r\n"
                   "From: Sender <sender@example.com>\r\n"
                   "To: bench@example.com\r\n"
                   "Subject: benchmark message " +
                   number +
                   "\r\n"
                   "Date: Mon, 1 Jan 2024 09:00:00 +0900\r\n"
                   "Message-ID: <" +
                   number +
                   ".bench@example.com>\r\n"
                   "\r\n"
                   ".a line that starts with a dot\r\n";
    const QByteArray line = QByteArray(74, char('a' + n % 26)) + "\r\n";
    m.reserve(bytes);
    while (m.size() + line.size() + 2 <= bytes)
        m += line;
    m += QByteArray(std::max<qsizetype>(0, bytes - m.size() - 2), 'z') + "\r\n";
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

// Makes the peak resident size (VmHWM) start again from the current one.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// The POP3 session of one mail check: false unless the login gave the
// expected count.
bool check(const QByteArray& host, const Mailbox& box)
{
    NMail mail;
    MessageTexts texts;
    const int handle = mail.NMailPop3Connect(host.constData());
    if (handle < 0) {
        std::fprintf(stderr, "connect: %s\n", qPrintable(mail.lastMessage()));
        return false;
    }
    const int count = mail.NMailPop3Authenticate(handle, box.name, "pw", 0);
    if (count >= 0)
        fetchEveryMessage(mail, handle, count, texts);
    mail.NMailPop3Close(handle);
    if (count != box.count) {
        std::fprintf(stderr, "%s: the login gave %d, not %d\n", box.name, count, box.count);
        return false;
    }
    return true;
}

// Kept out of line so that callgrind can collect this call alone.
[[gnu::noinline]] bool profiledCheck(const QByteArray& host, const Mailbox& box)
{
    return check(host, box);
}

double timeCheck(const QByteArray& host, const Mailbox& box)
{
    QElapsedTimer clock;
    clock.start();
    if (!check(host, box))
        return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

// One curl process fetching every message of the mailbox over one connection.
double timeCurl(quint16 port, const Mailbox& box)
{
    QStringList args{QStringLiteral("-s"), QStringLiteral("-S"), QStringLiteral("-u"),
                     QString::fromLatin1(box.name) + QStringLiteral(":pw")};
    for (int i = 1; i <= box.count; ++i)
        args << QStringLiteral("pop3://127.0.0.1:%1/%2").arg(port).arg(i);
    QProcess curl;
    curl.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    curl.start(QStringLiteral("curl"), args);
    if (!curl.waitForFinished(600000) || curl.exitStatus() != QProcess::NormalExit ||
        curl.exitCode() != 0) {
        std::fprintf(stderr, "curl failed for %s: %s\n", box.name,
                     curl.readAllStandardError().constData());
        return -1;
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

bool times(const QByteArray& host, quint16 port)
{
    for (const Mailbox& box : {kBulk, kSmall}) {
        // Unrecorded: Dovecot builds its indexes, the page cache fills.
        if (timeCheck(host, box) < 0 || timeCurl(port, box) < 0)
            return false;
        double ours = 1e300;
        double curl = 1e300;
        for (int round = 0; round < kRounds; ++round) {
            const double c = timeCurl(port, box);
            const double o = timeCheck(host, box);
            if (c < 0 || o < 0)
                return false;
            curl = std::min(curl, c);
            ours = std::min(ours, o);
        }
        std::printf("check_%s_ms=%.1f\ncurl_%s_ms=%.1f\nratio_%s=%.3f\n", box.name, ours, box.name,
                    curl, box.name, ours / curl);
        std::fflush(stdout);
    }
    return true;
}

// Peak memory for one 50 MB message above the process just before it, after
// a first check has run every code path: for the whole check (its body
// buffer of 1 MiB included), and for the library's RETR alone into a buffer
// the caller already holds.
bool memory(const QByteArray& host)
{
    if (!check(host, kHuge))
        return false;
    resetPeak();
    qint64 idle = statusKib("VmRSS:");
    if (!check(host, kHuge))
        return false;
    std::printf("memory_50mb_kib=%lld\n", qlonglong(statusKib("VmHWM:") - idle));

    NMail mail;
    MessageTexts texts;
    const int handle = mail.NMailPop3Connect(host.constData());
    if (mail.NMailPop3Authenticate(handle, kHuge.name, "pw", 0) != 1)
        return false;
    std::vector<char> body(size_t(1) << 20, ' ');
    resetPeak();
    idle = statusKib("VmRSS:");
    const int got = mail.NMailPop3GetMail(handle, 1, texts.text1, texts.text2, texts.text3,
                                          texts.text4, body, 0, 0);
    std::printf("memory_50mb_library_kib=%lld\n", qlonglong(statusKib("VmHWM:") - idle));
    mail.NMailPop3Close(handle);
    return got == kHuge.bytes;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const Mailbox* once = nullptr;
    if (mode == "once" && argc > 2) {
        for (const Mailbox* box : {&kBulk, &kSmall})
            if (qstrcmp(argv[2], box->name) == 0)
                once = box;
    }
    if (!mode.isEmpty() && !once) {
        std::fprintf(stderr, "usage: %s [once 1000x50k|5000x2k]\n", argv[0]);
        return 2;
    }

    DovecotServer server;
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorText()));
        return 1;
    }
    for (const Mailbox& box : {kBulk, kSmall, kHuge}) {
        if (once && once->name != box.name)
            continue;
        server.addUser(QString::fromLatin1(box.name), "pw");
        for (int i = 1; i <= box.count; ++i)
            server.addMessage(QString::fromLatin1(box.name), makeMessage(i, box.bytes));
    }
    // Plain POP3, as curl speaks it: the server value that asks for no STLS.
    const QByteArray host = "pop3://127.0.0.1:" + QByteArray::number(server.plainPort());

    if (once) {
        // The first check lets Dovecot build its indexes and resolves the
        // library's first calls; the second is the one measured.
        if (!check(host, *once))
            return 1;
        return profiledCheck(host, *once) ? 0 : 1;
    }
    return times(host, server.plainPort()) && memory(host) ? 0 : 1;
}
