#include <gtest/gtest.h>

#include "Core/Inc/Core.h"

TEST(CoreTemplateMapTest, TextKeysIgnoreAsciiCase)
{
    TMap<FString, int32_t> Map;
    Map.Set(FString(u"SkipRules"), 1);
    ASSERT_NE(Map.Find(FString(u"SKIPRULES")), nullptr);
    EXPECT_EQ(*Map.Find(FString(u"skiprules")), 1);
    Map.Set(FString(u"SKIPRULES"), 2); // replaces, keeps the first spelling
    EXPECT_EQ(Map.Num(), 1);
    EXPECT_EQ(*Map.Find(FString(u"SkipRules")), 2);
    EXPECT_EQ(Map.Pairs[0].Key, u"SkipRules");
    EXPECT_EQ(Map.Find(FString(u"Other")), nullptr);
}

// The slots grow and shrink with the pairs: every pair is found throughout, and no other key.
TEST(CoreTemplateMapTest, PairsAreFoundThroughGrowthAndRemoval)
{
    TMap<int32_t, int32_t> Map;
    auto ExpectHeld = [&Map](int32_t From)
    {
        for (int32_t Key = 0; Key < 200; ++Key)
            EXPECT_EQ(Map.Find(Key) ? *Map.Find(Key) : -1, Key % 5 || Key < From ? -1 : Key) << Key;
    };
    for (int32_t Key = 0; Key < 200; Key += 5)
        Map.Set(Key, Key);
    ExpectHeld(0);
    for (int32_t Key = 0; Key < 190; Key += 5)
        EXPECT_EQ(Map.Remove(Key), 1);
    EXPECT_EQ(Map.Remove(0), 0);
    EXPECT_EQ(Map.Num(), 2);
    ExpectHeld(190);
}
