#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreFormat.h"
#include "Core/Inc/CoreHash.h"
#include "Core/Inc/CoreOS.h"
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
    EXPECT_TRUE(Shaped(Lines[0], "99:99:99:9999  Processing a.txd")) << Lines[0]; // "hh:mm:ss:mmmm  text"
}

TEST(CoreUtilDeathTest, FailedCheckReportsAndExitsWithCode1)
{
    EXPECT_EXIT(appCheck(1 + 1 == 3), testing::ExitedWithCode(1),
                "Critical Error At Startup: Assertion failed: 1 \\+ 1 == 3 \\[File:.*CoreUtilTest\\.cpp\\] \\[Line: .*\\]");
}

// Known answers of the published XXH64; a stream cut into pieces of every size gives the digest of the whole.
TEST(CoreUtilTest, Hash64GivesTheKnownDigestsHoweverTheBytesAreCut)
{
    std::string Kilobyte;
    for (int i = 0; i < 1024; ++i)
        Kilobyte += char(i & 0xFF);
    const struct
    {
        std::string Bytes;
        uint64_t Seed0, Seed1;
    } Rows[] = {
        {"", 0xef46db3751d8e999ull, 0xac75fda2929b17efull},
        {"a", 0xd24ec4f1a98c6e5bull, 0x393da8b78992279bull},
        {"abc", 0x44bc2cf5ad770999ull, 0x1318df30094a85fdull},
        {"The quick brown fox jumps over the lazy dog", 0x0b242d361fda71bcull, 0xb31b9019ec176b0cull},
        {Kilobyte, 0x6f3914f18fe4df57ull, 0xb05af54d5f68bff7ull},
    };
    for (const auto& Row : Rows)
    {
        EXPECT_EQ(appHash64(Row.Bytes.data(), Row.Bytes.size()), Row.Seed0) << Row.Bytes.size();
        EXPECT_EQ(appHash64(Row.Bytes.data(), Row.Bytes.size(), 2654435761u), Row.Seed1) << Row.Bytes.size();
        for (size_t Piece : {1, 3, 31, 32, 33, 100})
        {
            FHash64 Hash;
            Hash.Update(nullptr, 0);
            for (size_t At = 0; At < Row.Bytes.size(); At += Piece)
                Hash.Update(Row.Bytes.data() + At, std::min(Piece, Row.Bytes.size() - At));
            EXPECT_EQ(Hash.Digest(), Row.Seed0) << Row.Bytes.size() << " in pieces of " << Piece;
        }
    }
}

TEST(CoreUtilTest, SizesAreShownInTheUnitsOfTheSystemsFileManager)
{
    const bool bExplorer = CoreOS::SizeUnits() == CoreOS::SIZEUNITS_Explorer;
    const struct
    {
        int64_t Bytes;
        const char16_t* Decimal;
        const char16_t* Explorer; // three digits, cut, in units of 1024
    } Rows[] = {
        {952631296, u"952.6 MB", u"908 MB"},  {1500000000, u"1.5 GB", u"1.39 GB"},
        {47890000, u"47.9 MB", u"45.6 MB"},   {1048576000, u"1.0 GB", u"0.97 GB"},
        {512, u"0.0 MB", u"512 bytes"},       {-1, u"-", u"-"},
    };
    for (const auto& Row : Rows)
        EXPECT_EQ(appFormatMegabytes(Row.Bytes), bExplorer ? Row.Explorer : Row.Decimal) << Row.Bytes;
    EXPECT_EQ(appFormatSize(170700), bExplorer ? u"166 KB" : u"170.7 KB");
}
