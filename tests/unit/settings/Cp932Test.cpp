// The CP932 codec under the settings files.
#include "SettingsTestSupport.h"

using namespace Qt::StringLiterals;
using namespace std::literals;

namespace {

TEST(Cp932, CharactersEncodeToTheirWindowsBytesAndBack)
{
    const struct
    {
        const char16_t* text;
        std::string_view bytes;
    } cases[] = {
        {u"表", "\x95\x5C"sv}, {u"ソ", "\x83\x5C"sv}, {u"能", "\x94\x5C"sv}, {u"ポ", "\x83\x7C"sv},
        {u"①", "\x87\x40"sv},  {u"～", "\x81\x60"sv}, {u"髙", "\xFB\xFC"sv}, {u"ｱ", "\xB1"sv},
        {u"\\", "\x5C"sv},     {u"~", "\x7E"sv},      {u"ア", "\x83\x41"sv}, {u"", ""sv},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(Cp932::encode(text), bytes(c.bytes)) << text.toStdString();
        EXPECT_EQ(Cp932::decode(bytes(c.bytes)), text) << text.toStdString();
    }
}

TEST(Cp932, MixedTextRoundTrips)
{
    const QString text = u"ID:表ソ能 ①～髙 ﾊﾝｶｸ a\\b|c ーゼゾ"_s;
    EXPECT_EQ(Cp932::decode(Cp932::encode(text)), text);
}

TEST(Cp932, CharactersWithoutACp932FormBecomeOneQuestionMarkEach)
{
    EXPECT_EQ(Cp932::encode(u"a😀b"_s), "a?b");         // outside the BMP: one mark
    EXPECT_EQ(Cp932::encode(u"é表ö"_s), "?\x95\x5C?"); // Latin letters
    EXPECT_EQ(Cp932::encode(u"😀😀"_s), "??");
}

TEST(Cp932, InvalidBytesDecodeToReplacementCharacters)
{
    EXPECT_EQ(Cp932::decode("abc\x81"), u"abc\uFFFD");     // lead byte cut off at the end
    EXPECT_EQ(Cp932::decode("\x81\x31z"), u"\uFFFD1z");    // lead byte before a non-trail byte
    EXPECT_EQ(Cp932::decode("\xFF\xFE"), u"\uFFFD\uFFFD"); // bytes that start nothing
    EXPECT_EQ(Cp932::decode(bytes("a\0b"sv)), QString::fromUtf16(u"a\0b", 3));
}

TEST(Cp932, LeadBytesAreExactlyTheTwoRanges)
{
    for (int b = 0; b < 256; ++b) {
        const bool expected = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        EXPECT_EQ(Cp932::isLeadByte(static_cast<unsigned char>(b)), expected) << b;
    }
}

TEST(Cp932, CutBytesNeverSplitsADoubleByteCharacter)
{
    const QByteArray ascii = "abcdef";
    EXPECT_EQ(Cp932::cutBytes(ascii, 4), "abcd");
    EXPECT_EQ(Cp932::cutBytes(ascii, 6), "abcdef");
    EXPECT_EQ(Cp932::cutBytes(ascii, 100), "abcdef");
    EXPECT_EQ(Cp932::cutBytes(ascii, 0), "");
    EXPECT_EQ(Cp932::cutBytes(ascii, -1), "");

    const QByteArray mixed = Cp932::encode(u"a表b"_s); // 61 95 5C 62
    EXPECT_EQ(Cp932::cutBytes(mixed, 1), "a");
    EXPECT_EQ(Cp932::cutBytes(mixed, 2), "a");
    EXPECT_EQ(Cp932::cutBytes(mixed, 3), "a\x95\x5C");

    // 髙 is FB FC, and FC is a lead byte too: only a walk from the start knows
    // where the characters begin.
    const QByteArray kanji = Cp932::encode(u"髙髙髙"_s);
    EXPECT_EQ(Cp932::cutBytes(kanji, 3), Cp932::encode(u"髙"_s));
    EXPECT_EQ(Cp932::cutBytes(kanji, 5), Cp932::encode(u"髙髙"_s));
    // Half-width katakana are single bytes.
    EXPECT_EQ(Cp932::cutBytes(Cp932::encode(u"ｱｲｳ"_s), 2), Cp932::encode(u"ｱｲ"_s));
}

} // namespace
