#include "settings/FileAccess.h"

#include <QFile>
#include <QFileInfo>

#ifdef _WIN32
#include <QSaveFile>
#else
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace FileAccess {

namespace {

// Smaller files are copied into memory: a copy cannot be cut short under us
// the way a mapping of a file that another program truncates can.
constexpr qint64 kMapFrom = 1 << 20;

} // namespace

ReadResult::~ReadResult() = default;

QByteArrayView ReadResult::bytes() const
{
    if (m_map)
        return QByteArrayView(m_map, m_mapSize);
    return m_buffer;
}

ReadResult read(const QString& path)
{
    ReadResult result;
    const QFileInfo info(path);
    if (!info.exists())
        return result;
    result.m_status = ReadStatus::Unusable;
    if (!info.isFile())
        return result;
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return result;
    const qint64 size = file->size();
    if (size >= kMapFrom) {
        if (const uchar* map = file->map(0, size)) {
            result.m_map = map;
            result.m_mapSize = qsizetype(size);
            result.m_mapped = std::move(file);
            result.m_status = ReadStatus::Read;
            return result;
        }
    }
    result.m_buffer = file->readAll();
    if (file->error() == QFileDevice::NoError)
        result.m_status = ReadStatus::Read;
    else
        result.m_buffer.clear();
    return result;
}

namespace {

// The file that a write to path replaces: the target of a symbolic link,
// else path itself.
QString writeTarget(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.canonicalFilePath();
        if (!target.isEmpty())
            return target;
    }
    return path;
}

} // namespace

#ifdef _WIN32

bool replace(const QString& path, std::initializer_list<QByteArrayView> parts, Access)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return false;
    QSaveFile file(writeTarget(path));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const QByteArrayView part : parts) {
        if (file.write(part.data(), part.size()) != part.size()) {
            file.cancelWriting();
            return false;
        }
    }
    return file.commit();
}

#else

namespace {

bool writeAll(int fd, QByteArrayView data)
{
    const char* p = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(std::min<qsizetype>(left, qsizetype(1) << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// Creates a new file with a random name beside target; returns its fd or -1.
int createTemporary(const QByteArray& target, mode_t mode, QByteArray& name)
{
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + '.';
        for (int i = 0; i < 6; ++i)
            name.append(kChars[QRandomGenerator::global()->bounded(int(sizeof kChars - 1))]);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void syncFolderOf(const QString& target)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

bool replace(const QString& path, std::initializer_list<QByteArrayView> parts, Access access)
{
    const QString target = writeTarget(path);
    const QByteArray targetName = QFile::encodeName(target);
    struct stat old = {};
    const bool exists = ::stat(targetName.constData(), &old) == 0;
    // A read-only file stays as it is, as on Windows, where its read-only
    // attribute stops even an administrator: no write bit at all, or none for us.
    if (exists && (!S_ISREG(old.st_mode) || (old.st_mode & 0222) == 0 ||
                   ::access(targetName.constData(), W_OK) != 0))
        return false;

    // A secret file is created owner-only, so not one byte of it is ever
    // readable by others; the umask still applies to a new shared file.
    const bool ownerOnly = access == Access::OwnerOnly;
    QByteArray tempName;
    const int fd = createTemporary(targetName, ownerOnly ? 0600 : 0666, tempName);
    if (fd < 0)
        return false;

    bool ok = true;
    if (ownerOnly)
        ok = ::fchmod(fd, 0600) == 0; // exact, whatever the umask
    else if (exists)
        ok = ::fchmod(fd, old.st_mode & 0777) == 0; // the replaced file's mode

    for (auto it = parts.begin(); ok && it != parts.end(); ++it)
        ok = writeAll(fd, *it);
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(tempName.constData(), targetName.constData()) == 0;
    if (!ok) {
        ::unlink(tempName.constData());
        return false;
    }
    syncFolderOf(target);
    return true;
}

#endif

} // namespace FileAccess
