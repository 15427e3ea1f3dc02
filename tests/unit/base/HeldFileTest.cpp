// Saving over a settings file that another program holds open, on Windows,
// where a rename over an open file is refused unless its opener shares its
// deletion. Each case opens the file the way such a program would, and
// checks what the save reports, the bytes on disk, and that no temporary
// file is left beside it. The names carry ★ and kanji, so the wide-character
// file functions are used all the way.
#include "base/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

using namespace Qt::StringLiterals;

namespace {

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : "<missing>";
}

TEST(HeldFile, SaveWaitsForOrWritesAroundAnotherProgram)
{
    constexpr DWORD kRead = FILE_SHARE_READ;
    constexpr DWORD kReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
    constexpr DWORD kAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const struct
    {
        const char* holder;
        DWORD share;   // the other program's sharing
        int letGoMs;   // when it closes the file; -1: only after the save
        bool readOnly; // the file's read-only attribute
        bool saved;
    } cases[] = {
        {"a scanner that shares nothing but reading, briefly", kRead, 200, false, true},
        {"an editor that shares reading and writing", kReadWrite, -1, false, true},
        {"a program that shares everything", kAll, -1, false, true},
        {"a program that shares only reading, for longer than a save waits", kRead, -1, false,
         false},
        {"nobody, but the file is read-only", 0, 0, true, false},
    };
    const QByteArray before = "[EXEINI]\r\nNAME=old value\r\n";
    const QByteArray after = "[EXEINI]\r\nNAME=new\r\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.holder);
        QTemporaryDir root;
        ASSERT_TRUE(root.isValid());
        const QString folder = root.path() + u"/★MailData"_s;
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString path = folder + u"/設定★.ini"_s;
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(before);
        }
        const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
        if (c.readOnly) {
            ASSERT_TRUE(SetFileAttributesW(native.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.letGoMs != 0) {
            held = CreateFileW(native.c_str(), GENERIC_READ, c.share, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        }
        std::jthread letGo;
        if (c.letGoMs > 0) {
            letGo = std::jthread([&] {
                Sleep(DWORD(c.letGoMs));
                CloseHandle(held);
            });
        }
        const bool saved =
            FileAccess::replace(path, {after.first(10), after.sliced(10)}, FileAccess::Access::Shared);
        if (letGo.joinable())
            letGo.join();
        else if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        EXPECT_EQ(saved, c.saved);
        EXPECT_EQ(contentOf(path), c.saved ? after : before);
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                         QDir::NoDotAndDotDot),
                  QStringList{u"設定★.ini"_s});
        if (c.readOnly)
            SetFileAttributesW(native.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

} // namespace
