// The Windows half of FileAccess: the system's wide-character file
// functions, with retries while another program holds a file open.
#include "base/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace FileAccess {

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

// Creates a new file beside target, under the first name of temporaryName
// that nothing stands at; gives its handle. CREATE_NEW refuses whatever is
// already there.
HANDLE createTemporary(const QString& target, const TemporaryName& temporaryName, QString& name)
{
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = info.absolutePath() + u'/' + temporaryName(info.fileName(), attempt);
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
bool replace(const QString& path, std::initializer_list<QByteArrayView> parts, Access,
             const TemporaryName& temporaryName)
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
    Handle temp(createTemporary(target, temporaryName, tempName));
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

} // namespace FileAccess
