// The POSIX half of FileAccess: descriptors, fstat checks against a file
// that changes under us, and renames within the target's folder.
#include "base/FileAccess.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileAccess {

namespace {

// Closes a descriptor when it goes out of scope.
class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    // Closes now, reporting a failed close (a write the disk refused late).
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool unchanged(const struct stat& a, const struct stat& b)
{
    return sameFile(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Reads up to size bytes from offset; gives the count read (short at the
// end of the file), or -1 on an error.
qint64 readAt(int fd, char* data, qint64 size, qint64 offset)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, data + done, size_t(std::min<qint64>(size - done, 1 << 30)),
                                  off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

bool writeAt(int fd, QByteArrayView data, qint64 offset)
{
    const char* p = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n =
            ::pwrite(fd, p, size_t(std::min<qsizetype>(left, qsizetype(1) << 30)), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
        offset += n;
    }
    return true;
}

bool writeParts(int fd, std::initializer_list<QByteArrayView> parts)
{
    qint64 offset = 0;
    for (const QByteArrayView part : parts) {
        if (!writeAt(fd, part, offset))
            return false;
        offset += part.size();
    }
    return true;
}

// The file a write to a path goes to: its folder and its name there.
struct Target
{
    QByteArray folder;
    QByteArray name;
    std::optional<struct stat> linked; // the file a symbolic link led to
};

Target split(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return {".", path, std::nullopt};
    return {slash == 0 ? QByteArray("/") : path.first(slash), path.sliced(slash + 1), std::nullopt};
}

// path itself when it is a regular file or nothing; the end of a symbolic
// link when that is a regular file of ours; nullopt for anything else.
std::optional<Target> writeTarget(const QByteArray& path)
{
    struct stat st = {};
    if (::lstat(path.constData(), &st) != 0)
        return errno == ENOENT ? std::optional(split(path)) : std::nullopt;
    if (S_ISREG(st.st_mode))
        return split(path);
    if (!S_ISLNK(st.st_mode))
        return std::nullopt;
    char* resolved = ::realpath(path.constData(), nullptr); // every link on the way
    if (!resolved)
        return std::nullopt; // leads nowhere, or round in a circle
    const QByteArray end(resolved);
    std::free(resolved);
    if (::stat(end.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return std::nullopt;
    Target target = split(end);
    target.linked = st;
    return target;
}

// Creates a new file in the folder dir, under the first name of temporaryName
// that nothing stands at; returns its fd or -1. O_EXCL refuses any file or
// link already there (a link is never followed, even one leading nowhere).
int createTemporary(int dir, const QByteArray& target, mode_t mode,
                    const TemporaryName& temporaryName, QByteArray& name)
{
    const QString targetName = QFile::decodeName(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = QFile::encodeName(temporaryName(targetName, attempt));
        const int fd = ::openat(dir, name.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

enum class Outcome { Done, Failed, CannotMakeItSo };

// Writes a new file beside the old one and renames it over it. Gives
// CannotMakeItSo, with nothing changed, when the folder does not let us
// create the file or the new file could not have the old one's owner.
Outcome replaceByRename(int dir, const Target& target, const struct stat* old, mode_t mode,
                        std::initializer_list<QByteArrayView> parts,
                        const TemporaryName& temporaryName)
{
    QByteArray tempName;
    // A new file is made owner-only first, so not one byte of it is ever
    // readable by others before its final owner and mode are set; a new
    // shared file gets 0666 less the umask.
    Fd fd(createTemporary(dir, target.name, old ? 0600 : mode, temporaryName, tempName));
    if (fd.get() < 0)
        return errno == EACCES || errno == EPERM || errno == EROFS ? Outcome::CannotMakeItSo
                                                                   : Outcome::Failed;
    Outcome outcome = Outcome::Failed;
    bool ok = true;
    if (old) {
        struct stat now = {};
        ok = ::fstat(fd.get(), &now) == 0;
        if (ok && (now.st_uid != old->st_uid || now.st_gid != old->st_gid) &&
            ::fchown(fd.get(), old->st_uid, old->st_gid) != 0) {
            ok = false;
            outcome = Outcome::CannotMakeItSo; // someone else's file, and we are not root
        }
        ok = ok && ::fchmod(fd.get(), mode) == 0; // after fchown, which may clear mode bits
    } else if (mode == 0600) {
        ok = ::fchmod(fd.get(), mode) == 0; // exact, whatever the umask
    }
    ok = ok && writeParts(fd.get(), parts) && ::fsync(fd.get()) == 0;
    ok = fd.close() && ok;
    if (ok && ::renameat(dir, tempName.constData(), dir, target.name.constData()) != 0) {
        ok = false;
        if (errno == EPERM || errno == EACCES)
            outcome = Outcome::CannotMakeItSo; // a sticky folder guards someone else's file
    }
    if (!ok) {
        ::unlinkat(dir, tempName.constData(), 0);
        return outcome;
    }
    ::fsync(dir);
    return Outcome::Done;
}

// Rewrites the existing file itself: not atomic, but it keeps owner, group and
// mode by nature. Room for the new size is claimed before the first byte is
// written, so a full disk leaves the old content whole.
bool rewriteInPlace(int dir, const Target& target, const struct stat& old, bool ownerOnly,
                    std::initializer_list<QByteArrayView> parts)
{
    Fd fd(::openat(dir, target.name.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st = {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || !sameFile(st, old))
        return false;
    // A secret is never written into a file that others may read.
    if (ownerOnly && (st.st_mode & 077) != 0 && ::fchmod(fd.get(), st.st_mode & 0600) != 0)
        return false;
    qint64 size = 0;
    for (const QByteArrayView part : parts)
        size += part.size();
#ifdef Q_OS_LINUX
    if (size > st.st_size && ::fallocate(fd.get(), 0, 0, off_t(size)) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS)
        return false;
#endif
    const bool ok = writeParts(fd.get(), parts) && ::ftruncate(fd.get(), off_t(size)) == 0 &&
                    ::fsync(fd.get()) == 0;
    return fd.close() && ok;
}

} // namespace

ReadResult read(const QString& path)
{
    ReadResult result;
    // O_NONBLOCK: opening a FIFO must not wait for a writer; fstat then
    // turns it away like any other non-regular file.
    Fd fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            result.m_status = ReadStatus::Unusable;
        return result;
    }
    result.m_status = ReadStatus::Unusable;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        struct stat before = {};
        if (::fstat(fd.get(), &before) != 0 || !S_ISREG(before.st_mode) ||
            before.st_size > kMaxFileSize)
            return result;
        QByteArray bytes(qsizetype(before.st_size), Qt::Uninitialized);
        const qint64 got = readAt(fd.get(), bytes.data(), before.st_size, 0);
        char extra;
        const qint64 more = got < 0 ? -1 : readAt(fd.get(), &extra, 1, got);
        struct stat after = {};
        if (got < 0 || more < 0 || ::fstat(fd.get(), &after) != 0)
            return result;
        if (got == before.st_size && more == 0 && unchanged(before, after)) {
            result.m_bytes = std::move(bytes);
            result.m_status = ReadStatus::Read;
            return result;
        }
    }
    return result;
}

bool replace(const QString& path, std::initializer_list<QByteArrayView> parts, Access access,
             const TemporaryName& temporaryName)
{
    const std::optional<Target> target = writeTarget(QFile::encodeName(path));
    if (!target)
        return false;
    Fd dir(::open(target->folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return false;
    struct stat old = {};
    const bool exists =
        ::fstatat(dir.get(), target->name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && (errno != ENOENT || target->linked))
        return false;
    if (exists) {
        // A link's end must still be the file we checked. A read-only file
        // stays as it is, as on Windows, where its read-only attribute stops
        // even an administrator: no write bit at all, or none for us.
        if (!S_ISREG(old.st_mode) || (target->linked && !sameFile(old, *target->linked)) ||
            (old.st_mode & 0222) == 0 ||
            ::faccessat(dir.get(), target->name.constData(), W_OK, AT_EACCESS) != 0)
            return false;
    }
    const bool ownerOnly = access == Access::OwnerOnly;
    mode_t mode = exists ? old.st_mode & 0777 : 0666;
    if (ownerOnly)
        mode = exists ? mode & 0600 : 0600;

    switch (
        replaceByRename(dir.get(), *target, exists ? &old : nullptr, mode, parts, temporaryName)) {
    case Outcome::Done:
        return true;
    case Outcome::Failed:
        return false;
    case Outcome::CannotMakeItSo:
        return exists && rewriteInPlace(dir.get(), *target, old, ownerOnly, parts);
    }
    return false;
}

} // namespace FileAccess
