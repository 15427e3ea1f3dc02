#include "ui/Twips.h"

#include <gtest/gtest.h>

TEST(Twips, LayoutValuesBecomePixels)
{
    // 15 twips to a pixel; 27 twips is 1.8 px, 2652 is 176.8 px.
    EXPECT_EQ(Twips::rect(2040, 27, 1455, 255), QRect(136, 2, 97, 17));
    EXPECT_EQ(Twips::rect(120, 360, 2652, 264), QRect(8, 24, 177, 18));
    // 22.5 px rounds to the even 22, 37.5 px to 38.
    EXPECT_EQ(Twips::toPixels(337.5), 22);
    EXPECT_EQ(Twips::toPixels(562.5), 38);
}
