// Writing ini.ini / iniIdPass.ini: byte-exact results, atomic replacement,
// permissions, and the places where nothing may be written.
#include "SettingsTestSupport.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

class ProfileWrite : public SettingsTest
{
};

TEST_F(ProfileWrite, MissingFileIsCreatedWithSectionAndKey)
{
    store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);
    EXPECT_EQ(readFile(dataFile(kIni)), "[EXEINI]\r\nNUMBER=1\r\n");
    store().WriteProfileString(kIni, u"NUMBER100"_s, u"1"_s);
    EXPECT_EQ(readFile(dataFile(kIni)), "[EXEINI]\r\nNUMBER=1\r\nNUMBER100=1\r\n");
    store().WriteProfileString(kIni, u"NUMBER"_s, u"0"_s);
    EXPECT_EQ(readFile(dataFile(kIni)), "[EXEINI]\r\nNUMBER=0\r\nNUMBER100=1\r\n");
}

TEST_F(ProfileWrite, ExistingValueIsReplacedWhereItStandsAndNothingElseMoves)
{
    const QByteArray before = "; written by hand\n"
                              "\n"
                              "[other]\r\n"
                              "NUMBER = 9   \r\n"
                              "\r\n"
                              "  [ ExeIni ]  ; the real one\r\n"
                              "A=1\n"
                              "\t number  =  0  \r\n"
                              "zz =\"quoted\"\r\n"
                              "\r\n"
                              "[z]\r"
                              "q=1";
    const QByteArray after = "; written by hand\n"
                             "\n"
                             "[other]\r\n"
                             "NUMBER = 9   \r\n"
                             "\r\n"
                             "  [ ExeIni ]  ; the real one\r\n"
                             "A=1\n"
                             "number=1\r\n"
                             "zz =\"quoted\"\r\n"
                             "\r\n"
                             "[z]\r"
                             "q=1";
    EXPECT_EQ(afterWrite(before, u"NUMBER"_s, u"1"_s), after);
}

TEST_F(ProfileWrite, ReplacedLineEndsWithCrLfWhateverItsOldEnding)
{
    EXPECT_EQ(afterWrite("[EXEINI]\rNAME=old\rB=2\r", u"NAME"_s, u"new"_s),
              "[EXEINI]\rNAME=new\r\nB=2\r");
    EXPECT_EQ(afterWrite("[EXEINI]\nNAME=old\nB=2\n", u"NAME"_s, u"new"_s),
              "[EXEINI]\nNAME=new\r\nB=2\n");
    EXPECT_EQ(afterWrite("[EXEINI]\r\nNAME=old", u"NAME"_s, u"new"_s), "[EXEINI]\r\nNAME=new\r\n");
}

TEST_F(ProfileWrite, ReplacementKeepsTheKeySpellingOfTheFile)
{
    EXPECT_EQ(afterWrite("[EXEINI]\r\n  nAmE\t= old value\r\n", u"NAME"_s, u"x"_s),
              "[EXEINI]\r\nnAmE=x\r\n");
}

TEST_F(ProfileWrite, KeyWithoutEqualsIsReplacedToo)
{
    const QByteArray after = afterWrite("[EXEINI]\r\nNAME\r\nNAME=old\r\n", u"NAME"_s, u"new"_s);
    EXPECT_EQ(after, "[EXEINI]\r\nNAME=new\r\nNAME=old\r\n");
    EXPECT_EQ(store().ReadProfileString(kIni, u"NAME"_s), u"new");
}

TEST_F(ProfileWrite, NewKeyBecomesTheLastKeyLineOfItsSection)
{
    // Before the blank lines that separate it from the next section.
    EXPECT_EQ(afterWrite("[EXEINI]\r\nA=1\r\n\r\n[B]\r\nC=3\r\n", u"NAME"_s, u"x"_s),
              "[EXEINI]\r\nA=1\r\nNAME=x\r\n\r\n[B]\r\nC=3\r\n");
    // A line without '=' is a key line as well.
    EXPECT_EQ(afterWrite("[EXEINI]\r\nA=1\r\nwords\r\n\r\n", u"NAME"_s, u"x"_s),
              "[EXEINI]\r\nA=1\r\nwords\r\nNAME=x\r\n\r\n");
    // A section without keys gets it right after its header.
    EXPECT_EQ(afterWrite("[EXEINI]\r\n\r\n[B]\r\n", u"NAME"_s, u"x"_s),
              "[EXEINI]\r\nNAME=x\r\n\r\n[B]\r\n");
    // Original line ends of the lines around stay as they were.
    EXPECT_EQ(afterWrite("[EXEINI]\nA=1\n[B]\n", u"NAME"_s, u"x"_s),
              "[EXEINI]\nA=1\nNAME=x\r\n[B]\n");
}

TEST_F(ProfileWrite, LineWithoutItsLineEndGetsOneBeforeAnythingFollows)
{
    EXPECT_EQ(afterWrite("[EXEINI]", u"NAME"_s, u"x"_s), "[EXEINI]\r\nNAME=x\r\n");
    EXPECT_EQ(afterWrite("[EXEINI]\r\nA=1", u"NAME"_s, u"x"_s), "[EXEINI]\r\nA=1\r\nNAME=x\r\n");
    EXPECT_EQ(afterWrite("[B]\r\nC=3", u"NAME"_s, u"x"_s), "[B]\r\nC=3\r\n[EXEINI]\r\nNAME=x\r\n");
    // A final CR alone is a line end already.
    EXPECT_EQ(afterWrite("[B]\rC=3\r", u"NAME"_s, u"x"_s), "[B]\rC=3\r[EXEINI]\r\nNAME=x\r\n");
}

TEST_F(ProfileWrite, MissingSectionIsAppendedAtTheEnd)
{
    EXPECT_EQ(afterWrite("", u"NAME"_s, u"x"_s), "[EXEINI]\r\nNAME=x\r\n");
    EXPECT_EQ(afterWrite("[B]\r\nC=3\r\n\r\n", u"NAME"_s, u"x"_s),
              "[B]\r\nC=3\r\n\r\n[EXEINI]\r\nNAME=x\r\n");
    // A key of the same name before the first header belongs to no section.
    EXPECT_EQ(afterWrite("NAME=top\r\n", u"NAME"_s, u"x"_s), "NAME=top\r\n[EXEINI]\r\nNAME=x\r\n");
    // "[EXEINI" without its ']' is no header.
    EXPECT_EQ(afterWrite("[EXEINI\r\n", u"NAME"_s, u"x"_s), "[EXEINI\r\n[EXEINI]\r\nNAME=x\r\n");
}

TEST_F(ProfileWrite, OnlyTheFirstSectionOfANameIsWritten)
{
    EXPECT_EQ(afterWrite("[EXEINI]\r\nA=1\r\n[exeini]\r\nNAME=old\r\n", u"NAME"_s, u"x"_s),
              "[EXEINI]\r\nA=1\r\nNAME=x\r\n[exeini]\r\nNAME=old\r\n");
    EXPECT_EQ(afterWrite("[EXEINI]\r\nNAME=a\r\nNAME=b\r\n", u"NAME"_s, u"x"_s),
              "[EXEINI]\r\nNAME=x\r\nNAME=b\r\n");
}

TEST_F(ProfileWrite, ValuesAreWrittenInCp932AndReadBackExactly)
{
    const QStringList values = {u"表ソ能"_s, u"①～髙"_s, u"パスワード ﾊﾟｽ 123"_s,
                                u"a\\b|c"_s, u"x表"_s,   u""_s};
    for (const QString& value : values) {
        store().WriteProfileString(kIdPass, u"NAME2"_s, value);
        EXPECT_EQ(readFile(dataFile(kIdPass)), "[EXEINI]\r\nNAME2=" + sjis(value) + "\r\n");
        EXPECT_EQ(store().ReadProfileString(kIdPass, u"NAME2"_s), value);
    }
    // A character that CP932 cannot hold is stored as '?', as the platform does.
    store().WriteProfileString(kIdPass, u"NAME"_s, u"a😀b"_s);
    EXPECT_EQ(store().ReadProfileString(kIdPass, u"NAME"_s), u"a?b");
}

TEST_F(ProfileWrite, LongValueIsStoredWholeAndReadBackAs255Bytes)
{
    const QString name(300, u'n');
    store().WriteProfileString(kIdPass, u"NAME"_s, name);
    EXPECT_EQ(readFile(dataFile(kIdPass)).size(), qsizetype(10 + 5 + 300 + 2));
    EXPECT_EQ(store().ReadProfileString(kIdPass, u"NAME"_s), name.left(255));
}

TEST_F(ProfileWrite, ValueEndsAtItsFirstLineBreakOrNul)
{
    // A line break would turn the rest into lines of their own.
    store().WriteProfileString(kIni, u"NAME"_s, u"one\r\n[EXEINI]\r\nNAME2=two"_s);
    store().WriteProfileString(kIni, u"NAME2"_s, u"a\nb"_s);
    store().WriteProfileString(kIni, u"NAME3"_s, QString::fromUtf16(u"c\0d", 3));
    EXPECT_EQ(readFile(dataFile(kIni)), "[EXEINI]\r\nNAME=one\r\nNAME2=a\r\nNAME3=c\r\n");
    // The text is cut before it is encoded: a lead byte kept from a file
    // (U+DC81) cannot end the value, where it would read back as ・.
    store().WriteProfileString(kIni, u"NAME"_s, u"x\xDC81\ny"_s);
    EXPECT_EQ(store().ReadProfileString(kIni, u"NAME"_s), u"x?"_s);
}

TEST_F(ProfileWrite, ManyWritesLeaveOnlyTheFilesThemselves)
{
    for (int i = 0; i < 20; ++i) {
        store().WriteProfileString(kIni, u"NUMBER"_s, QString::number(i % 2));
        store().WriteProfileString(kIdPass, u"NAME%1"_s.arg(i), u"v"_s);
    }
    EXPECT_EQ(entriesOf(dataFolder()), (QStringList{kIni, kIdPass}));
    EXPECT_EQ(store().ReadProfileString(kIdPass, u"NAME19"_s), u"v");
}

TEST_F(ProfileWrite, MissingDataFolderCreatesNothing)
{
    ASSERT_TRUE(QDir(dataFolder()).removeRecursively());
    store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);
    store().WriteProfileString(kIdPass, u"NAME"_s, u"user"_s);
    EXPECT_FALSE(QFileInfo::exists(dataFolder()));
    EXPECT_EQ(entriesOf(exeFolder()), QStringList());
    EXPECT_EQ(store().ReadProfileInt(kIni, u"NUMBER"_s), 0);
}

TEST_F(ProfileWrite, FolderWhereTheFileShouldBeIsLeftAlone)
{
    ASSERT_TRUE(QDir().mkpath(dataFile(kIni)));
    store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);
    EXPECT_TRUE(QFileInfo(dataFile(kIni)).isDir());
    EXPECT_EQ(entriesOf(dataFolder()), QStringList{kIni});
    EXPECT_EQ(entriesOf(dataFile(kIni)), QStringList());

    // The data folder itself is a file: it keeps its bytes.
    ASSERT_TRUE(QDir(dataFolder()).removeRecursively());
    writeFile(dataFolder(), "not a folder");
    store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);
    EXPECT_EQ(readFile(dataFolder()), "not a folder");
    EXPECT_EQ(entriesOf(exeFolder()), QStringList{u"★MailData"_s});
}

#ifndef Q_OS_WIN

mode_t modeOf(const QString& path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 07777;
    return st.st_mode & 07777;
}

// Runs the test body with a given umask and restores the old one.
class WithUmask
{
public:
    explicit WithUmask(mode_t mask) : m_old(::umask(mask)) {}
    ~WithUmask() { ::umask(m_old); }

private:
    mode_t m_old;
};

TEST_F(ProfileWrite, ReplacesTheFileByRename)
{
    const QString path = dataFile(kIni);
    writeFile(path, "[EXEINI]\r\nNUMBER=0\r\n");
    const QString link = m_root.path() + u"/hardlink"_s;
    ASSERT_EQ(::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData()), 0);
    QFile open(path);
    ASSERT_TRUE(open.open(QIODevice::ReadOnly));

    store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);

    EXPECT_EQ(readFile(path), "[EXEINI]\r\nNUMBER=1\r\n");
    // The old file lives on, unchanged, for whoever still holds it.
    EXPECT_EQ(readFile(link), "[EXEINI]\r\nNUMBER=0\r\n");
    EXPECT_EQ(open.readAll(), "[EXEINI]\r\nNUMBER=0\r\n");
    // And no temporary file is left beside it.
    EXPECT_EQ(entriesOf(dataFolder()), QStringList{kIni});
}

TEST_F(ProfileWrite, IdPassFileIsOwnerOnlyWhateverTheUmask)
{
    const WithUmask noMask(0);
    store().WriteProfileString(kIdPass, u"NAME"_s, u"user"_s);
    EXPECT_EQ(modeOf(dataFile(kIdPass)), mode_t(0600));
    store().WriteProfileString(kIdPass, u"NAME2"_s, u"secret"_s);
    EXPECT_EQ(modeOf(dataFile(kIdPass)), mode_t(0600));
    // The other profile file follows the umask like any new file.
    store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);
    EXPECT_EQ(modeOf(dataFile(kIni)), mode_t(0666));
}

TEST_F(ProfileWrite, IdPassFileMadeByHandIsTightenedToOwnerOnly)
{
    writeFile(dataFile(kIdPass), "[EXEINI]\r\nNAME=user\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(dataFile(kIdPass)).constData(), 0644), 0);
    store().WriteProfileString(kIdPass, u"NAME3"_s, u"0"_s);
    EXPECT_EQ(modeOf(dataFile(kIdPass)), mode_t(0600));
    EXPECT_EQ(readFile(dataFile(kIdPass)), "[EXEINI]\r\nNAME=user\r\nNAME3=0\r\n");
}

TEST_F(ProfileWrite, ReplacedFileKeepsItsMode)
{
    writeFile(dataFile(kIni), "[EXEINI]\r\nNUMBER=0\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(dataFile(kIni)).constData(), 0640), 0);
    store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);
    EXPECT_EQ(modeOf(dataFile(kIni)), mode_t(0640));
}

TEST_F(ProfileWrite, SymbolicLinkIsFollowed)
{
    const QString real = m_root.path() + u"/real.ini"_s;
    writeFile(real, "[EXEINI]\r\nNUMBER=0\r\n");
    ASSERT_TRUE(QFile::link(real, dataFile(kIni)));
    store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);
    EXPECT_TRUE(QFileInfo(dataFile(kIni)).isSymLink());
    EXPECT_EQ(readFile(real), "[EXEINI]\r\nNUMBER=1\r\n");
    EXPECT_EQ(entriesOf(dataFolder()), QStringList{kIni});
}

TEST_F(ProfileWrite, ReadOnlyFileIsNotReplacedEvenByRoot)
{
    writeFile(dataFile(kIni), "[EXEINI]\r\nNUMBER=0\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(dataFile(kIni)).constData(), 0444), 0);
    store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);
    EXPECT_EQ(readFile(dataFile(kIni)), "[EXEINI]\r\nNUMBER=0\r\n");
    EXPECT_EQ(entriesOf(dataFolder()), QStringList{kIni});
}

#endif

} // namespace
