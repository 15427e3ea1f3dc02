// orvenda.ini: LoadServerSettings and SaveServerSettings, and the observer
// seam of the store.
#include "SettingsTestSupport.h"

#include "settings/ServerSettingsFile.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

class ServerSettings : public SettingsTest
{
protected:
    SettingsValues load(QByteArrayView content)
    {
        writeFile(orvendaPath(), content);
        SettingsValues values;
        store().LoadServerSettings(values);
        return values;
    }
};

TEST_F(ServerSettings, ReadsTheFourLines)
{
    const SettingsValues v = load("SMTP=smtp.example.jp\r\nPOP3=pop.example.jp:1110\r\n"
                                  "MAIL=taro@example.jp\r\nAPOP=1\r\n");
    EXPECT_EQ(v.SmtpServer, u"smtp.example.jp");
    EXPECT_EQ(v.Pop3Server, u"pop.example.jp:1110");
    EXPECT_EQ(v.MailAddress, u"taro@example.jp");
    EXPECT_EQ(v.ApopFlag, 1);
}

TEST_F(ServerSettings, OrderDoesNotMatterAndALaterLineWins)
{
    const SettingsValues v = load("APOP=1\r\nPOP3=first\r\nMAIL=m\r\nPOP3=second\r\nSMTP=s\r\n"
                                  "SMTP=\r\nAPOP=0\r\n");
    EXPECT_EQ(v.Pop3Server, u"second");
    EXPECT_EQ(v.SmtpServer, u""); // "SMTP=" with nothing after it sets it empty
    EXPECT_EQ(v.MailAddress, u"m");
    EXPECT_EQ(v.ApopFlag, 0);
}

TEST_F(ServerSettings, OnlyTheExactFiveCharacterKeysCount)
{
    const SettingsValues v = load("smtp=lower\r\nPop3=mixed\r\n SMTP=blank first\r\n"
                                  "MAIL =blank before equals\r\nMAIL\r\nAPO\r\n\r\n"
                                  "SMTPX=other\r\n[EXEINI]\r\nPOP3:colon\r\n");
    EXPECT_EQ(v.SmtpServer, u"");
    EXPECT_EQ(v.Pop3Server, u"");
    EXPECT_EQ(v.MailAddress, u"");
    EXPECT_EQ(v.ApopFlag, 0);
}

TEST_F(ServerSettings, ValueIsTakenAsItStands)
{
    const SettingsValues v = load("POP3=  x\r\nSMTP=a b \t\r\nMAIL=\"quoted\" ; not a comment\r\n");
    EXPECT_EQ(v.Pop3Server, u"  x");
    EXPECT_EQ(v.SmtpServer, u"a b \t");
    EXPECT_EQ(v.MailAddress, u"\"quoted\" ; not a comment");
}

TEST_F(ServerSettings, ValueIsCutAfterItsHundredthCharacter)
{
    // 150 characters, mostly double-byte: the cut counts characters, not bytes.
    QString japanese;
    for (int i = 0; i < 50; ++i)
        japanese += u"表ソa"_s;
    ASSERT_EQ(japanese.size(), 150);
    const SettingsValues v = load("MAIL=" + sjis(japanese) + "\r\nSMTP=" + QByteArray(150, 's') +
                                  "\r\nPOP3=" + QByteArray(100, 'p'));
    EXPECT_EQ(v.MailAddress, japanese.left(100));
    EXPECT_EQ(v.SmtpServer, QString(100, u's'));
    EXPECT_EQ(v.Pop3Server, QString(100, u'p'));
}

TEST_F(ServerSettings, ValuesWithALoneLeadByteLoadBackAsSaved)
{
    // SMTP: the hundredth character is a lead byte that starts no character
    // with the "1" after it; it cannot end the saved value (a cut-off lead
    // byte reads as ・), so it reads as '?'.
    // POP3: EE EE starts no character, and EE A2 is saved in its Windows
    // form FB BE, before which the lone EE would read as another character.
    const SettingsValues v =
        load("SMTP=" + QByteArray(99, 's') + "\x81" + "1tail\r\nPOP3=\xEE\xEE\xEE\xA2\r\n");
    EXPECT_EQ(v.SmtpServer, QString(99, u's') + u"?"_s);
    store().SaveServerSettings(v);
    const QByteArray saved = readFile(orvendaPath());
    SettingsValues loaded;
    store().LoadServerSettings(loaded);
    EXPECT_EQ(loaded.SmtpServer, v.SmtpServer);
    EXPECT_EQ(loaded.Pop3Server, v.Pop3Server);
    store().SaveServerSettings(loaded);
    EXPECT_EQ(readFile(orvendaPath()), saved);
}

TEST_F(ServerSettings, LinesEndAtCrLfLfOrCrAlone)
{
    const SettingsValues v = load("SMTP=a\rPOP3=b\nMAIL=c\r\nAPOP=1");
    EXPECT_EQ(v.SmtpServer, u"a");
    EXPECT_EQ(v.Pop3Server, u"b");
    EXPECT_EQ(v.MailAddress, u"c");
    EXPECT_EQ(v.ApopFlag, 1);
}

TEST_F(ServerSettings, ValuesAreDecodedFromCp932)
{
    const SettingsValues v =
        load("SMTP=" + sjis(u"表ソ能"_s) + "\r\nMAIL=" + sjis(u"①～髙"_s) + "\r\nPOP3=bad\x81\r\n");
    EXPECT_EQ(v.SmtpServer, u"表ソ能");
    EXPECT_EQ(v.MailAddress, u"①～髙");
    EXPECT_EQ(v.Pop3Server, u"bad・"); // a cut-off lead byte, as Windows reads it
}

TEST_F(ServerSettings, ApopValueIsReadAsARoundedNumber)
{
    const struct
    {
        const char* text;
        qint16 expected;
    } cases[] = {
        {"1", 1},
        {"", 0},
        {"yes", 0},
        {"0.5", 0},
        {"1.5", 2},
        {"2.5", 2},
        {"3.5", 4},
        {"0.51", 1},
        {"-0.5", 0},
        {"-1.5", -2},
        {"  7", 7},
        {"\t+3", 3},
        {"12abc", 12},
        {"1e3", 1},
        {"1,5", 1},
        {".5", 0},
        {".7", 1},
        {"5.", 5},
        {"-", 0},
        {".", 0},
        {"- 1", 0},
        {"0001", 1},
        {"32767", 32767},
        {"-32768", -32768},
        {"70000", 32767},
        {"32767.5", 32767},
        {"-32768.5", -32768},
        {"-99999999999", -32768},
        {"0000000000000000000001", 1},
    };
    for (const auto& c : cases) {
        const SettingsValues v = load("APOP=" + QByteArray(c.text) + "\r\n");
        EXPECT_EQ(v.ApopFlag, c.expected) << "APOP=" << c.text;
    }
    // Fullwidth digits are no number.
    EXPECT_EQ(load("APOP=" + sjis(u"１"_s)).ApopFlag, 0);
}

TEST_F(ServerSettings, ApopConversionNeverFailsOnLongNumbers)
{
    EXPECT_EQ(ServerSettingsFile::apopFlag(QString(1000, u'9')), 32767);
    EXPECT_EQ(ServerSettingsFile::apopFlag(u"-"_s + QString(1000, u'9')), -32768);
    EXPECT_EQ(ServerSettingsFile::apopFlag(u"0."_s + QString(1000, u'0') + u"1"_s), 0);
    EXPECT_EQ(ServerSettingsFile::apopFlag(QString(1000, u'0') + u"2.5"_s), 2);
}

TEST_F(ServerSettings, MissingFileChangesNothing)
{
    SettingsValues v;
    v.SmtpServer = u"kept"_s;
    v.ApopFlag = 1;
    store().LoadServerSettings(v);
    EXPECT_EQ(v.SmtpServer, u"kept");
    EXPECT_EQ(v.ApopFlag, 1);

    // A folder of that name does not count.
    ASSERT_TRUE(QDir().mkpath(orvendaPath()));
    store().LoadServerSettings(v);
    EXPECT_EQ(v.SmtpServer, u"kept");
    EXPECT_EQ(v.ApopFlag, 1);
}

TEST_F(ServerSettings, LoadLeavesTheAccountAndUnmentionedValuesAlone)
{
    writeFile(orvendaPath(), "POP3=pop\r\n");
    SettingsValues v;
    v.SmtpServer = u"smtp"_s;
    v.UserId = u"user"_s;
    v.Password = u"pass"_s;
    store().LoadServerSettings(v);
    EXPECT_EQ(v.Pop3Server, u"pop");
    EXPECT_EQ(v.SmtpServer, u"smtp");
    EXPECT_EQ(v.UserId, u"user");
    EXPECT_EQ(v.Password, u"pass");
}

TEST_F(ServerSettings, SaveWritesExactlyFourLines)
{
    writeFile(orvendaPath(), "old junk\r\nPOP3=old\r\nEXTRA=1\r\n");
    SettingsValues v;
    v.SmtpServer = u"smtp.example.jp"_s;
    v.Pop3Server = u"pop3s://表ソ能:995"_s;
    v.MailAddress = u"①～髙@example.jp"_s;
    v.ApopFlag = 1;
    v.UserId = u"never written"_s;
    store().SaveServerSettings(v);
    EXPECT_EQ(readFile(orvendaPath()), "SMTP=smtp.example.jp\r\nPOP3=pop3s://" + sjis(u"表ソ能"_s) +
                                           ":995\r\nMAIL=" + sjis(u"①～髙"_s) +
                                           "@example.jp\r\nAPOP=1\r\n");

    store().SaveServerSettings(SettingsValues());
    EXPECT_EQ(readFile(orvendaPath()), "SMTP=\r\nPOP3=\r\nMAIL=\r\nAPOP=0\r\n");
}

TEST_F(ServerSettings, SaveWritesValuesWithoutEscaping)
{
    SettingsValues v;
    v.SmtpServer = u"  a=b ; \"c\""_s;
    store().SaveServerSettings(v);
    EXPECT_EQ(readFile(orvendaPath()), "SMTP=  a=b ; \"c\"\r\nPOP3=\r\nMAIL=\r\nAPOP=0\r\n");
}

TEST_F(ServerSettings, SavedValuesLoadBack)
{
    SettingsValues saved;
    saved.SmtpServer = u" smtp "_s;
    saved.Pop3Server = u"[2001:db8::1]:110"_s;
    saved.MailAddress = u"能力@例.jp"_s;
    saved.ApopFlag = 1;
    store().SaveServerSettings(saved);
    SettingsValues loaded;
    store().LoadServerSettings(loaded);
    EXPECT_EQ(loaded.SmtpServer, saved.SmtpServer);
    EXPECT_EQ(loaded.Pop3Server, saved.Pop3Server);
    EXPECT_EQ(loaded.MailAddress, saved.MailAddress);
    EXPECT_EQ(loaded.ApopFlag, 1);
}

#ifndef Q_OS_WIN
TEST_F(ServerSettings, SaveReplacesTheFileByRename)
{
    writeFile(orvendaPath(), "POP3=old\r\n");
    const QString link = m_root.path() + u"/hardlink"_s;
    ASSERT_EQ(
        ::link(QFile::encodeName(orvendaPath()).constData(), QFile::encodeName(link).constData()),
        0);
    SettingsValues v;
    v.Pop3Server = u"new"_s;
    store().SaveServerSettings(v);
    EXPECT_EQ(readFile(link), "POP3=old\r\n");
    EXPECT_EQ(readFile(orvendaPath()), "SMTP=\r\nPOP3=new\r\nMAIL=\r\nAPOP=0\r\n");
    EXPECT_EQ(entriesOf(cwdFolder()), QStringList{u"orvenda.ini"_s});
}
#endif

TEST_F(ServerSettings, SaveOverAFolderOrIntoAMissingFolderDoesNothing)
{
    ASSERT_TRUE(QDir().mkpath(orvendaPath()));
    store().SaveServerSettings(SettingsValues());
    EXPECT_TRUE(QFileInfo(orvendaPath()).isDir());
    EXPECT_EQ(entriesOf(cwdFolder()), QStringList{u"orvenda.ini"_s});

    const QString nowhere = m_root.path() + u"/missing/orvenda.ini"_s;
    SettingsStore(exeFolder(), nowhere).SaveServerSettings(SettingsValues());
    EXPECT_FALSE(QFileInfo::exists(m_root.path() + u"/missing"_s));
}

// Changes the current directory for one test.
class CurrentDirectory
{
public:
    CurrentDirectory() : m_old(QDir::currentPath()) {}
    ~CurrentDirectory() { QDir::setCurrent(m_old); }

private:
    QString m_old;
};

TEST_F(ServerSettings, BareNameMeansTheCurrentDirectoryAtEachAccess)
{
    const CurrentDirectory restore;
    const QString first = m_root.path() + u"/first"_s;
    const QString second = m_root.path() + u"/second"_s;
    ASSERT_TRUE(QDir().mkpath(first) && QDir().mkpath(second));
    writeFile(first + u"/orvenda.ini"_s, "POP3=from first\r\n");

    const SettingsStore bare(exeFolder());
    SettingsValues v;
    ASSERT_TRUE(QDir::setCurrent(first));
    bare.LoadServerSettings(v);
    EXPECT_EQ(v.Pop3Server, u"from first");

    ASSERT_TRUE(QDir::setCurrent(second));
    v.Pop3Server = u"saved in second"_s;
    bare.SaveServerSettings(v);
    EXPECT_EQ(readFile(second + u"/orvenda.ini"_s),
              "SMTP=\r\nPOP3=saved in second\r\nMAIL=\r\nAPOP=0\r\n");
    EXPECT_EQ(readFile(first + u"/orvenda.ini"_s), "POP3=from first\r\n");
}

TEST_F(ServerSettings, ObserverSeesEveryOperationInOrder)
{
    SettingsStore observed(exeFolder(), orvendaPath());
    QStringList events;
    observed.setObserver([&events](const QString& event) { events << event; });

    SettingsValues v;
    observed.ReadProfileInt(u"ini.ini"_s, u"NUMBER"_s);
    observed.LoadServerSettings(v);
    observed.WriteProfileString(u"ini.ini"_s, u"NUMBER"_s, u"1"_s);
    observed.WriteProfileString(u"ini.ini"_s, u"NUMBER100"_s, u"1"_s);
    observed.ReadProfileString(u"iniIdPass.ini"_s, u"NAME"_s);
    observed.ReadProfileString(u"iniIdPass.ini"_s, u"NAME2"_s);
    observed.WriteProfileString(u"iniIdPass.ini"_s, u"NAME3"_s, u"0"_s);
    observed.SaveServerSettings(v);
    // Every call is seen, also those that find nothing or cannot write.
    ASSERT_TRUE(QDir(dataFolder()).removeRecursively());
    observed.WriteProfileString(u"iniIdPass.ini"_s, u"NAME"_s, u"x"_s);

    EXPECT_EQ(events, (QStringList{
                          u"read ini.ini NUMBER"_s,
                          u"load orvenda.ini"_s,
                          u"write ini.ini NUMBER"_s,
                          u"write ini.ini NUMBER100"_s,
                          u"read iniIdPass.ini NAME"_s,
                          u"read iniIdPass.ini NAME2"_s,
                          u"write iniIdPass.ini NAME3"_s,
                          u"save orvenda.ini"_s,
                          u"write iniIdPass.ini NAME"_s,
                      }));
}

TEST_F(ServerSettings, ObserverIsCalledBeforeTheFileIsTouched)
{
    SettingsStore observed(exeFolder(), orvendaPath());
    QByteArray seen = "<not called>";
    observed.setObserver([&](const QString&) { seen = readFile(dataFile(u"ini.ini"_s)); });
    observed.WriteProfileString(u"ini.ini"_s, u"NUMBER"_s, u"1"_s);
    EXPECT_EQ(seen, "<missing>");
}

} // namespace
