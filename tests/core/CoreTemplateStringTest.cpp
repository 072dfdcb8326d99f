#include <gtest/gtest.h>

#include "Core/Inc/Core.h"

TEST(CoreTemplateStringTest, EmptyStringHoldsNoStorage)
{
    FString Empty;
    EXPECT_EQ(Empty.GetCharArray().Num(), 0);
    EXPECT_EQ(Empty.Max(), 0);
    ASSERT_NE(*Empty, nullptr);
    EXPECT_EQ(appStrlen(*Empty), 0);
    EXPECT_EQ(FString(u"").Max(), 0);
    EXPECT_EQ(FString(Empty).Max(), 0);
    EXPECT_EQ(FString(u"abc").Left(0).Max(), 0);
}

TEST(CoreTemplateStringTest, LeftAndMidClampIntoTheString)
{
    FString Text(u"Models");
    EXPECT_EQ(Text.Left(3), u"Mod");
    EXPECT_EQ(Text.Left(99), u"Models");
    EXPECT_EQ(Text.Left(-2), u"");
    EXPECT_EQ(Text.Mid(2, 3), u"del");
    EXPECT_EQ(Text.Mid(4, 99), u"ls");
    EXPECT_EQ(Text.Mid(-3, 2), u"Mo");
    EXPECT_EQ(Text.Mid(10, 2), u"");
}

TEST(CoreTemplateStringTest, SplitGivesEveryPiece)
{
    TDynArray<FString> Parts;
    EXPECT_EQ(FString(u"PerformShrink,C:\\Games\\").Split(u",", &Parts), 2);
    EXPECT_EQ(Parts[0], u"PerformShrink");
    EXPECT_EQ(Parts[1], u"C:\\Games\\");

    TDynArray<FString> Whole;
    FString(u"CanShrink").Split(u",", &Whole);
    ASSERT_EQ(Whole.Num(), 1);
    EXPECT_EQ(Whole[0], u"CanShrink");

    TDynArray<FString> Trailing;
    FString(u"a,b,").Split(u",", &Trailing);
    ASSERT_EQ(Trailing.Num(), 3);
    EXPECT_EQ(Trailing[2], u"");
}

TEST(CoreTemplateStringTest, ConvertsToAndFromUtf8AndBytes)
{
    const FString Text = FString::FromUtf8("caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(Text, u"caf\u00e9 \u20ac");
    EXPECT_EQ(Text.ToUtf8(), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(Text.ToBytes(), std::string("caf\xE9 \x7F"));
    EXPECT_EQ(FString::Printf(u"%s-%d", u"x", 5), u"x-5");
    // A text longer than any fixed buffer (a report's JSON put into its frame) comes out whole.
    const FString Long = FString::FromUtf8(std::string(10000, 'j').c_str());
    EXPECT_EQ(FString::Printf(u"{%s}", *Long), u"{" + Long + u"}");
}
