#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <map>

// The server certificates the user chose to trust (はい to a check's
// certificate question), one per server (host and port), each remembered by
// the SHA-256 of the certificate.
//
// They live in a small text file of their own in the data folder, beside the
// settings files and never mixed into them:
//
//   # comment
//   <host> <port> <SHA-256 in hex>
//
// The host is kept in its ASCII form, lower case. The file is read afresh at
// every look-up and replaced atomically at every change; lines that are not
// pins are kept as they are. When the file cannot be written (no data folder,
// a read-only folder), a pin lasts for this run only.
class CertificatePins
{
public:
    static constexpr const char* kFileName = "certpins.txt";

    // readPath gives the file's full path for a look-up, writePath where a
    // change is read, made and replaced (the data folder may put the two in
    // different places); both are asked at each use. Without them, pins last
    // for this run only.
    void setFile(std::function<QString()> readPath, std::function<QString()> writePath);

    // The pinned SHA-256 (raw bytes) for the server, or empty.
    QByteArray pinned(const QString& host, quint16 port) const;
    // Pins the certificate with this SHA-256 for the server, replacing an
    // earlier pin. Returns true when it was stored in the file, false when it
    // holds for this run only.
    bool pin(const QString& host, quint16 port, const QByteArray& sha256);

private:
    std::function<QString()> m_readPath;
    std::function<QString()> m_writePath;
    std::map<QByteArray, QByteArray> m_thisRun; // server key -> SHA-256
};
