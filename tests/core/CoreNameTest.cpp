#include <gtest/gtest.h>

#include "Core/Inc/Core.h"

TEST(CoreNameDeathTest, NameBeforeTheTableIsReadyIsFatal)
{
    ASSERT_FALSE(FName::GetInitialized());
    EXPECT_EXIT(FName(u"Log"), testing::ExitedWithCode(1),
                "Critical Error At Startup: FName constructed before FName::StaticInit");
}

TEST(CoreNameTest, NamesAreNumberedInOrderOfFirstUseWithoutRegardToCase)
{
    FName::StaticInit();
    const int32_t Before = FName::NumNames();
    EXPECT_EQ(FName(u"").GetIndex(), 0);
    EXPECT_EQ(FName::NumNames(), Before);
    const int32_t First = FName(u"Exit").GetIndex();
    const int32_t Second = FName(u"Init").GetIndex();
    EXPECT_EQ(First, Before);
    EXPECT_EQ(Second, Before + 1);
    EXPECT_EQ(FName(u"EXIT").GetIndex(), First);
    FName::StaticExit();
}
