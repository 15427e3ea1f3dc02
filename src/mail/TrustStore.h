#pragma once

#include <QList>
#include <QSslCertificate>

// The certificates a server's chain may end in: the system store, plus what
// OpenSSL's tools, curl and Python also trust when the variables are set:
//   SSL_CERT_FILE  a file of PEM certificates
//   SSL_CERT_DIR   folders (separated like PATH) of PEM files, e.g. a hashed
//                  folder made by c_rehash
// Qt reads only its fixed system folders, so these are loaded here. Anything
// that is not a readable regular file of PEM certificates is passed over.
namespace TrustStore {

QList<QSslCertificate> systemAndEnvironment();

// The values of the two variables, to tell when the list must be built again.
QByteArray environmentKey();

} // namespace TrustStore
