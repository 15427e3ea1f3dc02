#include "mail/UntrustedCertificate.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QStringList>

namespace {

// The reason for one error, or empty for an error the user cannot vouch for.
QString reasonFor(QSslError::SslError error, const QString& host)
{
    switch (error) {
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
        return QStringLiteral("自己署名の証明書で、信頼できる認証局の署名がありません。");
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
    case QSslError::InvalidCaCertificate:
        return QStringLiteral("発行者が信頼できる認証局として登録されていません。");
    case QSslError::HostNameMismatch:
        return QStringLiteral("証明書が「%1」のものではありません。").arg(host);
    case QSslError::CertificateExpired:
        return QStringLiteral("証明書の有効期限が切れています。");
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("証明書の有効期間がまだ始まっていません。");
    default:
        return {};
    }
}

// "CN=..., O=..." in the certificate's own order.
QString distinguishedName(const QSslCertificate& certificate, bool issuer)
{
    QStringList parts;
    const QList<QByteArray> attributes =
        issuer ? certificate.issuerInfoAttributes() : certificate.subjectInfoAttributes();
    for (const QByteArray& attribute : attributes) {
        const QStringList values =
            issuer ? certificate.issuerInfo(attribute) : certificate.subjectInfo(attribute);
        for (const QString& value : values)
            parts.append(QString::fromLatin1(attribute) + u'=' + value);
    }
    return parts.isEmpty() ? QStringLiteral("(なし)") : parts.join(QStringLiteral(", "));
}

QString localTime(const QDateTime& time)
{
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm"))
                          : QStringLiteral("(不明)");
}

} // namespace

bool UntrustedCertificate::isAskable(const QSslCertificate& certificate,
                                     const QList<QSslError>& errors)
{
    if (certificate.isNull() || errors.isEmpty())
        return false;
    for (const QSslError& error : errors) {
        if (reasonFor(error.error(), QString()).isEmpty())
            return false;
    }
    return true;
}

QByteArray UntrustedCertificate::sha256() const
{
    return certificate.digest(QCryptographicHash::Sha256);
}

QString UntrustedCertificate::reasons() const
{
    QStringList lines;
    for (const QSslError& error : errors) {
        QString reason = reasonFor(error.error(), host);
        if (reason.isEmpty())
            reason = error.errorString();
        if (!lines.contains(reason))
            lines.append(reason);
    }
    return lines.join(u'\n');
}

QString UntrustedCertificate::details() const
{
    const QByteArray hex = sha256().toHex(':').toUpper();
    // 32 bytes as two lines of 16, easier to compare by eye.
    const QString fingerprint =
        QString::fromLatin1(hex.left(47)) + u'\n' + QString::fromLatin1(hex.mid(48));
    return QStringLiteral("発行先: %1\n発行者: %2\n有効期間: %3 から %4 まで\n"
                          "SHA-256 フィンガープリント:\n%5")
        .arg(distinguishedName(certificate, false), distinguishedName(certificate, true),
             localTime(certificate.effectiveDate()), localTime(certificate.expiryDate()),
             fingerprint);
}

QString UntrustedCertificate::question() const
{
    const QString opening =
        changed ? QStringLiteral("POP3 サーバー「%1」の証明書が、前回信頼した証明書から"
                                 "変わっています。")
                : QStringLiteral("POP3 サーバー「%1」の証明書を確認できませんでした。");
    return opening.arg(server) + u'\n' + reasons() + QStringLiteral("\n\n") + details() +
           QStringLiteral("\n\nこのサーバーについて、今後この証明書を信頼しますか？\n"
                          "「いいえ」を選ぶと、パスワードを送らずにチェックを終えます。");
}
