#include "base/Rounding.h"

#include <QtGlobal>

#include <gtest/gtest.h>

#include <limits>

TEST(Rounding, RoundsHalfToEven)
{
    EXPECT_EQ(roundHalfEven<int>(0.5), 0);
    EXPECT_EQ(roundHalfEven<int>(1.5), 2);
    EXPECT_EQ(roundHalfEven<int>(2.5), 2);
    EXPECT_EQ(roundHalfEven<int>(-0.5), 0);
    EXPECT_EQ(roundHalfEven<int>(-1.5), -2);
    EXPECT_EQ(roundHalfEven<int>(-2.5), -2);
    EXPECT_EQ(roundHalfEven<int>(2.4999), 2);
    EXPECT_EQ(roundHalfEven<int>(-2.5001), -3);
}

TEST(Rounding, OverflowIsAnErrorNotAWrap)
{
    EXPECT_EQ(roundHalfEven<qint16>(32767.4), 32767);
    EXPECT_FALSE(roundHalfEven<qint16>(32767.5).has_value());
    EXPECT_EQ(roundHalfEven<qint16>(-32768.5), -32768);
    EXPECT_FALSE(roundHalfEven<qint16>(-32769.0).has_value());
    EXPECT_FALSE(roundHalfEven<int>(3e9).has_value());
    EXPECT_FALSE(roundHalfEven<int>(std::numeric_limits<double>::quiet_NaN()).has_value());
    EXPECT_FALSE(roundHalfEven<int>(std::numeric_limits<double>::infinity()).has_value());
}
