// Text written into a caller's buffer: cut to fit, never past its end.
#include "GuardedBuffer.h"

#include "base/Cp932.h"
#include "mail/SpanWriter.h"

#include <gtest/gtest.h>

namespace {

TEST(SpanWriter, CutsToTheBufferWithoutSplittingADoubleByteCharacter)
{
    const QByteArray kana = Cp932::encode(QStringLiteral("あいう")); // 6 bytes
    struct Case
    {
        size_t size;
        QByteArray expected;
    };
    for (const Case& c : {Case{1, ""}, Case{2, ""}, Case{3, kana.left(2)}, Case{4, kana.left(2)},
                          Case{6, kana.left(4)}, Case{7, kana}, Case{100, kana}}) {
        SCOPED_TRACE(c.size);
        Guarded g(c.size);
        writeToSpan(g.span, kana);
        EXPECT_EQ(g.text(), c.expected);
        EXPECT_TRUE(g.guardIntact());
    }
    // A trail byte that looks like a lead byte does not fool the cut:
    // "ソ" is 83 5C and "\x83\x83" is ャ; the cut lands after whole characters.
    const QByteArray tricky = Cp932::encode(QStringLiteral("aャャb"));
    Guarded g(5); // room for "aャ" and the lead byte of the second ャ
    writeToSpan(g.span, tricky);
    EXPECT_EQ(g.text(), tricky.left(3));
    EXPECT_TRUE(g.guardIntact());
}

TEST(SpanWriter, AnEmptySpanIsNeverWritten)
{
    char byte = 'G';
    writeToSpan(std::span<char>(&byte, 0), "abc");
    EXPECT_EQ(byte, 'G');
}

} // namespace
