#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Core/Inc/Core.h"
#include "tests/support/CaptureDebugOutput.h"

namespace
{
struct FLastLine : public FOutputDevice
{
    FString Text;
    int32_t Event = 0;
    void Serialize(const char16_t* InText, int32_t InEvent) override
    {
        Text = InText;
        Event = InEvent;
    }
};
} // namespace

TEST(CoreUtilTest, LogfCutsAt1022Characters)
{
    std::u16string Long(5000, u'x');
    FLastLine Out;
    Out.Logf(u"%s", Long.c_str());
    EXPECT_EQ(Out.Text.Len(), 1022);
    EXPECT_EQ(Out.Event, 1);
}

TEST(CoreUtilTest, ScratchRingWrapsAfter256TakesAndNoTwoThreadsShareATake)
{
    char16_t* First = appScratchText();
    appStrcpy(First, u"kept");
    std::vector<char16_t*> Taken;
    for (int32_t i = 0; i < 255; ++i)
        Taken.push_back(appScratchText());
    for (char16_t* Text : Taken)
        EXPECT_NE(Text, First);
    EXPECT_EQ(FString(First), u"kept"); // still valid after 255 more
    char16_t* Again = appScratchText();
    EXPECT_EQ(Again, First);
    EXPECT_EQ(Again[0], 0);

    std::vector<char16_t*> A(100), B(100);
    auto TakeAll = [](std::vector<char16_t*>& Slots)
    {
        for (char16_t*& Slot : Slots)
            Slot = appScratchText();
    };
    std::thread T1(TakeAll, std::ref(A)), T2(TakeAll, std::ref(B));
    T1.join();
    T2.join();
    for (char16_t* X : A)
        for (char16_t* Y : B)
            ASSERT_NE(X, Y);
}

TEST(CoreUtilTest, FromAnsiKeepsByteValues)
{
    const char16_t* Text = appFromAnsi("caf\xE9");
    EXPECT_EQ(Text[3], 0x00E9);
    EXPECT_EQ(Text[4], 0);
    EXPECT_EQ(appFromAnsi(nullptr), nullptr);
}

TEST(CoreUtilTest, TracesAreDroppedUnlessEnabled)
{
    {
        FCaptureDebugOutput Capture(false);
        EngineTrace(u"Processing %s", u"a.txd");
        appTrace(1, u"quiet");
        EXPECT_TRUE(Capture.Lines().empty());
    }
    FCaptureDebugOutput Capture(true);
    EngineTrace(u"Processing %s", u"a.txd");
    const std::vector<std::string> Lines = Capture.Lines();
    ASSERT_EQ(Lines.size(), 1u);
    // "hh:mm:ss:mmmm  text"
    const std::string Shape = "99:99:99:9999  Processing a.txd";
    ASSERT_EQ(Lines[0].size(), Shape.size()) << Lines[0];
    for (size_t i = 0; i < Shape.size(); ++i)
        EXPECT_TRUE(Shape[i] == '9' ? isdigit((unsigned char)Lines[0][i]) != 0 : Lines[0][i] == Shape[i]) << Lines[0];
}

TEST(CoreUtilDeathTest, FailedCheckReportsAndExitsWithCode1)
{
    EXPECT_EXIT(appCheck(1 + 1 == 3), testing::ExitedWithCode(1),
                "Critical Error At Startup: Assertion failed: 1 \\+ 1 == 3 \\[File:.*CoreUtilTest\\.cpp\\] \\[Line: .*\\]");
}
