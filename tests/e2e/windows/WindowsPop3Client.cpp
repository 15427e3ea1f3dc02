// The POP3 client of the Windows build against the Linux Dovecot that
// pop3_dovecot.sh starts on loopback: a plain login, STLS with the server's
// certificate pinned after the first refusal, and pop3s:// through Schannel.
// Each must log in and find the three messages.
//   windows_pop3_client PLAIN-PORT TLS-PORT CA-FILE
// Prints one line per case; exits 0 when all pass.
#include "base/Cp932.h"
#include "mail/NMail.h"
#include "mail/UntrustedCertificate.h"

#include <QCoreApplication>
#include <QFile>
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
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: windows_pop3_client PLAIN-PORT TLS-PORT CA-FILE\n");
        return 2;
    }
    const QString plain = args[1];
    const QString tls = args[2];
    QFile caFile(args[3]);
    if (!caFile.open(QIODevice::ReadOnly))
        return 2;
    const QList<QSslCertificate> ca = QSslCertificate::fromData(caFile.readAll(), QSsl::Pem);
    bool ok = true;

    {
        NMail mail;
        mail.setTimeouts(10000, 10000);
        ok = report("pop3:// plain text", login(mail, QStringLiteral("pop3://127.0.0.1:") + plain)) && ok;
    }
    {
        // The test CA is not in the system store: the first connection is
        // refused before any password goes out, and offers the certificate.
        NMail mail;
        mail.setTimeouts(10000, 10000);
        const QString server = QStringLiteral("127.0.0.1:") + plain;
        const int refused = login(mail, server);
        const UntrustedCertificate* offered = mail.untrustedCertificate();
        std::printf("%s: STLS refused an unknown certificate (%d)\n",
                    refused < 0 && offered ? "ok" : "FAILED", refused);
        ok = refused < 0 && offered && ok;
        if (offered) {
            mail.trustCertificate(*offered);
            ok = report("STLS with the certificate pinned", login(mail, server)) && ok;
        }
    }
    {
        // TLS from the first byte through Schannel. The test CA is handed to
        // the client as well; Wine's certificate chain engine ignores such an
        // extra root, so there the pin is what lets it in.
        NMail mail;
        mail.setTimeouts(10000, 10000);
        mail.addCaCertificates(ca);
        const QString server = QStringLiteral("pop3s://localhost:") + tls;
        int count = login(mail, server);
        if (count < 0 && mail.untrustedCertificate()) {
            std::printf("note: pop3s:// not verified against the added CA; pinning\n");
            mail.trustCertificate(*mail.untrustedCertificate());
            count = login(mail, server);
        }
        ok = report("pop3s:// through Schannel", count) && ok;
    }
    return ok ? 0 : 1;
}
