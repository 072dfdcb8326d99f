#include <gtest/gtest.h>

#include <new>

#include "Core/Inc/Core.h"

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

// Growing keeps what was there and zero-fills the new slots; copies are deep; removing closes the gap, and an
// empty array holds no memory.
TEST(CoreTemplateArrayTest, ElementsSurviveGrowthCopiesAndRemoval)
{
    TDynArray<FString> Names;
    for (int32_t i = 0; i < 101; ++i)
        Names.AddItem(FString::Printf(u"n%d", i));
    TDynArray<int32_t> Counts;
    Counts.Add(40);
    for (int32_t Value : Counts)
        EXPECT_EQ(Value, 0);

    TDynArray<FString> Copy(Names);
    Names[0] = u"changed";
    EXPECT_EQ(Copy[0], u"n0");
    EXPECT_EQ(Copy.Pop(), u"n100");
    Copy.Remove(0);
    EXPECT_EQ(Copy.Num(), 99);
    EXPECT_EQ(Copy[0], u"n1");
    EXPECT_EQ(Copy[98], u"n99");
    Copy.Remove(10, 60);
    EXPECT_EQ(Copy[10], u"n71");
    Copy.Remove(0, 39);
    EXPECT_EQ(Copy.Num(), 0);
    EXPECT_EQ(Copy.GetData(), nullptr);
}

TEST(CoreTemplateArrayDeathTest, BadRemoveIsAFatalAssertion)
{
    TDynArray<int32_t> Array;
    Array.Add(3);
    EXPECT_EXIT(
        Array.Remove(2, 2), testing::ExitedWithCode(1),
        "Critical Error At Startup: Assertion failed: Index\\+Count<=ArrayNum \\[File:.*CoreTemplateArray\\.h\\] "
        "\\[Line: .*\\]");
}
