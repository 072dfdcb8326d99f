#include <gtest/gtest.h>

#include "Core/Inc/Core.h"
#include "tests/support/CaptureDebugOutput.h"

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

TEST(CoreTemplateMapTest, GrowsAtThe25thPairAndRelinksInPairOrder)
{
    TMap<int32_t, int32_t> Map;
    for (int32_t Key = 0; Key < 24; ++Key)
        Map.Set(Key, Key * 10);
    EXPECT_EQ(Map.HashCount, 8);
    Map.Set(24, 240);
    EXPECT_EQ(Map.HashCount, 16);
    // Every pair was linked anew at the head of its chain in ascending order: slot 0 reads 16, then 0.
    EXPECT_EQ(Map.Hash[0], 16);
    EXPECT_EQ(Map.Pairs[16].HashNext, 0);
    EXPECT_EQ(Map.Pairs[0].HashNext, -1);
    EXPECT_EQ(Map.Hash[8], 24);
    EXPECT_EQ(Map.Pairs[24].HashNext, 8);
    for (int32_t Key = 0; Key < 25; ++Key)
        EXPECT_EQ(*Map.Find(Key), Key * 10);
    // An integer key k hashes as (k >> 7) ^ k.
    Map.Set(128, 1);
    EXPECT_EQ(Map.Hash[(128 >> 7 ^ 128) & 15], 25);
}

TEST(CoreTemplateMapTest, RemovalShrinksTheSlotsAndKeepsTheRest)
{
    TMap<int32_t, int32_t> Map;
    for (int32_t Key = 0; Key < 40; ++Key)
        Map.Set(Key, Key);
    EXPECT_EQ(Map.HashCount, 16);
    for (int32_t Key = 0; Key < 38; ++Key)
        EXPECT_EQ(Map.Remove(Key), 1);
    EXPECT_EQ(Map.Remove(0), 0);
    EXPECT_EQ(Map.HashCount, 8); // halved while above pairs * 2 + 8 = 12
    EXPECT_EQ(*Map.Find(38), 38);
    EXPECT_EQ(*Map.Find(39), 39);
    EXPECT_EQ(Map.Find(5), nullptr);
}

TEST(CoreTemplateMapTest, DumpListsEverySlotsChainLength)
{
    TMap<int32_t, int32_t> Map;
    Map.Set(1, 0);
    Map.Set(9, 0);
    Map.Set(2, 0);
    FLineDevice Out;
    Map.Dump(Out);
    ASSERT_EQ(Out.Lines.size(), 9u);
    EXPECT_EQ(Out.Lines[0], "TMapBase: 3 items, 8 hash slots");
    EXPECT_EQ(Out.Lines[1], "   Hash[0] = 0");
    EXPECT_EQ(Out.Lines[2], "   Hash[1] = 2");
    EXPECT_EQ(Out.Lines[3], "   Hash[2] = 1");
}
