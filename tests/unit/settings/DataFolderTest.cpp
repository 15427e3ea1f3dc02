// Where the data-folder files go: beside the program when its data folder can
// be written, in the per-user folder when it cannot, nowhere without one.
//
// "Cannot be written" must be real: root may write anywhere, so these tests
// need an unprivileged user. CTest starts them through
// tests/support/unprivileged.sh, which runs them as nobody when it is root;
// run by hand as root they skip.
#include "SettingsTestSupport.h"

#include "settings/DataFolder.h"
#include "support/EnvOverride.h"

#include <QFileInfo>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

#ifndef Q_OS_WIN

mode_t modeOf(const QString& path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

void setMode(const QString& path, mode_t mode)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0) << path.toStdString();
}

// "program" with its data folder, made read-only for the system layout, and
// an empty XDG_DATA_HOME "xdg"; a second, writable program folder "portable".
class DataFolderTest : public SettingsTest
{
protected:
    void SetUp() override
    {
        if (::geteuid() == 0)
            GTEST_SKIP() << "root may write anywhere; ctest runs this as an unprivileged user";
        SettingsTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(xdg()));
        ASSERT_TRUE(QDir().mkpath(portableFolder() + u"/★MailData"_s));
        m_xdg = std::make_unique<EnvOverride>("XDG_DATA_HOME", QFile::encodeName(xdg()));
    }
    void TearDown() override
    {
        // Let the temporary folder go again.
        if (QFileInfo::exists(dataFolder()))
            ::chmod(QFile::encodeName(dataFolder()).constData(), 0755);
        m_xdg.reset();
    }

    QString xdg() const { return m_root.path() + u"/xdg"_s; }
    QString userFolder() const { return xdg() + u"/kestrova/★MailData"_s; }
    QString portableFolder() const { return m_root.path() + u"/portable"_s; }
    void makeProgramFolderReadOnly() { setMode(dataFolder(), 0555); }

    // What the account dialog's OK and the settings dialog's close write.
    static void saveEverything(const SettingsStore& s)
    {
        s.WriteProfileString(kIdPass, u"NAME"_s, u"髙橋①"_s);
        s.WriteProfileString(kIdPass, u"NAME2"_s, u"パス ～ word"_s);
        s.WriteProfileString(kIdPass, u"NAME3"_s, u"1"_s);
        s.WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);
        s.WriteProfileString(kIni, u"NUMBER100"_s, u"1"_s);
    }

    std::unique_ptr<EnvOverride> m_xdg;
};

TEST_F(DataFolderTest, SystemLayoutStoresTheSameFilesInThePerUserFolder)
{
    const SettingsStore portable(portableFolder(), cwdFolder() + u"/orvenda.ini"_s);
    saveEverything(portable);
    EXPECT_EQ(entriesOf(xdg()), QStringList()) << "the portable layout keeps to its own folder";

    makeProgramFolderReadOnly();
    ASSERT_EQ(DataFolder::layout(exeFolder()), DataFolder::Layout::System);
    saveEverything(store());
    EXPECT_EQ(entriesOf(dataFolder()), QStringList()) << "nothing beside the program";
    ASSERT_EQ(entriesOf(userFolder()), (QStringList{kIni, kIdPass}));
    for (const QString& name : {kIni, kIdPass})
        EXPECT_EQ(readFile(userFolder() + u'/' + name),
                  readFile(portableFolder() + u"/★MailData/"_s + name))
            << name.toStdString();
    EXPECT_EQ(modeOf(userFolder() + u'/' + kIdPass), mode_t(0600));
    // Folders made for the user are the user's alone (the XDG rule).
    EXPECT_EQ(modeOf(userFolder()), mode_t(0700));
    EXPECT_EQ(modeOf(xdg() + u"/kestrova"_s), mode_t(0700));

    // And the store finds them again.
    EXPECT_EQ(store().profilePath(kIni), userFolder() + u'/' + kIni);
    // Any other data-folder file goes to the same place, for reading and writing.
    const QString other = u"other.txt"_s;
    EXPECT_EQ(store().profileWritePath(other), userFolder() + u'/' + other);
    EXPECT_EQ(store().profilePath(other), userFolder() + u'/' + other);
    EXPECT_EQ(store().ReadProfileString(kIdPass, u"NAME"_s), u"髙橋①");
    EXPECT_EQ(store().ReadProfileString(kIdPass, u"NAME2"_s), u"パス ～ word");
    EXPECT_EQ(store().ReadProfileInt(kIni, u"NUMBER"_s), 1);
}

TEST_F(DataFolderTest, ShippedFileIsReadUntilTheUserSavesTheirOwn)
{
    const QByteArray shipped = "; set up for everyone\r\n[EXEINI]\r\nNUMBER=1\r\n";
    writeFile(dataFile(kIni), shipped);
    makeProgramFolderReadOnly();
    EXPECT_EQ(store().profilePath(kIni), dataFile(kIni));
    EXPECT_EQ(store().ReadProfileInt(kIni, u"NUMBER"_s), 1);
    EXPECT_FALSE(QFileInfo::exists(xdg() + u"/kestrova"_s)) << "reading creates nothing";

    // The first write starts from the shipped file and keeps its other lines.
    store().WriteProfileString(kIni, u"NUMBER100"_s, u"1"_s);
    EXPECT_EQ(readFile(userFolder() + u'/' + kIni), shipped + "NUMBER100=1\r\n");
    store().WriteProfileString(kIni, u"NUMBER"_s, u"0"_s);
    EXPECT_EQ(store().ReadProfileInt(kIni, u"NUMBER"_s), 0);
    EXPECT_EQ(readFile(dataFile(kIni)), shipped);
}

TEST_F(DataFolderTest, ShippedFileTheUserCannotReadDoesNotStopTheirOwn)
{
    // An account file somebody else saved beside the program, owner-only.
    writeFile(dataFile(kIdPass), "[EXEINI]\r\nNAME=admin\r\n");
    setMode(dataFile(kIdPass), 0);
    makeProgramFolderReadOnly();
    EXPECT_EQ(store().ReadProfileString(kIdPass, u"NAME"_s), u"");
    store().WriteProfileString(kIdPass, u"NAME"_s, u"me"_s);
    EXPECT_EQ(readFile(userFolder() + u'/' + kIdPass), "[EXEINI]\r\nNAME=me\r\n");
    EXPECT_EQ(store().ReadProfileString(kIdPass, u"NAME"_s), u"me");
}

TEST_F(DataFolderTest, NothingIsStoredAnywhereWithoutADataFolderBesideTheProgram)
{
    ASSERT_TRUE(QDir(dataFolder()).removeRecursively());
    saveEverything(store());
    EXPECT_EQ(entriesOf(exeFolder()), QStringList());
    EXPECT_EQ(entriesOf(xdg()), QStringList());
    EXPECT_EQ(store().ReadProfileString(kIdPass, u"NAME"_s), u"");

    // Nor with a file in its place.
    writeFile(dataFolder(), "not a folder");
    saveEverything(store());
    EXPECT_EQ(readFile(dataFolder()), "not a folder");
    EXPECT_EQ(entriesOf(xdg()), QStringList());
}

TEST_F(DataFolderTest, PerUserFolderFollowsXdgDataHomeOrTheHomeFolder)
{
    EXPECT_EQ(DataFolder::perUser(), userFolder());
    const QString home = m_root.path() + u"/home"_s;
    ASSERT_TRUE(QDir().mkpath(home));
    EnvOverride homeVar("HOME", QFile::encodeName(home));
    const QString fallback = home + u"/.local/share/kestrova/★MailData"_s;
    {
        EnvOverride unset("XDG_DATA_HOME", QByteArray());
        EXPECT_EQ(DataFolder::perUser(), fallback);
    }
    {
        // A relative value is not a valid XDG path and is ignored.
        EnvOverride relative("XDG_DATA_HOME", "relative/share");
        EXPECT_EQ(DataFolder::perUser(), fallback);

        // A home folder without .local/share: every missing folder is made,
        // owner-only.
        makeProgramFolderReadOnly();
        store().WriteProfileString(kIni, u"NUMBER"_s, u"1"_s);
        EXPECT_EQ(readFile(fallback + u'/' + kIni), "[EXEINI]\r\nNUMBER=1\r\n");
        EXPECT_EQ(modeOf(home + u"/.local"_s), mode_t(0700));
    }
}

TEST_F(DataFolderTest, SomethingInThePerUserFolderPathDropsTheWrite)
{
    makeProgramFolderReadOnly();
    writeFile(xdg() + u"/kestrova"_s, "a file, not a folder");
    saveEverything(store());
    EXPECT_EQ(readFile(xdg() + u"/kestrova"_s), "a file, not a folder");
    EXPECT_EQ(entriesOf(dataFolder()), QStringList());
    EXPECT_EQ(store().ReadProfileInt(kIni, u"NUMBER"_s), 0);
}

#else

// On Windows the per-user folder is in the user's local application data
// (%LOCALAPPDATA%), where a copy under Program Files keeps its settings. That
// Windows refuses the folder beside such a copy cannot be staged under Wine,
// which leaves access to the host's permissions (and the tests run as root);
// the choice itself is the same code as on Linux, tested above.
TEST(DataFolderWindows, LayoutAndPerUserFolder)
{
    const QString local = QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA"));
    ASSERT_FALSE(local.isEmpty());
    EXPECT_EQ(DataFolder::perUser(), local + u"/kestrova/★MailData"_s);

    QTemporaryDir root;
    const QString program = root.path() + u"/ケストローバ ★"_s;
    ASSERT_TRUE(QDir().mkpath(program));
    EXPECT_EQ(DataFolder::layout(program), DataFolder::Layout::Absent);
    ASSERT_TRUE(QDir().mkpath(program + u"/★MailData"_s));
    EXPECT_EQ(DataFolder::layout(program), DataFolder::Layout::Portable);
    EXPECT_EQ(DataFolder::writePath(program, u"ini.ini"_s), program + u"/★MailData/ini.ini"_s);
    // The probe that tells whether the folder can be written leaves nothing.
    EXPECT_EQ(entriesOf(program + u"/★MailData"_s), QStringList());
}

#endif

} // namespace
