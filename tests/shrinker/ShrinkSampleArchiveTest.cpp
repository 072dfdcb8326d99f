// An end-to-end shrink of a small generated archive, checked entry by entry against the outcome rules.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "shrinker/FImgShrinker.h"
#include "shrinker/FRwChunk.h"
#include "shrinker/FSkipRules.h"
#include "shrinker/FTxdImage.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/TempDir.h"
#include "tools/make-sample-game/SampleGame.h"

namespace
{
// The texture records of a well-formed dictionary, or false.
bool ParseDictionary(const FBytes& Bytes, TDynArray<FRwChunk>& Roots, std::vector<FTxdImage>& Images)
{
    if (!ReadChunks(Bytes.data(), int32_t(Bytes.size()), false, Roots) || !CheckTxdShape(Roots))
        return false;
    for (int32_t i = 1; i + 1 < Roots[0].InnerChunks.Num(); ++i)
    {
        const FHeldBytes& Payload = Roots[0].InnerChunks[i].InnerChunks[0].DataBytes;
        Images.emplace_back();
        if (!ParseTxdImage(Payload.GetData(), Payload.Num(), Images.back()))
            return false;
    }
    return true;
}

uint64_t Fnv1a(const FBytes& Bytes)
{
    uint64_t Hash = 0xcbf29ce484222325ull;
    for (uint8_t Byte : Bytes)
        Hash = (Hash ^ Byte) * 0x100000001b3ull;
    return Hash;
}

const uint64_t SampleDigest = 0xeb76f32934d64244ull;

// What the rules make of a texture: new width, height and level count.
void Expect(const FTxdImageHeader& Header, int32_t& Width, int32_t& Height, int32_t& Levels)
{
    const bool bAlpha = Header.FormatFlags & 1;
    const int32_t Steps = bAlpha ? 1 : 2;
    Width = Header.Width;
    Height = Header.Height;
    Levels = Header.MipLevels;
    if (Header.Depth == 8) // palette textures are kept as they are
        return;
    if (Levels >= 2)
    {
        for (int32_t Step = 0; Step < Steps && Levels >= 2 && Width >= 32 && Height >= 32; ++Step)
        {
            Width /= 2;
            Height /= 2;
            --Levels;
        }
        return;
    }
    if (Height < 32)
        return;
    int32_t W = Width, H = Height;
    for (int32_t Step = 0; Step < Steps; ++Step)
    {
        W = W >= 32 ? W / 2 : W;
        H = H >= 32 ? H / 2 : H;
    }
    const bool bBlocks = Header.D3DFormat == 0x31545844 || Header.D3DFormat == 0x33545844;
    if (bBlocks && (W % 4 || H % 4))
        return;
    Width = W;
    Height = H;
}
} // namespace

TEST(ShrinkSampleArchiveTest, EveryEntryEndsAsTheRulesSay)
{
    FTempDir Dir;
    const FString Src = Dir / u"gta3.img";
    const FString Dest = Dir / u"gta3_TEMP.img";
    SampleGame::FSampleGameOptions Options;
    Options.Seed = 11;
    Options.EntryCount = 160;
    std::string Error;
    ASSERT_TRUE(SampleGame::WriteSampleImg(Src.ToUtf8(), Options, &Error)) << Error;

    const FShrinkResult Result = ShrinkImgFile(*Dest, *Src, FShrinkOptions());
    ASSERT_TRUE(Result.bOk) << Result.Reason.ToUtf8();
    EXPECT_FALSE(Result.ReportLines.Num() == 0);

    const FBytes SrcBytes = ReadFileBytes(Src), DestBytes = ReadFileBytes(Dest);
    EXPECT_LT(DestBytes.size(), SrcBytes.size());
    const std::vector<FImgEntryView> Before = ParseImg(SrcBytes).Entries, After = ParseImg(DestBytes).Entries;
    ASSERT_EQ(Before.size(), After.size());

    FSkipRules Rules;
    Rules.LoadDefaults();
    int32_t Changed = 0, Skipped = 0, Malformed = 0;
    for (size_t i = 0; i < Before.size(); ++i)
    {
        SCOPED_TRACE(Before[i].Name);
        ASSERT_EQ(Before[i].Name, After[i].Name);
        const size_t Dot = Before[i].Name.rfind('.');
        const bool bTxd = Dot != std::string::npos && FString::FromUtf8(Before[i].Name.c_str() + Dot + 1).EqualsNoCase(u"txd");
        TDynArray<FRwChunk> Roots;
        std::vector<FTxdImage> Images;
        const bool bWellFormed = bTxd && ParseDictionary(Before[i].Data, Roots, Images);
        const bool bSkip =
            bTxd && Rules.MatchSkipRule(FString::FromUtf8(Before[i].Name.substr(0, Dot).c_str())) == SKIPMATCH_Skip;
        Malformed += bTxd && !bWellFormed;
        Skipped += bWellFormed && bSkip;
        if (!bWellFormed || bSkip)
        {
            EXPECT_EQ(Before[i].Data, After[i].Data);
            continue;
        }
        TDynArray<FRwChunk> NewRoots;
        std::vector<FTxdImage> NewImages;
        ASSERT_TRUE(ParseDictionary(After[i].Data, NewRoots, NewImages));
        ASSERT_EQ(Images.size(), NewImages.size());
        for (size_t t = 0; t < Images.size(); ++t)
        {
            int32_t Width, Height, Levels;
            Expect(Images[t].Header, Width, Height, Levels);
            const FTxdImageHeader& New = NewImages[t].Header;
            EXPECT_EQ(New.Width, Width);
            EXPECT_EQ(New.Height, Height);
            EXPECT_EQ(New.MipLevels, Levels);
            EXPECT_EQ(New.D3DFormat, Images[t].Header.D3DFormat);
            EXPECT_EQ(std::memcmp(New.Name, Images[t].Header.Name, 32), 0);
            Changed += New.Width != Images[t].Header.Width || New.Height != Images[t].Header.Height;
        }
    }
    EXPECT_GT(Changed, 0);
    EXPECT_GT(Skipped, 0);
    EXPECT_GT(Malformed, 0);

    // The shrinker's own account agrees, and its counts add up.
    const FTextureFacts& Facts = Result.Stats.Textures;
    EXPECT_EQ(Facts.Changed, Changed);
    EXPECT_EQ(Facts.MalformedEntries, Malformed);
    EXPECT_EQ(Facts.Total, Facts.Changed + Facts.Skipped + Facts.TooSmall + Facts.Palette + Facts.NotUnderstood);
    int32_t Kinds = 0, Sizes = 0;
    for (const auto& Pair : Facts.PerKind)
        Kinds += Pair.Value;
    std::set<std::pair<int32_t, int32_t>> Distinct;
    for (const FTextureSizeCount& Size : Facts.Sizes)
    {
        Sizes += Size.Count;
        EXPECT_TRUE(Distinct.insert({Size.Width, Size.Height}).second) << Size.Width << "x" << Size.Height;
    }
    EXPECT_EQ(Kinds, Facts.Total);
    EXPECT_EQ(Sizes, Facts.Total);

    // The same bytes as ever: the rewrite, the policy and the block coder together, on both systems.
    EXPECT_EQ(Fnv1a(DestBytes), SampleDigest);
}
