#include "base/FileAccess.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>

#ifdef _WIN32
#include <QDir>

#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace FileAccess {

namespace {

// A file that changes under every one of these reads is given up on.
constexpr int kReadAttempts = 4;

} // namespace

#ifdef _WIN32

namespace {

// The wide-character name of path for the system's file functions, with
// Windows' separators; ★ and Japanese names pass through unchanged.
std::wstring nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// Closes a handle when it goes out of scope.
class Handle
{
public:
    explicit Handle(HANDLE h) : m_h(h) {}
    ~Handle()
    {
        if (valid())
            CloseHandle(m_h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_h; }
    bool valid() const { return m_h != INVALID_HANDLE_VALUE; }
    // Closes now, reporting a failed close.
    bool close()
    {
        const HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return CloseHandle(h) != 0;
    }

private:
    HANDLE m_h;
};

bool writeParts(HANDLE file, std::initializer_list<QByteArrayView> parts)
{
    for (const QByteArrayView part : parts) {
        const char* p = part.data();
        qsizetype left = part.size();
        while (left > 0) {
            const DWORD chunk = DWORD(std::min<qsizetype>(left, qsizetype(1) << 30));
            DWORD written = 0;
            if (!WriteFile(file, p, chunk, &written, nullptr) || written == 0)
                return false;
            p += written;
            left -= written;
        }
    }
    return true;
}

// Another program holding the file open without sharing its deletion (an
// editor, a virus scanner, the indexer) makes a replace fail with one of
// these until it lets go.
bool heldByAnother(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
}

// How long a save waits for such a program: scanners let go within a few
// tens of milliseconds.
constexpr int kRenameAttempts = 20;
constexpr DWORD kRenamePauseMs = 50;

// Creates a new file with a random name beside target; gives its handle.
HANDLE createTemporary(const QString& target, QString& name)
{
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = info.absolutePath() + QStringLiteral("/.") + info.fileName() + u'.' +
               QString::number(QRandomGenerator::global()->generate(), 36);
        const HANDLE h = CreateFileW(nativePath(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return h;
    }
    return INVALID_HANDLE_VALUE;
}

// Rewrites the existing file itself, where another program holds it open
// but shares writing: room for the new size is claimed first, so a full disk
// leaves the old content whole; then the data, the new end and a flush.
bool rewriteInPlace(const QString& target, std::initializer_list<QByteArrayView> parts)
{
    Handle file(CreateFileW(nativePath(target).c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER old = {};
    if (!file.valid() || !GetFileSizeEx(file.get(), &old))
        return false;
    LARGE_INTEGER size = {};
    for (const QByteArrayView part : parts)
        size.QuadPart += part.size();
    const LARGE_INTEGER start = {};
    if (size.QuadPart > old.QuadPart &&
        (!SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get())))
        return false;
    const bool ok = SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) &&
                    writeParts(file.get(), parts) && SetEndOfFile(file.get()) &&
                    FlushFileBuffers(file.get());
    return file.close() && ok;
}

} // namespace

ReadResult read(const QString& path)
{
    ReadResult result;
    const QFileInfo info(path);
    if (!info.exists())
        return result;
    result.m_status = ReadStatus::Unusable;
    if (!info.isFile())
        return result;
    // Shares everything, so that reading never stops another program (or a
    // save of ours) from writing, renaming or deleting the file.
    Handle file(CreateFileW(nativePath(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return result;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        LARGE_INTEGER before = {};
        FILETIME written = {};
        if (!GetFileSizeEx(file.get(), &before) || before.QuadPart > kMaxFileSize ||
            !GetFileTime(file.get(), nullptr, nullptr, &written))
            return result;
        QByteArray bytes(qsizetype(before.QuadPart), Qt::Uninitialized);
        const LARGE_INTEGER start = {};
        if (!SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN))
            return result;
        qint64 got = 0;
        bool ok = true;
        while (ok && got < before.QuadPart) {
            DWORD n = 0;
            ok = ReadFile(file.get(), bytes.data() + got,
                          DWORD(std::min<qint64>(before.QuadPart - got, qint64(1) << 30)), &n,
                          nullptr);
            if (n == 0)
                break;
            got += n;
        }
        char extra;
        DWORD more = 0;
        ok = ok && ReadFile(file.get(), &extra, 1, &more, nullptr);
        LARGE_INTEGER after = {};
        FILETIME writtenAfter = {};
        if (!ok || !GetFileSizeEx(file.get(), &after) ||
            !GetFileTime(file.get(), nullptr, nullptr, &writtenAfter))
            return result;
        if (got == before.QuadPart && more == 0 && after.QuadPart == before.QuadPart &&
            CompareFileTime(&written, &writtenAfter) == 0) {
            result.m_bytes = std::move(bytes);
            result.m_status = ReadStatus::Read;
            return result;
        }
    }
    return result;
}

// Windows keeps no owner we could lose here, and only an administrator makes
// symbolic links: a link is followed when it leads to a regular file. A new
// file takes the access list of its folder (the user's own for the per-user
// data folder).
bool replace(const QString& path, std::initializer_list<QByteArrayView> parts, Access)
{
    const QFileInfo info(path);
    QString target = path;
    if (info.isSymLink()) {
        target = info.canonicalFilePath();
        if (target.isEmpty() || !QFileInfo(target).isFile())
            return false;
    } else if (info.exists() && !info.isFile()) {
        return false;
    }
    const std::wstring native = nativePath(target);
    const DWORD attributes = GetFileAttributesW(native.c_str());
    // A read-only file is left alone, as Windows' own profile functions do.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    if (!QFileInfo(info.absolutePath()).isDir())
        return false;

    QString tempName;
    Handle temp(createTemporary(target, tempName));
    if (!temp.valid())
        return false;
    const std::wstring nativeTemp = nativePath(tempName);
    bool ok = writeParts(temp.get(), parts) && FlushFileBuffers(temp.get());
    ok = temp.close() && ok;
    bool held = false;
    for (int attempt = 0; ok && attempt < kRenameAttempts; ++attempt) {
        if (attempt > 0)
            Sleep(kRenamePauseMs);
        if (MoveFileExW(nativeTemp.c_str(), native.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        held = heldByAnother(GetLastError());
        if (!held)
            break;
    }
    DeleteFileW(nativeTemp.c_str());
    // Still held: a program that shares writing (most editors and scanners
    // do) lets the file be rewritten where it is.
    return ok && held && attributes != INVALID_FILE_ATTRIBUTES && rewriteInPlace(target, parts);
}

#else

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

// Creates a new file with a random name in the folder dir; returns its fd or -1.
int createTemporary(int dir, const QByteArray& target, mode_t mode, QByteArray& name)
{
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = '.' + target + '.';
        for (int i = 0; i < 6; ++i)
            name.append(kChars[QRandomGenerator::global()->bounded(int(sizeof kChars - 1))]);
        const int fd =
            ::openat(dir, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
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
                        std::initializer_list<QByteArrayView> parts)
{
    QByteArray tempName;
    // A new file is made owner-only first, so not one byte of it is ever
    // readable by others before its final owner and mode are set; a new
    // shared file gets 0666 less the umask.
    Fd fd(createTemporary(dir, target.name, old ? 0600 : mode, tempName));
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
#ifdef __linux__
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

bool replace(const QString& path, std::initializer_list<QByteArrayView> parts, Access access)
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

    switch (replaceByRename(dir.get(), *target, exists ? &old : nullptr, mode, parts)) {
    case Outcome::Done:
        return true;
    case Outcome::Failed:
        return false;
    case Outcome::CannotMakeItSo:
        return exists && rewriteInPlace(dir.get(), *target, old, ownerOnly, parts);
    }
    return false;
}

#endif

} // namespace FileAccess
