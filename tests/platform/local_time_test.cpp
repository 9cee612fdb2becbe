#include "platform/local_time.h"

#include <gtest/gtest.h>

namespace {

TEST(LocalTime, SystemClockFieldsAreInRange)
{
    platform::LocalTime now = platform::ReadLocalTime();
    EXPECT_GE(now.year, 2000);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    EXPECT_GE(now.day, 1);
    EXPECT_LE(now.day, 31);
    EXPECT_LE(now.hour, 23);
    EXPECT_LE(now.minute, 59);
    EXPECT_LE(now.second, 60);
    EXPECT_GE(now.milliseconds, 0);
    EXPECT_LE(now.milliseconds, 999);
}

TEST(LocalTime, ReplaceableSource)
{
    platform::SetLocalTimeSource([] { return platform::LocalTime{2006, 12, 31, 23, 59, 59, 999}; });
    platform::LocalTime fixed = platform::CurrentLocalTime();
    EXPECT_EQ(fixed.year, 2006);
    EXPECT_EQ(fixed.milliseconds, 999);
    platform::SetLocalTimeSource({});
    EXPECT_GE(platform::CurrentLocalTime().year, 2020);
}

} // namespace
