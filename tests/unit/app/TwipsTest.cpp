#include "app/Twips.h"

#include <gtest/gtest.h>

#include <limits>

TEST(Twips, RoundsHalfToEven)
{
    EXPECT_EQ(Twips::roundHalfEven<int>(0.5), 0);
    EXPECT_EQ(Twips::roundHalfEven<int>(1.5), 2);
    EXPECT_EQ(Twips::roundHalfEven<int>(2.5), 2);
    EXPECT_EQ(Twips::roundHalfEven<int>(-0.5), 0);
    EXPECT_EQ(Twips::roundHalfEven<int>(-1.5), -2);
    EXPECT_EQ(Twips::roundHalfEven<int>(-2.5), -2);
    EXPECT_EQ(Twips::roundHalfEven<int>(2.4999), 2);
    EXPECT_EQ(Twips::roundHalfEven<int>(-2.5001), -3);
}

TEST(Twips, OverflowIsAnErrorNotAWrap)
{
    EXPECT_EQ(Twips::roundHalfEven<qint16>(32767.4), 32767);
    EXPECT_FALSE(Twips::roundHalfEven<qint16>(32767.5).has_value());
    EXPECT_EQ(Twips::roundHalfEven<qint16>(-32768.5), -32768);
    EXPECT_FALSE(Twips::roundHalfEven<qint16>(-32769.0).has_value());
    EXPECT_FALSE(Twips::roundHalfEven<int>(3e9).has_value());
    EXPECT_FALSE(Twips::roundHalfEven<int>(std::numeric_limits<double>::quiet_NaN()).has_value());
    EXPECT_FALSE(Twips::roundHalfEven<int>(std::numeric_limits<double>::infinity()).has_value());
}

TEST(Twips, LayoutValuesBecomePixels)
{
    // 15 twips to a pixel; 27 twips is 1.8 px, 2652 is 176.8 px.
    EXPECT_EQ(Twips::rect(2040, 27, 1455, 255), QRect(136, 2, 97, 17));
    EXPECT_EQ(Twips::rect(120, 360, 2652, 264), QRect(8, 24, 177, 18));
    // 22.5 px rounds to the even 22, 37.5 px to 38.
    EXPECT_EQ(Twips::toPixels(337.5), 22);
    EXPECT_EQ(Twips::toPixels(562.5), 38);
}
