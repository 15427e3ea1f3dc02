// What decides whether a server's certificate is trusted, without a server:
// which pin belongs to which server, and which certificates may be offered
// for pinning at all.
#include "mail/CertificatePins.h"
#include "mail/UntrustedCertificate.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSslCertificate>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

QByteArray sha(const char* seed)
{
    return QCryptographicHash::hash(seed, QCryptographicHash::Sha256);
}

TEST(CertificatePins, APinHoldsForItsHostAndPortAndItsWholeDigestOnly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("certpins.txt"));
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("mail.example.net 995 " + sha("a").toHex() + "\r\n" + "mail.example.net 110 " +
                  sha("b").toHex() + "\r\n" +
                  // Half a digest is no pin.
                  "half.example.net 995 " + sha("c").toHex().left(32) + "\r\n");
    }
    CertificatePins pins;
    pins.setFile([&] { return file; }, [&] { return file; });

    struct Case
    {
        QString host;
        quint16 port;
        QByteArray expected;
    };
    const std::vector<Case> cases{
        {QStringLiteral("mail.example.net"), 995, sha("a")},
        {QStringLiteral("MAIL.example.net"), 995, sha("a")},
        {QStringLiteral("mail.example.net"), 110, sha("b")},
        {QStringLiteral("mail.example.net"), 996, {}},
        {QStringLiteral("mail.example.net"), 0, {}},
        {QStringLiteral("half.example.net"), 995, {}},
        {QStringLiteral("other.example.net"), 995, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pins.pinned(c.host, c.port), c.expected) << c.host.toStdString() << ' ' << c.port;

    // A pin kept for this run only is bound to its port just the same.
    CertificatePins thisRun;
    EXPECT_FALSE(thisRun.pin(QStringLiteral("mail.example.net"), 995, sha("a")));
    EXPECT_EQ(thisRun.pinned(QStringLiteral("mail.example.net"), 995), sha("a"));
    EXPECT_TRUE(thisRun.pinned(QStringLiteral("mail.example.net"), 110).isEmpty());
}

// A self-signed certificate of no server; only its presence matters here.
const QByteArray kCertificate = "-----BEGIN CERTIFICATE-----\n"
                                "MIIBkjCCATegAwIBAgIUIwB1yur6xSIuttfnD1PKzJ6dc9owCgYIKoZIzj0EAwIw\n"
                                "HTEbMBkGA1UEAwwScGlucy5rZXN0cm92YS10ZXN0MCAXDTI2MTIwODExMjczMloY\n"
                                "DzIxMjYxMTE0MTEyNzMyWjAdMRswGQYDVQQDDBJwaW5zLmtlc3Ryb3ZhLXRlc3Qw\n"
                                "WTATBgcqhkjOPQIBBggqhkjOPQMBBwNCAASHr4nBxIwjG3cqzMzm5fuN4F10PZph\n"
                                "4g6D3UUX1BP9nFgkuUamMHltJrWRFsU+dffrAWNwAWatcgoWuG/B7z7mo1MwUTAd\n"
                                "BgNVHQ4EFgQUbjsSCc7XBNSm19M0ExkZAyg8b84wHwYDVR0jBBgwFoAUbjsSCc7X\n"
                                "BNSm19M0ExkZAyg8b84wDwYDVR0TAQH/BAUwAwEB/zAKBggqhkjOPQQDAgNJADBG\n"
                                "AiEA629WuEqBVcRD3h0NK3ZXz8ga6yUlM85YdUJ4i2BviAQCIQCstkMauE92tpk6\n"
                                "/SndQGaaW+Q0zSy//LL/WUVfSO/KuQ==\n"
                                "-----END CERTIFICATE-----\n";

TEST(UntrustedCertificate, OnlyFaultsAUserCanVouchForAreOfferedForPinning)
{
    const QSslCertificate certificate(kCertificate);
    ASSERT_FALSE(certificate.isNull());
    using E = QSslError::SslError;
    struct Case
    {
        std::vector<E> errors;
        bool askable;
    };
    const std::vector<Case> cases{
        {{E::SelfSignedCertificate}, true},
        {{E::UnableToGetLocalIssuerCertificate, E::UnableToVerifyFirstCertificate}, true},
        {{E::HostNameMismatch, E::CertificateExpired}, true},
        // A broken signature is never the user's to accept, alone or beside
        // faults that would be.
        {{E::CertificateSignatureFailed}, false},
        {{E::SelfSignedCertificate, E::CertificateSignatureFailed}, false},
        {{E::CertificateSignatureFailed, E::HostNameMismatch}, false},
        {{E::CertificateRevoked, E::SelfSignedCertificate}, false},
        {{}, false},
    };
    for (const Case& c : cases) {
        QList<QSslError> errors;
        for (const E e : c.errors)
            errors.append(QSslError(e, certificate));
        EXPECT_EQ(UntrustedCertificate::isAskable(certificate, errors), c.askable)
            << testing::PrintToString(c.errors);
    }
    EXPECT_FALSE(UntrustedCertificate::isAskable(
        QSslCertificate(), {QSslError(E::SelfSignedCertificate, QSslCertificate())}));
}

} // namespace
