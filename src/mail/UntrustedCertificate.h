#pragma once

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

// A server certificate that did not verify and that the user may choose to
// trust for that server: what the question shows and what a pin needs.
struct UntrustedCertificate
{
    QString server; // the server value as the user wrote it
    QString host;
    quint16 port = 0;
    QSslCertificate certificate;
    QList<QSslError> errors;
    bool changed = false; // another certificate is trusted for this server

    // True when a user can vouch for the certificate: the only faults are
    // that nobody known signed it (self-signed, unknown issuer), that it names
    // another host, or that it is out of date. A broken signature, a revoked
    // or misused certificate, or no certificate at all is never asked about.
    static bool isAskable(const QSslCertificate& certificate, const QList<QSslError>& errors);

    QByteArray sha256() const;
    // Why it did not verify, one reason a line.
    QString reasons() const;
    // Subject, issuer, validity and SHA-256 fingerprint, one a line.
    QString details() const;
    // The whole question put to the user: whether to trust this certificate
    // for this server from now on.
    QString question() const;
};
