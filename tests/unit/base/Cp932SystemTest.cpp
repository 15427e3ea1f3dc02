// The codec beside the system's own code page 932 conversion
// (MultiByteToWideChar, WideCharToMultiByte) for every one- and two-byte
// sequence and every UTF-16 code unit. The two agree except in two kinds of
// case, each named here with its reason; any other difference fails.
//
// Decoding: a lead byte followed by a byte that completes no character with
// it. Windows reads ・ (U+30FB) and loses the lead byte; the codec keeps it as
// U+DC00 + byte and decodes the next byte on its own, so that saving the value
// again writes the same bytes.
//
// Encoding: the nine JIS forms that input methods outside Windows produce
// (〜 − — ‖ ¢ £ ¬ ¥ ‾), which Windows turns into '?', are written as their
// CP932 counterparts. The comparison is with WC_NO_BEST_FIT_CHARS: a
// character without a form becomes '?', never a look-alike.
#include "base/Cp932.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <string>

namespace {

QString systemDecode(const char* bytes, int size)
{
    wchar_t out[4] = {};
    const int n = MultiByteToWideChar(932, 0, bytes, size, out, 4);
    return QString::fromWCharArray(out, n);
}

QByteArray systemEncode(char16_t c)
{
    const wchar_t in = wchar_t(c);
    char out[4] = {};
    const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &in, 1, out, 4, nullptr, nullptr);
    return QByteArray(out, n);
}

std::string hex(QStringView text)
{
    std::string s;
    for (const QChar c : text)
        s += QString::number(c.unicode(), 16).rightJustified(4, u'0').toStdString() + ' ';
    return s;
}

TEST(Cp932System, EveryOneAndTwoByteSequenceDecodesAsWindowsReadsIt)
{
    int keptLeadBytes = 0;
    std::string unexplained;
    int unexplainedCount = 0;
    for (int first = 0; first < 256; ++first) {
        const char one[1] = {char(first)};
        if (Cp932::decode(QByteArrayView(one, 1)) != systemDecode(one, 1)) {
            ++unexplainedCount;
            unexplained += "byte " + std::to_string(first) + '\n';
        }
        for (int second = 0; second < 256; ++second) {
            const char two[2] = {char(first), char(second)};
            const QString ours = Cp932::decode(QByteArrayView(two, 2));
            const QString system = systemDecode(two, 2);
            if (ours == system)
                continue;
            const QString kept = QChar(char16_t(0xDC00 + first)) +
                                 Cp932::decode(QByteArrayView(two + 1, 1));
            if (Cp932::isLeadByte(uchar(first)) && ours == kept &&
                system.startsWith(QChar(u'\u30FB'))) {
                ++keptLeadBytes;
                continue;
            }
            if (++unexplainedCount <= 20)
                unexplained += std::to_string(first) + ' ' + std::to_string(second) + ": ours " +
                               hex(ours) + "system " + hex(system) + '\n';
        }
    }
    EXPECT_EQ(unexplainedCount, 0) << unexplained;
    // Every pair of a lead byte and a byte that is no trail byte (below 0x40,
    // 0x7F, above 0xFC), and the lead bytes' unassigned rows.
    EXPECT_GT(keptLeadBytes, 0);
}

TEST(Cp932System, EveryCodeUnitEncodesAsWindowsWritesIt)
{
    constexpr std::array<std::pair<char16_t, char16_t>, 9> kJisForms = {{
        {u'\u00A2', u'\uFFE0'}, {u'\u00A3', u'\uFFE1'}, {u'\u00A5', u'\\'},
        {u'\u00AC', u'\uFFE2'}, {u'\u2014', u'\u2015'}, {u'\u2016', u'\u2225'},
        {u'\u203E', u'~'},      {u'\u2212', u'\uFF0D'}, {u'\u301C', u'\uFF5E'},
    }};
    int jisForms = 0;
    std::string unexplained;
    int unexplainedCount = 0;
    for (int code = 0; code < 0x10000; ++code) {
        const char16_t c = char16_t(code);
        const QByteArray ours = Cp932::encode(QStringView(&c, 1));
        const QByteArray system = systemEncode(c);
        if (ours == system)
            continue;
        bool explained = false;
        for (const auto& [jis, cp932] : kJisForms) {
            if (c == jis && system == "?" && ours == systemEncode(cp932))
                explained = true;
        }
        if (explained) {
            ++jisForms;
        } else if (++unexplainedCount <= 20) {
            unexplained += "U+" + hex(QStringView(&c, 1)) + ": ours " + ours.toHex(' ').toStdString() +
                           ", system " + system.toHex(' ').toStdString() + '\n';
        }
    }
    EXPECT_EQ(unexplainedCount, 0) << unexplained;
    EXPECT_EQ(jisForms, int(kJisForms.size()));
}

} // namespace
