// The CP932 codec under the settings files.
#include "base/Cp932.h"
#include "support/QtValues.h"

#include <QRandomGenerator>

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

TEST(Cp932, OddSingleBytesAndCutOffLeadBytesDecodeAsOnWindows)
{
    // Bytes outside ASCII and half-width katakana that Windows maps, and back.
    EXPECT_EQ(Cp932::decode("\x80\xA0\xFD\xFE\xFF"), u"\u0080\uF8F0\uF8F1\uF8F2\uF8F3");
    EXPECT_EQ(Cp932::encode(u"\u0080\uF8F0\uF8F1\uF8F2\uF8F3"_s), "\x80\xA0\xFD\xFE\xFF");
    EXPECT_EQ(Cp932::decode("\xA1\xDF"), u"｡ﾟ");
    // A lead byte at the very end is the code page's default character ・,
    // which is written as 81 45.
    EXPECT_EQ(Cp932::decode("abc\x81"), u"abc・");
    EXPECT_EQ(Cp932::encode(Cp932::decode("abc\x81")), "abc\x81\x45");
    EXPECT_EQ(Cp932::decode(bytes("a\0b"sv)), QString::fromUtf16(u"a\0b", 3));
}

TEST(Cp932, LeadByteThatStartsNoCharacterIsKeptForTheWayBack)
{
    // Before a byte that cannot follow it, in an unassigned row, before a line end.
    const QByteArray cases[] = {"\x81\x31z", "\x85\x40", "x\xEB\x40y",
                                "\x81\r\n",  "\x9F\x7F", "\x85\x85\x40"};
    for (const QByteArray& raw : cases) {
        const QString text = Cp932::decode(raw);
        EXPECT_EQ(Cp932::encode(text), raw) << text.toStdString();
    }
    EXPECT_EQ(Cp932::decode("\x81\x31z"), u"\xDC81"
                                          "1z");
    EXPECT_EQ(Cp932::decode("\x85\x85\x81\x40"), u"\xDC85\xDC85\u3000");
    // Other lone surrogates are no bytes of any file: they have no form.
    EXPECT_EQ(Cp932::encode(u"\xDC41\xDCA1\xD800"_s), "???");
}

TEST(Cp932, AKeptLeadByteNeverJoinsTheCharacterWrittenAfterIt)
{
    // 84 93 is no character and 93 is cut off at the end (・, written 81 45);
    // EE EE is none, and EE A2 is written in its Windows form FB BE. Kept
    // before those forms, 84 and EE would make 84 81 and EE FB, characters
    // of their own: they become '?' there, and saving again changes nothing.
    const struct
    {
        std::string_view read;
        std::string_view written;
    } cases[] = {
        {"b\x84\x93"sv, "b?\x81\x45"sv},
        {"\xEE\xEE\xEE\xA2."sv, "\xEE?\xFB\xBE."sv},
        {"\x81\x31\x85\x85\x40"sv, "\x81\x31\x85\x85\x40"sv}, // kept where nothing joins
        // Kept before 93 40: 84 93 is no character, though 84 40 is one.
        {"\x84\x93\x40"sv, "\x84\x93\x40"sv},
    };
    for (const auto& c : cases) {
        const QByteArray written = Cp932::encode(Cp932::decode(bytes(c.read)));
        EXPECT_EQ(written, bytes(c.written)) << c.read;
        EXPECT_EQ(Cp932::encode(Cp932::decode(written)), written) << c.read;
    }
    // At the very end a kept lead byte would be cut off, and read back as ・.
    EXPECT_EQ(Cp932::encode(Cp932::decode("abc\x81\x31").chopped(1)), "abc?");
}

TEST(Cp932, EveryByteStringWindowsKeepsRoundTrips)
{
    // All strings of one and two bytes. A lead byte alone at the end reads as
    // ・ on Windows too; the only other change Windows makes is writing a
    // character of several forms (NEC and IBM extension rows) in its one form.
    const auto severalForms = [](unsigned char lead) {
        return lead == 0x87 || lead == 0xED || lead == 0xEE || lead >= 0xFA;
    };
    for (int first = 0; first < 256; ++first) {
        for (int second = -1; second < 256; ++second) {
            QByteArray raw(1, char(first));
            if (second >= 0)
                raw.append(char(second));
            const QString text = Cp932::decode(raw);
            if (Cp932::isLeadByte(static_cast<unsigned char>(raw.back())) && text.endsWith(u'・'))
                continue;
            const QByteArray back = Cp932::encode(text);
            ASSERT_EQ(Cp932::decode(back), text) << first << ' ' << second;
            if (back != raw) {
                ASSERT_TRUE(severalForms(static_cast<unsigned char>(first)) && text.size() == 1)
                    << first << ' ' << second;
            }
        }
    }
    // Long random strings of every other byte, ending in a byte that is no lead byte.
    QRandomGenerator random(932);
    for (int round = 0; round < 200; ++round) {
        QByteArray raw;
        while (raw.size() < 300) {
            const auto b = static_cast<unsigned char>(random.bounded(256));
            if (!severalForms(b))
                raw.append(char(b));
        }
        raw.append('.');
        ASSERT_EQ(Cp932::encode(Cp932::decode(raw)), raw) << round;
    }
}

TEST(Cp932, CharactersOfSeveralFormsAreWrittenInTheirWindowsForm)
{
    const struct
    {
        std::string_view read;
        std::string_view written;
    } cases[] = {
        {"\xED\x40"sv, "\xFA\x5C"sv}, // 纊: NEC-selected IBM row -> IBM row
        {"\xEE\xEF"sv, "\xFA\x40"sv}, // ⅰ
        {"\xEE\xF9"sv, "\x81\xCA"sv}, // ￢ -> JIS row
        {"\xFA\x54"sv, "\x81\xCA"sv}, // ￢
        {"\x87\x90"sv, "\x81\xE0"sv}, // ≒: NEC row 13 -> JIS row
        {"\xFA\x4A"sv, "\x87\x54"sv}, // Ⅰ: IBM row -> NEC row 13
        {"\xF0\x40"sv, "\xF0\x40"sv}, // user-defined area: U+E000
    };
    for (const auto& c : cases)
        EXPECT_EQ(Cp932::encode(Cp932::decode(bytes(c.read))), bytes(c.written)) << c.read;
    EXPECT_EQ(Cp932::decode("\xF0\x40\xF9\xFC"), u"\uE000\uE757");
}

TEST(Cp932, JisFormsFromOtherInputMethodsGetTheirCp932Bytes)
{
    EXPECT_EQ(Cp932::encode(u"〜−—‖¢£¬"_s),
              "\x81\x60\x81\x7C\x81\x5C\x81\x61\x81\x91\x81\x92\x81\xCA");
    EXPECT_EQ(Cp932::encode(u"¥‾"_s), "\\~");
}

TEST(Cp932, CutTextCountsTheBytesOfTheEncoding)
{
    EXPECT_EQ(Cp932::cutText(u"ab表c"_s, 3), u"ab");
    EXPECT_EQ(Cp932::cutText(u"ab表c"_s, 4), u"ab表");
    EXPECT_EQ(Cp932::cutText(u"ｱｲ\u0080"_s, 3), u"ｱｲ\u0080");
    // A character outside the BMP is one '?': both its units stay or go together.
    EXPECT_EQ(Cp932::cutText(u"a😀b"_s, 2), u"a😀");
    EXPECT_EQ(Cp932::cutText(u"a😀b"_s, 1), u"a");
    EXPECT_EQ(Cp932::cutText(u"abc"_s, 0), u"");
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
