#include "app/dialog_units.h"

#include <QFont>

#include <gtest/gtest.h>

namespace {

using ui::DialogBaseUnits;

// The base units of "MS Sans Serif" 8 pt on a 96-dpi screen, where the main
// window's 490 x 266 units are 735 x 432 pixels.
constexpr DialogBaseUnits kClassicUnits{6, 13};

TEST(DialogUnits, ConvertsWithTheClassicBaseUnits)
{
    EXPECT_EQ(ui::DialogUnitsToPixels(QSize(490, 266), kClassicUnits), QSize(735, 432));
    EXPECT_EQ(ui::DialogUnitsToPixels(QRect(433, 245, 50, 14), kClassicUnits), QRect(650, 398, 75, 23));
    EXPECT_EQ(ui::DialogUnitsToPixels(QRect(192, 28, 279, 174), kClassicUnits), QRect(288, 46, 419, 283));
}

TEST(DialogUnits, RoundsHalvesAwayFromZero)
{
    // 1 x 6 / 4 = 1.5, 3 x 6 / 4 = 4.5, 1 x 13 / 8 = 1.625, 4 x 13 / 8 = 6.5
    EXPECT_EQ(ui::HorizontalUnitsToPixels(1, kClassicUnits), 2);
    EXPECT_EQ(ui::HorizontalUnitsToPixels(3, kClassicUnits), 5);
    EXPECT_EQ(ui::HorizontalUnitsToPixels(-3, kClassicUnits), -5);
    EXPECT_EQ(ui::VerticalUnitsToPixels(1, kClassicUnits), 2);
    EXPECT_EQ(ui::VerticalUnitsToPixels(4, kClassicUnits), 7);
    EXPECT_EQ(ui::VerticalUnitsToPixels(0, kClassicUnits), 0);
    // 5 x 7 / 4 = 8.75, 2 x 15 / 8 = 3.75: rounded up, not truncated
    EXPECT_EQ(ui::HorizontalUnitsToPixels(5, DialogBaseUnits{7, 15}), 9);
    EXPECT_EQ(ui::VerticalUnitsToPixels(2, DialogBaseUnits{7, 15}), 4);
}

TEST(DialogUnits, BaseUnitsFollowTheFont)
{
    const DialogBaseUnits small = ui::BaseUnitsOf(ui::DialogFont());
    EXPECT_GT(small.x, 0);
    EXPECT_GT(small.y, small.x); // letters are taller than they are wide on average
    QFont large = ui::DialogFont();
    large.setPointSize(24);
    const DialogBaseUnits big = ui::BaseUnitsOf(large);
    EXPECT_GT(big.x, small.x);
    EXPECT_GT(big.y, small.y);
}

} // namespace
