// Settings files in awkward places: symbolic links, files of other users,
// folders we may not write, a full disk, a file changing while it is read.
// Each case checks the exact bytes, owner and mode on disk afterwards. Cases
// that need a second user or a mount run only as root and say so otherwise.
#include "SettingsTestSupport.h"

#include "base/FileAccess.h"

#include <QFileInfo>

#ifndef Q_OS_WIN
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <thread>
#endif

using namespace Qt::StringLiterals;

namespace {

#ifndef Q_OS_WIN

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

struct stat statOf(const QString& path)
{
    struct stat st = {};
    if (::lstat(native(path).constData(), &st) != 0)
        st.st_mode = 0;
    return st;
}

// Owner, group and permission bits, for comparing in one assertion.
std::tuple<uid_t, gid_t, mode_t> ownership(const QString& path)
{
    const struct stat st = statOf(path);
    return {st.st_uid, st.st_gid, st.st_mode & 07777};
}

bool isRoot()
{
    return ::geteuid() == 0;
}

// Runs a scope as the user nobody (root only), and back.
class AsNobody
{
public:
    AsNobody()
    {
        EXPECT_EQ(::setegid(kNogroup), 0);
        EXPECT_EQ(::seteuid(kNobody), 0);
    }
    ~AsNobody()
    {
        EXPECT_EQ(::seteuid(0), 0);
        EXPECT_EQ(::setegid(0), 0);
    }
    AsNobody(const AsNobody&) = delete;
    AsNobody& operator=(const AsNobody&) = delete;
};

class FileSituation : public SettingsTest
{
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        // Let another user walk down to the data folder.
        for (const QString& folder : {m_root.path(), exeFolder(), dataFolder()})
            ASSERT_EQ(::chmod(native(folder).constData(), 0755), 0);
    }
    void TearDown() override
    {
        ::chmod(native(dataFolder()).constData(), 0755);
        if (m_mounted)
            ::umount2(native(dataFolder()).constData(), MNT_DETACH);
    }

    void chown(const QString& path, uid_t uid, gid_t gid)
    {
        ASSERT_EQ(::lchown(native(path).constData(), uid, gid), 0);
    }
    void chmod(const QString& path, mode_t mode)
    {
        ASSERT_EQ(::chmod(native(path).constData(), mode), 0);
    }
    // A small tmpfs as the data folder; false when mounting is not allowed.
    bool mountSmallDisk(const char* size)
    {
        const QByteArray options = "size=" + QByteArray(size) + ",mode=0755";
        m_mounted = ::mount("tmpfs", native(dataFolder()).constData(), "tmpfs", 0,
                            options.constData()) == 0;
        return m_mounted;
    }

    bool m_mounted = false;
};

TEST_F(FileSituation, SymbolicLinksAreWrittenThroughOnlyToOurOwnRegularFiles)
{
    const QString ini = dataFile(kIni);
    const QByteArray content = "[EXEINI]\r\nNUMBER=0\r\n";

    // Our own file, through a chain of two links: followed, the links stay links.
    const QString real = m_root.path() + u"/real.ini"_s;
    const QString middle = m_root.path() + u"/middle.ini"_s;
    writeFile(real, content);
    ASSERT_TRUE(QFile::link(real, middle) && QFile::link(middle, ini));
    store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);
    EXPECT_EQ(readFile(real), "[EXEINI]\r\nNUMBER=1\r\n");
    EXPECT_TRUE(QFileInfo(ini).isSymLink() && QFileInfo(middle).isSymLink());
    EXPECT_EQ(entriesOf(dataFolder()), QStringList{kIni});

    // A link to nothing, to a folder, to a device: nothing is stored, nothing made.
    const QString nowhere = m_root.path() + u"/nowhere.ini"_s;
    for (const QString& end : {nowhere, m_root.path(), u"/dev/null"_s}) {
        SCOPED_TRACE(end.toStdString());
        ASSERT_TRUE(QFile::remove(ini) && QFile::link(end, ini));
        store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);
        store().WriteProfileString(kIdPass, u"NAME"_s, u"x"_s); // the other file still works
        EXPECT_EQ(QFileInfo(ini).symLinkTarget(), QFileInfo(end).absoluteFilePath());
        EXPECT_FALSE(QFileInfo::exists(nowhere));
        EXPECT_EQ(entriesOf(dataFolder()), (QStringList{kIni, kIdPass}));
        ASSERT_TRUE(QFile::remove(dataFile(kIdPass)));
    }
    EXPECT_EQ(entriesOf(m_root.path()),
              (QStringList{u"bin"_s, u"cwd"_s, u"middle.ini"_s, u"real.ini"_s}));

    if (!isRoot())
        GTEST_SKIP() << "a file of another user needs root to make";
    // Another user's file (as a system file would be): left alone, though root could write it.
    const QString foreign = m_root.path() + u"/foreign"_s;
    writeFile(foreign, "root:x:0:0\n");
    chown(foreign, kNobody, kNogroup);
    chmod(foreign, 0644);
    ASSERT_TRUE(QFile::remove(ini) && QFile::link(foreign, ini));
    ASSERT_TRUE(QFile::link(foreign, dataFile(kIdPass)));
    store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);
    store().WriteProfileString(kIdPass, u"NAME2"_s, u"secret"_s);
    EXPECT_EQ(readFile(foreign), "root:x:0:0\n");
    EXPECT_EQ(ownership(foreign), std::make_tuple(kNobody, kNogroup, mode_t(0644)));
    EXPECT_TRUE(QFileInfo(ini).isSymLink() && QFileInfo(dataFile(kIdPass)).isSymLink());
    EXPECT_EQ(entriesOf(dataFolder()), (QStringList{kIni, kIdPass}));
}

// Someone who may write the folder plants a file, a link to a file of ours
// and a link to nowhere at the names the save will try first: none of them is
// opened, written, followed or moved, and the account lands in the file.
TEST_F(FileSituation, WhatStandsAtATemporaryNameIsNeverOpenedOrFollowed)
{
    const QString idPass = dataFile(kIdPass);
    const QString victim = m_root.path() + u"/victim"_s;
    const QString nowhere = m_root.path() + u"/nowhere"_s;
    writeFile(victim, "victim\n");
    const QStringList planted{u"planted-file"_s, u"planted-link"_s, u"planted-dangling"_s};
    writeFile(dataFile(planted[0]), "planted\n");
    ASSERT_TRUE(QFile::link(victim, dataFile(planted[1])) &&
                QFile::link(nowhere, dataFile(planted[2])));
    const auto names = [&](const QString&, int attempt) {
        return attempt < planted.size() ? planted[attempt] : u"fresh"_s;
    };

    ASSERT_TRUE(
        FileAccess::replace(idPass, {"NAME2=secret\r\n"}, FileAccess::Access::OwnerOnly, names));
    EXPECT_EQ(readFile(idPass), "NAME2=secret\r\n");
    EXPECT_EQ(readFile(dataFile(planted[0])), "planted\n");
    EXPECT_EQ(readFile(victim), "victim\n");
    EXPECT_TRUE(QFileInfo(dataFile(planted[1])).isSymLink());
    EXPECT_TRUE(QFileInfo(dataFile(planted[2])).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(nowhere));
    EXPECT_EQ(entriesOf(dataFolder()), (QStringList{kIdPass, planted[2], planted[0], planted[1]}));
}

TEST_F(FileSituation, AFileOfAnotherUserKeepsItsOwnerGroupAndMode)
{
    if (!isRoot())
        GTEST_SKIP() << "a file of another user needs root to make";
    // As under sudo: the user's own files stay theirs.
    writeFile(dataFile(kIni), "[EXEINI]\r\nNUMBER=0\r\n");
    chown(dataFile(kIni), kNobody, kNogroup);
    chmod(dataFile(kIni), 0640);
    writeFile(dataFile(kIdPass), "[EXEINI]\r\nNAME=user\r\n");
    chown(dataFile(kIdPass), kNobody, kNogroup);
    chmod(dataFile(kIdPass), 0644);

    store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);
    store().WriteProfileString(kIdPass, u"NAME2"_s, u"secret"_s);

    EXPECT_EQ(readFile(dataFile(kIni)), "[EXEINI]\r\nNUMBER=1\r\n");
    EXPECT_EQ(ownership(dataFile(kIni)), std::make_tuple(kNobody, kNogroup, mode_t(0640)));
    EXPECT_EQ(readFile(dataFile(kIdPass)), "[EXEINI]\r\nNAME=user\r\nNAME2=secret\r\n");
    // The account file is never more open than 0600.
    EXPECT_EQ(ownership(dataFile(kIdPass)), std::make_tuple(kNobody, kNogroup, mode_t(0600)));
    EXPECT_EQ(entriesOf(dataFolder()), (QStringList{kIni, kIdPass}));
}

TEST_F(FileSituation, FolderWithoutRoomForANewFileGetsItsFileRewrittenInPlace)
{
    // The folder belongs to root and is closed to others; the files in it
    // belong to the user who runs the program.
    if (!isRoot())
        GTEST_SKIP() << "a folder closed to us but holding our file needs root to make";
    writeFile(dataFile(kIni), "[EXEINI]\r\nNUMBER=0\r\nNUMBER100=0\r\n");
    writeFile(dataFile(kIdPass), "[EXEINI]\r\nNAME=user\r\n");
    for (const QString& name : {kIni, kIdPass}) {
        chown(dataFile(name), kNobody, kNogroup);
        chmod(dataFile(name), 0644);
    }
    const ino_t inode = statOf(dataFile(kIni)).st_ino;
    {
        const AsNobody nobody;
        store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);   // same size
        store().WriteProfileString(kIni, u"NUMBER100"_s, u""_s); // shorter
        store().WriteProfileString(kIni, u"NAME"_s, u"x"_s);     // longer
        store().WriteProfileString(kIdPass, u"NAME2"_s, u"secret"_s);
        // A new file cannot be made there: nothing is stored.
        store().WriteProfileString(u"new.ini"_s, u"NAME"_s, u"x"_s);
    }
    EXPECT_EQ(readFile(dataFile(kIni)), "[EXEINI]\r\nNUMBER=1\r\nNUMBER100=\r\nNAME=x\r\n");
    EXPECT_EQ(statOf(dataFile(kIni)).st_ino, inode);
    EXPECT_EQ(ownership(dataFile(kIni)), std::make_tuple(kNobody, kNogroup, mode_t(0644)));
    EXPECT_EQ(readFile(dataFile(kIdPass)), "[EXEINI]\r\nNAME=user\r\nNAME2=secret\r\n");
    EXPECT_EQ(ownership(dataFile(kIdPass)), std::make_tuple(kNobody, kNogroup, mode_t(0600)));
    EXPECT_EQ(entriesOf(dataFolder()), (QStringList{kIni, kIdPass}));

    // A file we may not write stays as it is.
    chmod(dataFile(kIni), 0444);
    {
        const AsNobody nobody;
        store().WriteProfileString(kIni, u"NUMBER"_s, u"0"_s);
    }
    EXPECT_EQ(readFile(dataFile(kIni)), "[EXEINI]\r\nNUMBER=1\r\nNUMBER100=\r\nNAME=x\r\n");
}

TEST_F(FileSituation, FullDiskLeavesTheOldFileWhole)
{
    if (!isRoot() || !mountSmallDisk("64k"))
        GTEST_SKIP() << "needs root and tmpfs to make a small disk";
    // 40 KiB of file on a 64 KiB disk: no room for the new copy beside it.
    QByteArray big = "[EXEINI]\r\nNAME=old\r\n";
    while (big.size() < 40 * 1024)
        big += "FILLER=some value\r\n";
    writeFile(dataFile(kIni), big);
    store().WriteProfileString(kIni, u"NAME"_s, u"new"_s);
    EXPECT_TRUE(readFile(dataFile(kIni)) == big);
    EXPECT_EQ(entriesOf(dataFolder()), QStringList{kIni});
    EXPECT_EQ(store().ReadProfileString(kIni, u"NAME"_s), u"old");

    // Rewriting in place on a full disk: the file cannot grow, and keeps its bytes.
    ASSERT_TRUE(QFile::remove(dataFile(kIni)));
    const QByteArray small = "[EXEINI]\r\nNAME=old\r\n" + QByteArray(4096 - 22, 'x') + "\r\n";
    ASSERT_EQ(small.size(), 4096);
    writeFile(dataFile(kIni), small);
    chown(dataFile(kIni), kNobody, kNogroup);
    {
        QFile fill(dataFile(u"fill"_s));
        ASSERT_TRUE(fill.open(QIODevice::WriteOnly));
        const QByteArray page(4096, 'f');
        while (fill.write(page) == page.size() && fill.flush()) {
        }
    }
    {
        const AsNobody nobody;
        store().WriteProfileString(kIni, u"NAME2"_s, u"more"_s);
    }
    EXPECT_TRUE(readFile(dataFile(kIni)) == small);
    EXPECT_EQ(entriesOf(dataFolder()), (QStringList{u"fill"_s, kIni}));
}

TEST_F(FileSituation, FileChangingUnderReadsGivesOldOrNewContents)
{
    // 2 MiB, the key at the end; another thread keeps cutting the file short
    // and writing it back whole while it is read.
    const QString ini = dataFile(kIni);
    QByteArray full = "[FILL]\r\n";
    while (full.size() < 2 * 1024 * 1024)
        full += "KEY=some filler value\r\n";
    full += "[EXEINI]\r\nNAME=pilot\r\n";
    writeFile(ini, full);

    std::atomic<bool> stop = false;
    std::atomic<int> cuts = 0;
    std::thread writer([&] {
        const int fd = ::open(native(ini).constData(), O_WRONLY | O_CLOEXEC);
        while (fd >= 0 && !stop) {
            if (::ftruncate(fd, 100) != 0 ||
                ::pwrite(fd, full.constData(), size_t(full.size()), 0) != ssize_t(full.size()))
                break;
            ++cuts;
        }
        if (fd >= 0)
            ::close(fd);
    });
    int reads = 0;
    for (; reads < 300 || cuts < 20; ++reads) {
        const QString name = store().ReadProfileString(kIni, u"NAME"_s);
        ASSERT_TRUE(name == u"pilot" || name.isEmpty()) << name.toStdString();
        if (reads > 100000)
            break;
    }
    stop = true;
    writer.join();
    EXPECT_GE(cuts, 20);
    EXPECT_EQ(store().ReadProfileString(kIni, u"NAME"_s), u"pilot");
}

TEST_F(FileSituation, FileTooLargeToReadIsLeftAlone)
{
    // Sparse: it takes no room on disk.
    const QString ini = dataFile(kIni);
    writeFile(ini, "[EXEINI]\r\nNUMBER=1\r\n");
    ASSERT_EQ(::truncate(native(ini).constData(), FileAccess::kMaxFileSize + 1), 0);
    EXPECT_EQ(FileAccess::read(ini).status(), FileAccess::ReadStatus::Unusable);
    EXPECT_EQ(store().ReadProfileInt(kIni, u"NUMBER"_s), 0);
    store().WriteProfileString(kIni, u"NUMBER"_s, u"0"_s);
    EXPECT_EQ(QFileInfo(ini).size(), FileAccess::kMaxFileSize + 1);
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(20), "[EXEINI]\r\nNUMBER=1\r\n");
}

#endif

} // namespace
