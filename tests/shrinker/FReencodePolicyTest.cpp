#include <gtest/gtest.h>

#include <vector>

#include "shrinker/FReencodePolicy.h"
#include "shrinker/FTextureResample.h"
#include "shrinker/FTxdImage.h"
#include "tests/support/CaptureDebugOutput.h"
#include "tools/make-sample-game/SampleGame.h"

using SampleGame::ETextureKind;

namespace
{
struct FPolicyRun
{
    std::vector<uint8_t> Record;
    FTxdImage Image;
    FSkipRules Rules;
    const FShrinkSettings Settings;
    FTxdEntryContext Context{Rules, &ReencodeImage, FString(u"shop"), nullptr, nullptr, Settings};
    ETextureOutcome Outcome = ETextureOutcome::NotUnderstood;
    bool bChanged = false;

    FPolicyRun(ETextureKind Kind, uint16_t Width, uint16_t Height, uint8_t Levels, uint32_t D3DFormat = 0,
               int32_t Depth = -1, const char16_t* SkipRule = nullptr,
               const FShrinkSettings& InSettings = FShrinkSettings())
        : Settings(InSettings)
    {
        if (SkipRule)
            Rules.AddSkipRule(FString(u"skip"), FString(SkipRule));
        SampleGame::FSampleTexture Texture;
        Texture.Name = "wall";
        Texture.Kind = Kind;
        Texture.Width = Width;
        Texture.Height = Height;
        Texture.MipLevels = Levels;
        Record = SampleGame::MakeTextureRecord(Texture);
        if (D3DFormat)
            std::memcpy(&Record[76], &D3DFormat, 4);
        if (Depth >= 0)
            Record[84] = uint8_t(Depth);
        EXPECT_TRUE(ParseTxdImage(Record.data(), int32_t(Record.size()), Image));
        Context.ImageName = u"shop.wall";
        Outcome = ReencodeImage(Context, Image);
        bChanged = Outcome == ETextureOutcome::Changed;
    }
};

std::vector<std::string> Report(const FPolicyRun& Run)
{
    return Utf8Lines(Run.Context.Stats.GetReportLines());
}
} // namespace

// The standard shrink (largest side 0): levels are dropped while both sides stay 32 or more (two for opaque
// textures, one for those with alpha), and a single level is resampled instead.
// The largest side: whole halvings until the larger side is N or less, dropping levels while smaller ones
// remain and resampling the last; block-coded sides stay multiples of 4; at or below N nothing changes.
TEST(FReencodePolicyTest, OutcomesFollowLevelsSizesAlphaAndTheLargestSide)
{
    struct FRow
    {
        ETextureKind Kind;
        uint32_t D3DFormat; // 0: the kind's
        uint16_t Width, Height;
        uint8_t Levels;
        int32_t MaxSide; // 0: the standard shrink
        uint16_t NewWidth, NewHeight;
        uint8_t NewLevels;
        ETextureOutcome Outcome;
        bool bStoppedShort;
    };
    const ETextureOutcome Changed = ETextureOutcome::Changed, Stays = ETextureOutcome::TooSmall,
                          Blocks = ETextureOutcome::NotUnderstood;
    const uint32_t Dxt5 = 0x35545844, NoKind = 99;
    const FRow Rows[] = {
        {ETextureKind::Dxt1, 0, 512, 512, 10, 0, 128, 128, 8, Changed, false}, // opaque, 3+ levels: two dropped
        {ETextureKind::Dxt3, 0, 256, 256, 9, 0, 128, 128, 8, Changed, false},  // alpha: one dropped
        {ETextureKind::Dxt1a, 0, 64, 64, 7, 0, 32, 32, 6, Changed, false},     // alpha: one dropped
        {ETextureKind::Dxt1, 0, 64, 64, 2, 0, 32, 32, 1, Changed, false},      // exactly two levels
        {ETextureKind::Dxt1, 0, 64, 32, 7, 0, 32, 16, 6, Changed, false},      // the second step needs both at 32
        {ETextureKind::Rgbx, 0, 128, 128, 8, 0, 32, 32, 6, Changed, false},
        {ETextureKind::Dxt1, 0, 16, 64, 5, 0, 16, 64, 5, Stays, false},   // a side below 32: unchanged
        {ETextureKind::Rgbx, 0, 16, 64, 1, 0, 16, 16, 1, Changed, false}, // one level: only the height halves, twice
        {ETextureKind::Dxt1, 0, 128, 16, 1, 0, 128, 16, 1, Stays, false}, // one level, height below 32: unchanged
        {ETextureKind::Rgba, 0, 64, 64, 1, 0, 32, 32, 1, Changed, false}, // one level with alpha: once
        {ETextureKind::Rgbx, 0, 64, 64, 1, 0, 16, 16, 1, Changed, false}, // one level opaque: twice
        {ETextureKind::Dxt1, 0, 40, 64, 1, 0, 20, 16, 1, Changed, false},
        {ETextureKind::Dxt3, 0, 64, 128, 1, 0, 32, 64, 1, Changed, false},
        {ETextureKind::Dxt1, 0, 36, 36, 1, 0, 36, 36, 1, Blocks, false},         // 18 x 18 would not fill whole blocks
        {ETextureKind::Dxt1, 0, 512, 512, 10, 128, 128, 128, 8, Changed, false}, // levels dropped
        {ETextureKind::Rgbx, 0, 64, 64, 7, 16, 16, 16, 5, Changed, false},
        {ETextureKind::Dxt1, 0, 512, 256, 3, 64, 64, 32, 1, Changed, false}, // levels run out: the last resampled
        {ETextureKind::Dxt1a, 0, 1024, 1024, 1, 1000, 512, 512, 1, Changed, false},
        {ETextureKind::Rgba, 0, 300, 200, 1, 100, 75, 50, 1, Changed, false},      // any side for 32-bit pixels
        {ETextureKind::Dxt3, Dxt5, 128, 128, 1, 32, 32, 32, 1, Changed, false},    // DXT5 resampled too
        {ETextureKind::Dxt3, 0, 64, 1024, 1, 16, 4, 64, 1, Changed, true},         // 2 x 32 would not be whole blocks
        {ETextureKind::Dxt1, 0, 36, 1028, 1, 512, 36, 1028, 1, Blocks, true},      // no halving keeps whole blocks
        {ETextureKind::Dxt1, NoKind, 256, 256, 2, 32, 128, 128, 1, Changed, true}, // the last level cannot be decoded
        {ETextureKind::Dxt1, NoKind, 256, 256, 1, 32, 256, 256, 1, Blocks, true},
        {ETextureKind::Rgba, 0, 256, 256, 1, 256, 256, 256, 1, Stays, false}, // at N: left as it is
        {ETextureKind::Dxt1, 0, 16, 16, 5, 16, 16, 16, 5, Stays, false},
    };
    for (const FRow& Row : Rows)
    {
        SCOPED_TRACE(testing::Message() << Row.Width << "x" << Row.Height << " x" << int(Row.Levels) << " to "
                                        << Row.MaxSide);
        FPolicyRun Run(Row.Kind, Row.Width, Row.Height, Row.Levels, Row.D3DFormat, -1, nullptr,
                       Row.MaxSide ? FShrinkSettings::LargestSide(Row.MaxSide) : FShrinkSettings());
        const FTxdImageHeader& Header = Run.Image.Header;
        EXPECT_EQ(Run.Outcome, Row.Outcome);
        EXPECT_EQ(Header.Width * 10000 + Header.Height, Row.NewWidth * 10000 + Row.NewHeight);
        EXPECT_EQ(Header.MipLevels, Row.NewLevels);
        EXPECT_EQ(Run.Image.MipList.Num(), int32_t(Row.NewLevels));
        EXPECT_EQ(Run.Context.Stats.Textures.CannotReachSide, Row.bStoppedShort ? 1 : 0);
        // The format is kept: the largest level has exactly the size of its kind; the texture is counted once.
        if (Row.D3DFormat != NoKind)
        {
            EXPECT_EQ(uint32_t(Run.Image.MipList[0].Num()),
                      SampleGame::TextureLevelBytes(Row.Kind, Header.Width, Header.Height));
        }
        EXPECT_EQ(Run.Context.Stats.FormatStats.Num(), Row.D3DFormat ? 0 : 1);
        const FByteArray Written = WriteTxdImage(Run.Image);
        if (Row.Outcome == Changed)
            EXPECT_LT(size_t(Written.Num()), Run.Record.size());
        else
            EXPECT_EQ(std::vector<uint8_t>(Written.begin(), Written.end()), Run.Record);
    }
}

TEST(FReencodePolicyTest, KeptLevelsAreTheOriginalBytes)
{
    FPolicyRun Run(ETextureKind::Dxt1, 256, 256, 9);
    ASSERT_TRUE(Run.bChanged);
    // Two levels gone: what is left starts with the original third level, still a view into the record.
    const uint8_t* Third = Run.Record.data() + 88 + 4 + 32768 + 4 + 8192 + 4;
    EXPECT_EQ(Run.Image.MipList[0].GetData(), Third);
    EXPECT_EQ(Run.Image.MipList[0].Num(), 2048);
}

// Statistics describe the texture before its reduction; what is not understood is left as it is and uncounted.
TEST(FReencodePolicyTest, StatisticsUseTheSizeBeforeReductionAndUnknownFormatsAreLeftAlone)
{
    // Together in one report: 512 x 512, not the size left, and the larger texture first.
    FPolicyRun Run(ETextureKind::Dxt1, 512, 512, 10);
    Run.Context.Stats.Add(FPolicyRun(ETextureKind::Dxt1a, 16, 8, 1).Context.Stats);
    EXPECT_EQ(Report(Run), (std::vector<std::string>{"1 images have DXT1 format", "1 images have DXT1a format",
                                                     "   1 images are   512 x  512", "   1 images are    16 x    8",
                                                     "   1 images are  DXT1a    16 x    8  x1",
                                                     "   1 images are  DXT1    512 x  512  x10"}));

    // No kind, several levels: the largest level still goes (alpha bit set, so only one).
    FPolicyRun NoKind(ETextureKind::Dxt1a, 64, 64, 3, /*D3DFormat*/ 99);
    EXPECT_TRUE(NoKind.bChanged);
    EXPECT_EQ(NoKind.Image.Header.Width, 32);
    EXPECT_EQ(Report(NoKind),
              (std::vector<std::string>{"   1 images are    64 x   64", "   1 images are      64 x   64  x3"}));

    // No kind, one level: nothing to decode, so nothing changes.
    FPolicyRun NoKindSingle(ETextureKind::Dxt1, 64, 64, 1, 99);
    EXPECT_EQ(NoKindSingle.Outcome, ETextureOutcome::NotUnderstood);
    EXPECT_EQ(NoKindSingle.Image.Header.Width, 64);

    // A DXT1 header claiming 32 bits a pixel contradicts itself: untouched and uncounted.
    FPolicyRun Contradiction(ETextureKind::Dxt1, 64, 64, 4, 0, /*Depth*/ 32);
    EXPECT_EQ(Contradiction.Outcome, ETextureOutcome::NotUnderstood);
    EXPECT_EQ(Contradiction.Image.Header.MipLevels, 4);
    EXPECT_EQ(Contradiction.Context.Stats.FormatStats.Num(), 0);

    // A skipped texture is counted all the same.
    FPolicyRun Skipped(ETextureKind::Dxt1, 64, 64, 4, 0, -1, u"sh*");
    EXPECT_EQ(Skipped.Outcome, ETextureOutcome::Skipped);
    EXPECT_EQ(Skipped.Image.Header.MipLevels, 4);
    EXPECT_EQ(Skipped.Context.Stats.FormatStats.Num(), 1);
}

// Smooth resampling changes the pixels, never the sizes; the standard shrink picks unless asked.
TEST(FReencodePolicyTest, SmoothResamplingIsAskedOrTheLargestSidesDefault)
{
    FShrinkSettings Smooth = FShrinkSettings::Standard();
    Smooth.Smooth = ESmoothChoice::Smooth;
    FShrinkSettings Picking = FShrinkSettings::LargestSide(16);
    Picking.Smooth = ESmoothChoice::NoSmooth;
    const FPolicyRun Standard(ETextureKind::Rgbx, 64, 64, 1);
    const FPolicyRun Smoothed(ETextureKind::Rgbx, 64, 64, 1, 0, -1, nullptr, Smooth);
    const FPolicyRun Largest(ETextureKind::Rgbx, 64, 64, 1, 0, -1, nullptr, FShrinkSettings::LargestSide(16));
    const FPolicyRun Picked(ETextureKind::Rgbx, 64, 64, 1, 0, -1, nullptr, Picking);
    auto Level = [](const FPolicyRun& Run)
    {
        const FHeldBytes& Bytes = Run.Image.MipList[0];
        return std::vector<uint8_t>(Bytes.GetData(), Bytes.GetData() + Bytes.Num());
    };
    EXPECT_EQ(Smoothed.Image.Header.Width, 16);
    EXPECT_NE(Level(Smoothed), Level(Standard));
    EXPECT_EQ(Level(Largest), Level(Smoothed));
    EXPECT_EQ(Level(Picked), Level(Standard));
}
