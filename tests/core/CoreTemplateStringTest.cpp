#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Core/Inc/Core.h"
#include "tests/support/CaptureDebugOutput.h"

TEST(CoreTemplateStringTest, EmptyStringsHoldNoStorageAndCutsClampIntoTheString)
{
    FString Empty;
    EXPECT_EQ(Empty.GetCharArray().Num(), 0);
    EXPECT_EQ(Empty.Max(), 0);
    ASSERT_NE(*Empty, nullptr);
    EXPECT_EQ(appStrlen(*Empty), 0);
    EXPECT_EQ(FString(u"").Max(), 0);
    EXPECT_EQ(FString(Empty).Max(), 0);
    EXPECT_EQ(FString(u"abc").Left(0).Max(), 0);

    FString Text(u"Models");
    EXPECT_EQ(Text.Left(3), u"Mod");
    EXPECT_EQ(Text.Left(99), u"Models");
    EXPECT_EQ(Text.Left(-2), u"");
    EXPECT_EQ(Text.Mid(2, 3), u"del");
    EXPECT_EQ(Text.Mid(4, 99), u"ls");
    EXPECT_EQ(Text.Mid(-3, 2), u"Mo");
    EXPECT_EQ(Text.Mid(10, 2), u"");

    // Split gives every piece, an empty last one too.
    const std::pair<const char16_t*, std::vector<std::string>> Splits[] = {
        {u"PerformShrink,C:\\Games\\", {"PerformShrink", "C:\\Games\\"}},
        {u"CanShrink", {"CanShrink"}},
        {u"a,b,", {"a", "b", ""}},
    };
    for (const auto& Split : Splits)
    {
        TDynArray<FString> Parts;
        EXPECT_EQ(FString(Split.first).Split(u",", &Parts), int32_t(Split.second.size()));
        EXPECT_EQ(Utf8Lines(Parts), Split.second);
    }
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
