#include <gtest/gtest.h>

#include <new>

#include "Core/Inc/Core.h"

TEST(CoreTemplateArrayTest, GrowthFollowsTheArrayRule)
{
    TDynArray<int32_t> Array;
    EXPECT_EQ(Array.Add(), 0);
    EXPECT_EQ(Array.Max(), 33); // 1 + 0 + 32
    for (int32_t i = 1; i < 33; ++i)
        Array.Add();
    EXPECT_EQ(Array.Max(), 33);
    Array.Add(); // the 34th
    EXPECT_EQ(Array.Max(), 78); // 34 + 12 + 32
    for (int32_t Value : Array)
        EXPECT_EQ(Value, 0); // new slots are zero-filled
}

TEST(CoreTemplateArrayTest, GrowthThatCannotBeHadThrowsAndKeepsTheArray)
{
    // Past what the 32-bit count holds: refused before anything is asked of the allocator.
    TDynArray<char> Bytes;
    Bytes.AddItem('x');
    EXPECT_THROW(Bytes.Add(INT32_MAX), std::bad_alloc);
    EXPECT_EQ(Bytes.Num(), 1);
    EXPECT_EQ(Bytes[0], 'x');

    // A count that fits but whose growth rule does not, of elements too large for any memory (2^51 bytes).
    struct FMegabyte
    {
        uint8_t Bytes[1 << 20];
    };
    TDynArray<FMegabyte> Huge;
    EXPECT_THROW(Huge.Add(INT32_MAX - 100), std::bad_alloc);
    EXPECT_EQ(Huge.Num(), 0);
    EXPECT_EQ(Huge.Max(), 0);
    EXPECT_EQ(Huge.Add(), 0); // still usable
}

TEST(CoreTemplateArrayTest, RemoveKeepsSmallSlackAndReleasesWhenEmpty)
{
    TDynArray<int32_t> Array;
    Array.Reserve(133);
    for (int32_t i = 0; i < 101; ++i)
        Array.AddItem(i);
    ASSERT_EQ(Array.Max(), 133);
    Array.Remove(0); // 100 of 133: slack 33 is not worth cutting
    EXPECT_EQ(Array.Num(), 100);
    EXPECT_EQ(Array.Max(), 133);
    EXPECT_EQ(Array[0], 1);
    EXPECT_EQ(Array[99], 100);
    Array.Remove(10, 60); // 40 of 133: cut back to exactly 40
    EXPECT_EQ(Array.Max(), 40);
    EXPECT_EQ(Array[10], 71);
    Array.Remove(0, 40);
    EXPECT_EQ(Array.Max(), 0);
    EXPECT_EQ(Array.GetData(), nullptr);
}

TEST(CoreTemplateArrayTest, CopiesAllocateExactlyWhatIsUsed)
{
    TDynArray<FString> Names;
    Names.AddItem(FString(u"alpha"));
    Names.AddItem(FString(u"beta"));
    TDynArray<FString> Copy(Names);
    EXPECT_EQ(Copy.Max(), 2);
    Names[0] = u"changed";
    EXPECT_EQ(Copy[0], u"alpha");
    EXPECT_EQ(Copy.Pop(), u"beta");
    EXPECT_EQ(Copy.Num(), 1);
}

TEST(CoreTemplateArrayDeathTest, BadRemoveIsAFatalAssertion)
{
    TDynArray<int32_t> Array;
    Array.Add(3);
    EXPECT_EXIT(Array.Remove(2, 2), testing::ExitedWithCode(1),
                "Critical Error At Startup: Assertion failed: Index\\+Count<=ArrayNum \\[File:.*CoreTemplateArray\\.h\\] "
                "\\[Line: .*\\]");
}
