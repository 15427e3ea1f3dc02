#include "mail/CertificatePins.h"

#include "base/FileAccess.h"

#include <QList>
#include <QUrl>

namespace {

constexpr qsizetype kSha256Bytes = 32;
const QByteArray kHeader = "# Server certificates trusted for Kestrova: host, port, SHA-256\r\n";

// "host port": the part of a line that names the server.
QByteArray serverKey(const QString& host, quint16 port)
{
    // Different spellings of one name (upper case, full-width letters,
    // Unicode names) are one server.
    QByteArray name = QUrl::toAce(host);
    if (name.isEmpty())
        name = host.toUtf8(); // an address, or a name IDNA refuses
    return name.toLower() + ' ' + QByteArray::number(port);
}

struct Pin
{
    QByteArray key;
    QByteArray sha256;
};

// A line of the file as a pin; an empty key when it is not one.
Pin parseLine(QByteArrayView line)
{
    const QList<QByteArray> words = line.toByteArray().simplified().split(' ');
    if (words.size() != 3 || words[0].startsWith('#'))
        return {};
    bool portOk = false;
    const uint port = words[1].toUInt(&portOk);
    const QByteArray sha256 = QByteArray::fromHex(words[2]);
    if (!portOk || port == 0 || port > 65535 || sha256.size() != kSha256Bytes ||
        words[2].size() != 2 * kSha256Bytes)
        return {};
    return {words[0].toLower() + ' ' + QByteArray::number(port), sha256};
}

// Calls f for each line of the file's bytes (without its line end).
template <typename F> void forEachLine(QByteArrayView bytes, F f)
{
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        if (end < 0)
            end = bytes.size();
        if (end > start && bytes[end - 1] == '\r')
            --end;
        f(bytes.sliced(start, end - start));
        start = next;
    }
}

} // namespace

void CertificatePins::setFile(std::function<QString()> readPath, std::function<QString()> writePath)
{
    m_readPath = std::move(readPath);
    m_writePath = std::move(writePath);
}

QByteArray CertificatePins::pinned(const QString& host, quint16 port) const
{
    const QByteArray key = serverKey(host, port);
    // A pin made during this run that could not be stored is the latest word.
    if (const auto it = m_thisRun.find(key); it != m_thisRun.end())
        return it->second;
    const QString file = m_readPath ? m_readPath() : QString();
    if (file.isEmpty())
        return {};
    const FileAccess::ReadResult read = FileAccess::read(file);
    QByteArray found;
    forEachLine(read.bytes(), [&](QByteArrayView line) {
        const Pin pin = parseLine(line);
        if (pin.key == key)
            found = pin.sha256; // the last line for a server wins
    });
    return found;
}

bool CertificatePins::pin(const QString& host, quint16 port, const QByteArray& sha256)
{
    const QByteArray key = serverKey(host, port);
    const QString file = m_writePath ? m_writePath() : QString();
    bool stored = false;
    if (!file.isEmpty()) {
        const FileAccess::ReadResult read = FileAccess::read(file);
        // A file that exists but cannot be read is left alone rather than
        // replaced by one that would lose its pins.
        if (read.status() != FileAccess::ReadStatus::Unusable) {
            QByteArray kept = read.status() == FileAccess::ReadStatus::Missing ? kHeader : "";
            forEachLine(read.bytes(), [&](QByteArrayView line) {
                if (parseLine(line).key != key)
                    kept.append(line).append("\r\n");
            });
            const QByteArray added = key + ' ' + sha256.toHex() + "\r\n";
            stored = FileAccess::replace(file, {kept, added}, FileAccess::Access::Shared);
        }
    }
    if (stored)
        m_thisRun.erase(key);
    else
        m_thisRun[key] = sha256;
    return stored;
}
