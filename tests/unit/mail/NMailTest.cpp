// The mail library's failure text in the caller's buffer, without a server.
#include "GuardedBuffer.h"

#include "base/Cp932.h"
#include "mail/NMail.h"

#include <gtest/gtest.h>

namespace {

TEST(NMailGetMessage, WritesAtMostTheSmallerOfBufferAndSizeAndCutAtNulFindsTheEnd)
{
    NMail mail;
    EXPECT_EQ(mail.NMailPop3Connect("  "), -1);
    const QByteArray full = Cp932::encode(mail.lastMessage());
    ASSERT_GT(full.size(), 10);
    Guarded g(8192);
    int size = 9; // smaller than the buffer: wins, and the cut keeps characters whole
    // "POP3 サー…": 8 bytes would end inside "ー", so 7 are written.
    EXPECT_EQ(mail.NMailGetMessage(0, g.span, size), 7);
    EXPECT_EQ(size, 7);
    EXPECT_EQ(g.text(), full.left(7));
    Guarded small(5);
    size = 8192; // larger than the buffer: the buffer wins
    mail.NMailGetMessage(0, small.span, size);
    EXPECT_EQ(small.text(), full.left(4));
    EXPECT_TRUE(small.guardIntact());

    EXPECT_EQ(CutAtNul(QStringLiteral("abc") + QChar(0) + QStringLiteral("def")),
              QStringLiteral("abc"));
    EXPECT_EQ(CutAtNul(QStringLiteral("abc")), QStringLiteral("abc"));
    EXPECT_EQ(CutAtNul(QString()), QString());
}

} // namespace
