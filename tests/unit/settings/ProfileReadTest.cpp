// Reading ini.ini / iniIdPass.ini: the private-profile rules, on real files.
#include "SettingsTestSupport.h"

#include <climits>

using namespace std::literals;
using namespace Qt::StringLiterals;

namespace {

class ProfileRead : public SettingsTest
{
};

TEST_F(ProfileRead, SectionAndKeyMatchWithoutRegardToCase)
{
    EXPECT_EQ(readInt("[exeini]\r\nnumber=5\r\n"), 5);
    EXPECT_EQ(readInt("[ExeIni]\r\nNuMbEr=6\r\n"), 6);
    EXPECT_EQ(readString("[EXEINI]\r\nname=abc\r\n", QStringLiteral("Name")), u"abc");
}

TEST_F(ProfileRead, OnlyTheFirstSectionOfANameIsSearched)
{
    // The key sits only in the second EXEINI section: not found.
    EXPECT_EQ(readString("[EXEINI]\r\nA=1\r\n[EXEINI]\r\nNAME=second\r\n"), u"");
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=first\r\n[exeini]\r\nNAME=second\r\n"), u"first");
    // Another section in between ends the first one.
    EXPECT_EQ(readString("[EXEINI]\r\n[OTHER]\r\nNAME=x\r\n"), u"");
}

TEST_F(ProfileRead, FirstMatchingKeyLineWins)
{
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=one\r\nname=two\r\nNAME=three\r\n"), u"one");
}

TEST_F(ProfileRead, SectionHeaderForms)
{
    // Blanks around the brackets and the name, text after the ']'.
    EXPECT_EQ(readString(" \t[ EXEINI\t] trailing words\r\nNAME=v\r\n"), u"v");
    EXPECT_EQ(readString("[EXEINI]]\r\nNAME=v\r\n"), u"v");
    EXPECT_EQ(readString("[EXEINI] ; note\r\nNAME=v\r\n"), u"v");
    // Without a ']' the line is no header: it is a key line of the section before.
    EXPECT_EQ(readString("[EXEINI]\r\n[OTHER\r\nNAME=v\r\n"), u"v");
    EXPECT_EQ(readString("[EXEINI\r\nNAME=v\r\n"), u"");
    // A '[' that is not the first non-blank character starts no header.
    EXPECT_EQ(readString("[EXEINI]\r\nx[OTHER]\r\nNAME=v\r\n"), u"v");
    // The name is the text up to the first ']'.
    EXPECT_EQ(readString("[EXE]INI]\r\nNAME=v\r\n"), u"");
}

TEST_F(ProfileRead, LinesBeforeTheFirstHeaderBelongToNoSection)
{
    EXPECT_EQ(readString("NAME=top\r\n[EXEINI]\r\nOTHER=1\r\n"), u"");
    EXPECT_EQ(readString("NAME=top\r\n"), u"");
    // An empty header does not make them reachable under "EXEINI" either.
    EXPECT_EQ(readString("NAME=top\r\n[]\r\nNAME=empty\r\n[EXEINI]\r\nNAME=mine\r\n"), u"mine");
}

TEST_F(ProfileRead, KeyAndValueAreTrimmedOfBlanksAndTabs)
{
    EXPECT_EQ(readString("[EXEINI]\r\n \t NAME \t=\t  some value \t \r\n"), u"some value");
    // Only the first '=' separates: the rest belongs to the value.
    EXPECT_EQ(readString("[EXEINI]\r\nNAME = a=b = c\r\n"), u"a=b = c");
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=   \r\n"), u"");
    EXPECT_EQ(readInt("[EXEINI]\r\n  NUMBER\t=\t7\t\r\n"), 7);
}

TEST_F(ProfileRead, LineWithoutEqualsIsAKeyWithAnEmptyValue)
{
    // It matches its name, so the real line after it is never reached.
    EXPECT_EQ(readString("[EXEINI]\r\nNAME\r\nNAME=real\r\n"), u"");
    EXPECT_EQ(readInt("[EXEINI]\r\n  number  \r\nNUMBER=1\r\n"), 0);
    // A line of another name without '=' is simply skipped over.
    EXPECT_EQ(readString("[EXEINI]\r\njust some words\r\nNAME=real\r\n"), u"real");
}

TEST_F(ProfileRead, LineStartingWithEqualsHasAnEmptyKeyName)
{
    EXPECT_EQ(readString("[EXEINI]\r\n=abc\r\nNAME=real\r\n"), u"real");
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=real\r\n = abc\r\n", QString()), u"abc");
}

TEST_F(ProfileRead, ThereIsNoCommentSyntax)
{
    const QByteArray file = "[EXEINI]\r\n;NAME=semi\r\n#NAME=hash\r\nNAME2=abc ; note\r\n";
    EXPECT_EQ(readString(file), u"");
    EXPECT_EQ(readString(file, QStringLiteral(";NAME")), u"semi");
    EXPECT_EQ(readString(file, QStringLiteral("#NAME")), u"hash");
    EXPECT_EQ(readString(file, QStringLiteral("NAME2")), u"abc ; note");
}

TEST_F(ProfileRead, OnePairOfEnclosingQuotesIsRemoved)
{
    const struct
    {
        const char* line;
        const char16_t* value;
    } cases[] = {
        {R"(NAME="abc")", u"abc"},     {R"(NAME=  "abc"  )", u"abc"},
        {R"(NAME=" abc ")", u" abc "}, {R"(NAME=""abc"")", u"\"abc\""},
        {R"(NAME="a"b")", u"a\"b"},    {R"(NAME='abc')", u"abc"},
        {R"(NAME=''abc'')", u"'abc'"}, {R"(NAME="abc')", u"\"abc'"},
        {R"(NAME='abc")", u"'abc\""},  {R"(NAME="abc)", u"\"abc"},
        {R"(NAME=abc")", u"abc\""},    {R"(NAME="a" b)", u"\"a\" b"},
        {R"(NAME=")", u"\""},          {R"(NAME=')", u"'"},
        {R"(NAME="")", u""},           {R"(NAME='')", u""},
        {R"(NAME=""")", u"\""},        {"NAME=\"\t\"", u"\t"},
    };
    for (const auto& c : cases) {
        const QByteArray file = "[EXEINI]\r\n" + QByteArray(c.line) + "\r\n";
        EXPECT_EQ(readString(file), QString::fromUtf16(c.value)) << c.line;
    }
    EXPECT_EQ(readInt("[EXEINI]\r\nNUMBER=\"5\"\r\n"), 5);
    EXPECT_EQ(readInt("[EXEINI]\r\nNUMBER=' 6'\r\n"), 6);
}

TEST_F(ProfileRead, LinesEndAtCrLfLfOrCrAlone)
{
    EXPECT_EQ(readString("[EXEINI]\nA=1\nNAME=lf\n"), u"lf");
    EXPECT_EQ(readString("[EXEINI]\rA=1\rNAME=cr\r"), u"cr");
    EXPECT_EQ(readString("[EXEINI]\r\nA=1\rNAME=mixed\n"), u"mixed");
    // A CR alone ends the line: the value does not run into the next line.
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=one\rtwo\r\n"), u"one");
    // The last line needs no line end.
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=last"), u"last");
    EXPECT_EQ(readInt("[EXEINI]\nNUMBER=1"), 1);
    // Blank lines and lines of blanks are skipped.
    EXPECT_EQ(readString("\r\n\r\n[EXEINI]\r\n\r\n  \t\r\n\n\rNAME=x\r\n"), u"x");
}

TEST_F(ProfileRead, NulByteEndsTheValue)
{
    EXPECT_EQ(readString(bytes("[EXEINI]\r\nNAME=abc\0def\r\n"sv)), u"abc");
    EXPECT_EQ(readString(bytes("[EXEINI]\r\nNAME=\0abc\r\nNAME2=x\r\n"sv)), u"");
    EXPECT_EQ(readString(bytes("[EXEINI]\r\nNAME= abc \0 x\r\n"sv)), u"abc");
    EXPECT_EQ(readInt(bytes("[EXEINI]\r\nNUMBER=4\0"
                            "2\r\n"sv)),
              4);
    // The NUL ends only the value: the next line is still read.
    EXPECT_EQ(readString(bytes("[EXEINI]\r\nA=\0\r\nNAME=after\r\n"sv)), u"after");
}

TEST_F(ProfileRead, SecondBytesThatLookLikeAsciiAreOrdinaryBytes)
{
    // 表 ソ 能 end in 0x5C ('\'), ポ in 0x7C ('|'): never an escape or a separator,
    // even right before a line end.
    const QByteArray file = "[EXEINI]\r\nNAME=" + sjis(u"表"_s) + "\r\nNAME2=" + sjis(u"ソ能"_s) +
                            "\r\nNAME3=" + sjis(u"ポ|表"_s) + "\r\n" + sjis(u"能"_s) + "=key\r\n";
    EXPECT_EQ(readString(file), u"表");
    EXPECT_EQ(readString(file, QStringLiteral("NAME2")), u"ソ能");
    EXPECT_EQ(readString(file, QStringLiteral("NAME3")), u"ポ|表");
    EXPECT_EQ(readString(file, QStringLiteral("能")), u"key");
}

TEST_F(ProfileRead, SecondByteThatLooksLikeABracketEndsNoHeader)
{
    // ゾ is 0x83 0x5D: its second byte is ']' but it closes nothing, so the
    // line is a key line and NAME still lies in EXEINI.
    const QByteArray file = "[EXEINI]\r\n[" + sjis(u"ゾ"_s) + "\r\nNAME=v\r\n";
    EXPECT_EQ(readString(file), u"v");
    // A real header with such a character in its name is a section of its own.
    EXPECT_EQ(readString("[EXEINI]\r\n[" + sjis(u"ゾ"_s) + "]\r\nNAME=v\r\n"), u"");
}

TEST_F(ProfileRead, KeyCaseFoldingLeavesDoubleByteCharactersAlone)
{
    // ア is 0x83 0x41 and ヂ 0x83 0x61: their second bytes are 'A' and 'a'.
    const QByteArray file = "[EXEINI]\r\n" + sjis(u"ア"_s) + "=katakana a\r\n";
    EXPECT_EQ(readString(file, QStringLiteral("ア")), u"katakana a");
    EXPECT_EQ(readString(file, QStringLiteral("ヂ")), u"");
}

TEST_F(ProfileRead, StringReadsGiveAtMost255Bytes)
{
    const QByteArray ascii300(300, 'a');
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=" + ascii300 + "\r\n"), QString(255, u'a'));
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=" + QByteArray(255, 'b')), QString(255, u'b'));
    // A double-byte character on bytes 255 and 256 is left out whole.
    const QString straddling = QString(254, u'x') + u"表y"_s;
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=" + sjis(straddling) + "\r\n"), QString(254, u'x'));
    // One that ends on byte 255 is kept.
    const QString fitting = QString(253, u'x') + u"表y"_s;
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=" + sjis(fitting) + "\r\n"),
              QString(253, u'x') + u"表"_s);
    // All double-byte: 127 characters are 254 bytes.
    const QString kanji = QString(200, u'髙');
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=" + sjis(kanji) + "\r\n"), QString(127, u'髙'));
    // The cut is made after the quotes are removed.
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=\"" + QByteArray(255, 'q') + "\"\r\n"),
              QString(255, u'q'));
}

TEST_F(ProfileRead, IntegerReadsTakeTheNumberAtTheStart)
{
    const struct
    {
        const char* value;
        int expected;
    } cases[] = {
        {"7", 7},
        {" 7", 7},
        {"12abc", 12},
        {"-3", -3},
        {"+4", 4},
        {"1.5", 1},
        {"0x10", 16},
        {"0x1F", 31},
        {"0xg", 0},
        {"0b101", 5},
        {"0o17", 15},
        {"010", 10},
        {"abc", 0},
        {"", 0},
        {"  -  5", 0},
        {"- 5", 0},
        {"1 2", 1},
        {"\"5\"", 5},
        {"'-8'", -8},
        {"0", 0},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
    };
    for (const auto& c : cases) {
        const QByteArray file = "[EXEINI]\r\nNUMBER=" + QByteArray(c.value) + "\r\n";
        EXPECT_EQ(readInt(file), c.expected) << c.value;
    }
}

TEST_F(ProfileRead, IntegerOverflowWrapsModulo2To32)
{
    EXPECT_EQ(readInt("[EXEINI]\r\nNUMBER=2147483648\r\n"), INT_MIN);
    EXPECT_EQ(readInt("[EXEINI]\r\nNUMBER=4294967297\r\n"), 1);
    EXPECT_EQ(readInt("[EXEINI]\r\nNUMBER=-4294967295\r\n"), 1);
    EXPECT_EQ(readInt("[EXEINI]\r\nNUMBER=0x100000005\r\n"), 5);
    // A thousand nines is 10^1000 - 1, which is -1 modulo 2^32 (2^32 divides 10^1000).
    EXPECT_EQ(readInt("[EXEINI]\r\nNUMBER=" + QByteArray(1000, '9') + "\r\n"), -1);
}

TEST_F(ProfileRead, StringsAreDecodedFromCp932)
{
    const QString text = u"表ソ能①～髙 ｱｲｳ ABC"_s;
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=" + sjis(text) + "\r\n"), text);
}

TEST_F(ProfileRead, InvalidShiftJisReadsAsOnWindowsAndIsKeptOnTheWayBack)
{
    // A lead byte at the end of the value is the code page's default character ・.
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=abc\x81\r\n"), u"abc・");
    // A lead byte before a byte that cannot follow it is kept as an escape:
    // writing the value back puts the same bytes on disk.
    const QString odd = readString("[EXEINI]\r\nNAME=\x81\x31x\xFF\x80\r\n");
    EXPECT_EQ(odd, u"\xDC81" u"1x\uF8F3\u0080");
    store().WriteProfileString(u"ini.ini"_s, u"NAME2"_s, odd);
    EXPECT_EQ(readFile(dataFile(u"ini.ini"_s)),
              "[EXEINI]\r\nNAME=\x81\x31x\xFF\x80\r\nNAME2=\x81\x31x\xFF\x80\r\n");
    // A lone lead byte on byte 255 is cut off, never decoded with what follows.
    EXPECT_EQ(readString("[EXEINI]\r\nNAME=" + QByteArray(254, 'z') + "\x81\x40" + "\r\n"),
              QString(254, u'z'));
}

TEST_F(ProfileRead, MissingPiecesGiveTheDefaults)
{
    const QString ini = QStringLiteral("ini.ini");
    // No file.
    EXPECT_EQ(store().ReadProfileInt(ini, QStringLiteral("NUMBER")), 0);
    EXPECT_EQ(store().ReadProfileString(ini, QStringLiteral("NAME")), u"");
    // Empty file, no section, no key.
    EXPECT_EQ(readInt(""), 0);
    EXPECT_EQ(readInt("[OTHER]\r\nNUMBER=3\r\n"), 0);
    EXPECT_EQ(readInt("[EXEINI]\r\nNUMBER2=3\r\n"), 0);
    EXPECT_EQ(readString("[EXEINI]\r\nNAMEX=3\r\n"), u"");
    // No data folder at all.
    ASSERT_TRUE(QDir(dataFolder()).removeRecursively());
    EXPECT_EQ(store().ReadProfileInt(ini, QStringLiteral("NUMBER")), 0);
    EXPECT_EQ(store().ReadProfileString(ini, QStringLiteral("NAME")), u"");
}

TEST_F(ProfileRead, FolderWhereTheFileShouldBeGivesTheDefaults)
{
    ASSERT_TRUE(QDir().mkpath(dataFile(QStringLiteral("ini.ini"))));
    EXPECT_EQ(store().ReadProfileInt(QStringLiteral("ini.ini"), QStringLiteral("NUMBER")), 0);
    EXPECT_EQ(store().ReadProfileString(QStringLiteral("ini.ini"), QStringLiteral("NAME")), u"");

    // The data folder itself is a file.
    ASSERT_TRUE(QDir(dataFolder()).removeRecursively());
    writeFile(dataFolder(), "[EXEINI]\r\nNUMBER=1\r\n");
    EXPECT_EQ(store().ReadProfileInt(QStringLiteral("ini.ini"), QStringLiteral("NUMBER")), 0);
}

TEST_F(ProfileRead, DataFolderIsBesideTheExecutable)
{
    EXPECT_EQ(store().dataFolder(), exeFolder() + u"/★MailData"_s);
    EXPECT_EQ(SettingsStore(exeFolder() + u'/').dataFolder(), exeFolder() + u"/★MailData"_s);
    writeFile(dataFile(QStringLiteral("iniIdPass.ini")), "[EXEINI]\r\nNAME=user\r\n");
    EXPECT_EQ(store().ReadProfileString(QStringLiteral("iniIdPass.ini"), QStringLiteral("NAME")),
              u"user");
}

} // namespace
