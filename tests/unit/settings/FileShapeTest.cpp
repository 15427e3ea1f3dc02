// Settings files of every shape found in the wild (line ends, encodings, odd
// bytes): the value read, and the exact bytes on disk after a write, which
// changes the one line it means to change and nothing else.
#include "SettingsTestSupport.h"

#include <QtEndian>

using namespace Qt::StringLiterals;
using namespace std::literals;

namespace {

QByteArray utf16le(const QString& text)
{
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    qToLittleEndian<quint16>(text.utf16(), text.size(), out.data());
    return out;
}

// A profile file in UTF-16LE with its byte-order mark, as Notepad saves "Unicode".
QByteArray unicodeFile(const QString& text)
{
    return "\xFF\xFE" + utf16le(text);
}

class FileShape : public SettingsTest
{
protected:
    QString read(const QString& key) { return store().ReadProfileString(kIni, key); }
};

TEST_F(FileShape, EveryLineEndRoundTripsWithTheOtherLinesByteForByte)
{
    const struct
    {
        const char* before;
        const char* key;
        const char* after;
    } cases[] = {
        // A lone CR on the last byte is a line end of its own: the new line
        // goes right after it.
        {"[EXEINI]\r\nNAME=pilot\r", "NAME2", "[EXEINI]\r\nNAME=pilot\rNAME2=v\r\n"},
        {"[EXEINI]\r\nNAME=pilot\r", "NAME", "[EXEINI]\r\nNAME=v\r\n"},
        {"[EXEINI]\rNAME=pilot\r", "NAME2", "[EXEINI]\rNAME=pilot\rNAME2=v\r\n"},
        {"[EXEINI]\nNAME=pilot\n", "NAME2", "[EXEINI]\nNAME=pilot\nNAME2=v\r\n"},
        {"[EXEINI]\r\nNAME=pilot", "NAME2", "[EXEINI]\r\nNAME=pilot\r\nNAME2=v\r\n"},
        {"[EXEINI]\r\nNAME=pilot\r\n", "NAME2", "[EXEINI]\r\nNAME=pilot\r\nNAME2=v\r\n"},
        // Mixed, LF CR (two line ends), a blank last line ending in CR.
        {"[EXEINI]\nNAME=pilot\r\nX=1\r", "NAME2", "[EXEINI]\nNAME=pilot\r\nX=1\rNAME2=v\r\n"},
        {"[EXEINI]\n\rNAME=pilot\n\r", "NAME2", "[EXEINI]\n\rNAME=pilot\nNAME2=v\r\n\r"},
        {"[EXEINI]\r\nNAME=pilot\r\n\r", "NAME2", "[EXEINI]\r\nNAME=pilot\r\nNAME2=v\r\n\r"},
        {"[OTHER]\r\nA=1\r", "NAME2", "[OTHER]\r\nA=1\r[EXEINI]\r\nNAME2=v\r\n"},
        {"\r", "NAME2", "\r[EXEINI]\r\nNAME2=v\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        writeFile(dataFile(kIni), c.before);
        EXPECT_EQ(read(u"NAME"_s), QByteArrayView(c.before).contains("pilot") ? u"pilot" : u"");
        store().WriteProfileString(kIni, QString::fromLatin1(c.key), u"v"_s);
        EXPECT_EQ(readFile(dataFile(kIni)), QByteArray(c.after));
        EXPECT_EQ(read(QString::fromLatin1(c.key)), u"v");
    }
}

TEST_F(FileShape, LoneCrAtTheEndOfALargeFileKeepsEveryByte)
{
    // Large files were once read differently from small ones.
    QByteArray before = "[FILL]\r\n";
    while (before.size() < 3 * 1024 * 1024)
        before += "KEY=some filler value\r\n";
    before += "[EXEINI]\r\nNAME=pilot\r";
    writeFile(dataFile(kIni), before);
    store().WriteProfileString(kIni, u"NAME2"_s, u"secret"_s);
    EXPECT_TRUE(readFile(dataFile(kIni)) == before + "NAME2=secret\r\n");
    EXPECT_EQ(read(u"NAME"_s), u"pilot");
    EXPECT_EQ(read(u"NAME2"_s), u"secret");
}

TEST_F(FileShape, UnicodeFileIsReadAndWrittenInUtf16)
{
    const QString text = u"[EXEINI]\r\nNAME=表ソ😀é\r\nNUMBER= 0x1F \r\nNAME2=old\n[B]\r\nC=3"_s;
    writeFile(dataFile(kIni), unicodeFile(text));
    EXPECT_EQ(read(u"NAME"_s), u"表ソ😀é"); // every character, those without CP932 bytes too
    EXPECT_EQ(store().ReadProfileInt(kIni, u"NUMBER"_s), 31);

    store().WriteProfileString(kIni, u"name2"_s, u"新しい😀"_s);
    EXPECT_EQ(
        readFile(dataFile(kIni)),
        unicodeFile(u"[EXEINI]\r\nNAME=表ソ😀é\r\nNUMBER= 0x1F \r\nNAME2=新しい😀\r\n[B]\r\nC=3"_s));
    store().WriteProfileString(kIni, u"NAME3"_s, u"1"_s);
    store().WriteProfileString(kIni, u"NAME"_s, read(u"NAME"_s)); // saved as read: unchanged
    EXPECT_EQ(
        readFile(dataFile(kIni)),
        unicodeFile(u"[EXEINI]\r\nNAME=表ソ😀é\r\nNUMBER= 0x1F \r\nNAME2=新しい😀\r\nNAME3=1\r\n"
                    u"[B]\r\nC=3"_s));
    EXPECT_EQ(read(u"NAME2"_s), u"新しい😀");
}

TEST_F(FileShape, UnicodeFileShapes)
{
    // Only the byte-order mark: the section and key are added in UTF-16.
    writeFile(dataFile(kIni), "\xFF\xFE");
    store().WriteProfileString(kIni, u"NAME"_s, u"x"_s);
    EXPECT_EQ(readFile(dataFile(kIni)), unicodeFile(u"[EXEINI]\r\nNAME=x\r\n"_s));

    // An odd last byte stays last; the new section goes before it.
    writeFile(dataFile(kIni), unicodeFile(u"[B]\r\nC=3"_s) + "\x41");
    store().WriteProfileString(kIni, u"NAME"_s, u"x"_s);
    EXPECT_EQ(readFile(dataFile(kIni)),
              unicodeFile(u"[B]\r\nC=3\r\n[EXEINI]\r\nNAME=x\r\n"_s) + "\x41");
    EXPECT_EQ(read(u"NAME"_s), u"x");

    // String reads stop at 255 bytes of the value's CP932 form.
    writeFile(dataFile(kIni), unicodeFile(u"[EXEINI]\r\nNAME="_s + QString(300, u'a') +
                                          u"\r\nNAME2="_s + QString(200, u'表')));
    EXPECT_EQ(read(u"NAME"_s), QString(255, u'a'));
    EXPECT_EQ(read(u"NAME2"_s), QString(127, u'表'));

    // A UTF-8 byte-order mark is no mark to the platform: it belongs to the
    // first line, which is then no section header.
    const QByteArray utf8 = "\xEF\xBB\xBF[EXEINI]\r\nNAME=a\r\n";
    writeFile(dataFile(kIni), utf8);
    EXPECT_EQ(read(u"NAME"_s), u"");
    store().WriteProfileString(kIni, u"NAME"_s, u"b"_s);
    EXPECT_EQ(readFile(dataFile(kIni)), utf8 + "[EXEINI]\r\nNAME=b\r\n");
}

TEST_F(FileShape, CtrlZCountsAsABlank)
{
    const QByteArray before = "[EXEINI]\x1A\r\n\x1A NAME\x1A=pilot\x1A\r\nNAME2= pw\x1A\x1A\r\n"
                              "NUMBER=1\x1A\r\n\x1A";
    writeFile(dataFile(kIni), before);
    EXPECT_EQ(read(u"NAME"_s), u"pilot");
    EXPECT_EQ(read(u"NAME2"_s), u"pw");
    EXPECT_EQ(store().ReadProfileInt(kIni, u"NUMBER"_s), 1);
    // A line of nothing but Ctrl-Z is blank: the new key goes before it.
    store().WriteProfileString(kIni, u"NAME3"_s, u"1"_s);
    EXPECT_EQ(readFile(dataFile(kIni)),
              "[EXEINI]\x1A\r\n\x1A NAME\x1A=pilot\x1A\r\nNAME2= pw\x1A\x1A\r\n"
              "NUMBER=1\x1A\r\nNAME3=1\r\n\x1A");
}

TEST_F(FileShape, BytesWindowsKeepsSurviveAReadAndASave)
{
    // What the account dialog does on OK: the values read are written back.
    // Every byte but CR and LF, in values under the 255-byte read limit; the
    // lead bytes of rows whose characters have another form that Windows
    // writes are left out.
    QByteArray low = "\x80\xA0\xFD\xFE\xFF|\x81\x31|\x85\x40|\xF0\x40|\x1A.";
    QByteArray high;
    for (int b = 1; b < 256; ++b) {
        if (b == '\r' || b == '\n' || b == 0x87 || b == 0xED || b == 0xEE || b >= 0xFA)
            continue;
        (b < 0x80 ? low : high).append(char(b));
    }
    high.append('.');
    const QByteArray before = "[EXEINI]\r\nNAME=" + low + "\r\nNAME2=" + high + "\r\n";
    writeFile(dataFile(kIni), before);
    store().WriteProfileString(kIni, u"NAME"_s, read(u"NAME"_s));
    store().WriteProfileString(kIni, u"NAME2"_s, read(u"NAME2"_s));
    EXPECT_EQ(readFile(dataFile(kIni)), before);
}

} // namespace
