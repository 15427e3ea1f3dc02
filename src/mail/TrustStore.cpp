#include "mail/TrustStore.h"

#include "base/FileAccess.h"

#include <QDir>
#include <QFileInfo>
#include <QSslConfiguration>

namespace {

// A CA bundle is a few hundred KiB; past this a file is not one.
constexpr qsizetype kMaxFileBytes = 16 * 1024 * 1024;
// More files than any certificate folder holds.
constexpr int kMaxFilesPerFolder = 20000;

QList<QSslCertificate> pemFile(const QString& path)
{
    if (path.isEmpty())
        return {};
    const FileAccess::ReadResult file = FileAccess::read(path);
    if (file.status() != FileAccess::ReadStatus::Read || file.bytes().size() > kMaxFileBytes)
        return {};
    return QSslCertificate::fromData(file.bytes().toByteArray(), QSsl::Pem);
}

QList<QSslCertificate> pemFolder(const QString& folder)
{
    QList<QSslCertificate> certificates;
    if (folder.isEmpty())
        return certificates;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    int seen = 0;
    for (const QFileInfo& entry : entries) {
        if (++seen > kMaxFilesPerFolder)
            break;
        certificates += pemFile(entry.filePath());
    }
    return certificates;
}

} // namespace

namespace TrustStore {

QByteArray environmentKey()
{
    return qgetenv("SSL_CERT_FILE") + '\0' + qgetenv("SSL_CERT_DIR");
}

QList<QSslCertificate> systemAndEnvironment()
{
    QList<QSslCertificate> certificates = QSslConfiguration::systemCaCertificates();
    certificates += pemFile(qEnvironmentVariable("SSL_CERT_FILE"));
    const QString folders = qEnvironmentVariable("SSL_CERT_DIR");
    for (const QString& folder : folders.split(QDir::listSeparator(), Qt::SkipEmptyParts))
        certificates += pemFolder(folder);
    return certificates;
}

} // namespace TrustStore
