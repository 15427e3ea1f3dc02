// The POP3 client of the Windows build against the Linux Dovecot that
// pop3_dovecot.sh starts on loopback: a plain login, STLS with the server's
// certificate pinned after the first refusal, pop3s:// through Schannel, the
// pop3s port without a scheme, and a name whose first address (::1, where
// the script fills the backlog of a listener on the plain port) swallows
// connection attempts. Each must log in and find the three messages.
//   windows_pop3_client PLAIN-PORT TLS-PORT CA-FILE [swallowing]
// (the last word when the listener on ::1 is there).
// Prints one line per case; exits 0 when all pass.
#include "base/Cp932.h"
#include "mail/NMail.h"
#include "mail/UntrustedCertificate.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QSslCertificate>

#include <cstdio>

namespace {

int login(NMail& mail, const QString& server)
{
    const int handle = mail.NMailPop3Connect(Cp932::encode(server).constData());
    if (handle < 0)
        return handle;
    const int count = mail.NMailPop3Authenticate(handle, "alice", "secret", 0);
    mail.NMailPop3Close(handle);
    return count;
}

bool report(const char* what, int got)
{
    std::printf("%s: %s (%d)\n", got == 3 ? "ok" : "FAILED", what, got);
    return got == 3;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4 && args.size() != 5) {
        std::fprintf(stderr,
                     "usage: windows_pop3_client PLAIN-PORT TLS-PORT CA-FILE [swallowing]\n");
        return 2;
    }
    const QString plain = args[1];
    const QString tls = args[2];
    QFile caFile(args[3]);
    if (!caFile.open(QIODevice::ReadOnly))
        return 2;
    const QList<QSslCertificate> ca = QSslCertificate::fromData(caFile.readAll(), QSsl::Pem);
    // Plain text; STLS, whose certificate (from the test CA, which is not in
    // the system store) is refused before any password goes out and then
    // pinned; TLS from the first byte through Schannel with the test CA
    // handed over as well (Wine's certificate chain engine ignores such an
    // extra root, so there too the pin is what lets it in).
    // The pop3s port is the TLS listener's here, as 995 is elsewhere.
    const Pop3Host::Ports ports{110, quint16(tls.toUInt())};
    const struct
    {
        const char* what;
        QString server;
        bool mustBeRefused;
    } cases[] = {
        {"pop3:// plain text", QStringLiteral("pop3://127.0.0.1:") + plain, false},
        {"STLS, certificate pinned", QStringLiteral("127.0.0.1:") + plain, true},
        {"pop3s:// through Schannel", QStringLiteral("pop3s://localhost:") + tls, false},
        {"the pop3s port without a scheme", QStringLiteral("localhost:") + tls, false},
        {"a swallowing address passed over", QStringLiteral("pop3://kestrova.test:") + plain,
         false},
    };
    bool ok = true;
    for (const auto& c : cases) {
        if (c.server.contains(u"kestrova.test") && args.size() < 5)
            continue;
        NMail mail;
        mail.setTimeouts(10000, 10000);
        mail.addCaCertificates(ca);
        mail.setDefaultPorts(ports);
        mail.setResolver([](const QString& host) {
            return host == u"kestrova.test"
                       ? QList<QHostAddress>{QHostAddress(QStringLiteral("::1")),
                                             QHostAddress(QHostAddress::LocalHost)}
                       : Pop3Dialer::systemResolve(host);
        });
        int count = login(mail, c.server);
        const bool refused = count < 0 && mail.untrustedCertificate();
        if (refused) {
            mail.trustCertificate(*mail.untrustedCertificate());
            count = login(mail, c.server);
        }
        if (c.mustBeRefused && !refused)
            count = -100; // connected without asking about the certificate
        ok = report(c.what, count) && ok;
    }
    return ok ? 0 : 1;
}
