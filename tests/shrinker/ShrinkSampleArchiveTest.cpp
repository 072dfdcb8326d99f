// An end-to-end shrink of a small generated archive, checked entry by entry against the outcome rules.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shrinker/FImgShrinker.h"
#include "shrinker/FRwChunk.h"
#include "shrinker/FSkipRules.h"
#include "shrinker/FTxdImage.h"
#include "tests/support/TempDir.h"
#include "tools/make-sample-game/SampleGame.h"

namespace
{
struct FEntry
{
    std::string Name;
    std::string Bytes;
};

std::vector<FEntry> ReadArchive(const std::string& File)
{
    std::vector<FEntry> Entries;
    uint32_t Count = 0;
    std::memcpy(&Count, File.data() + 4, 4);
    for (uint32_t i = 0; i < Count; ++i)
    {
        uint32_t Offset = 0, Blocks = 0;
        std::memcpy(&Offset, File.data() + 8 + 32 * i, 4);
        std::memcpy(&Blocks, File.data() + 12 + 32 * i, 4);
        FEntry Entry;
        Entry.Name = std::string(File.data() + 16 + 32 * i);
        Entry.Bytes = File.substr(size_t(Offset) * 2048, size_t(Blocks) * 2048);
        Entries.push_back(Entry);
    }
    return Entries;
}

// The texture records of a well-formed dictionary, or false.
bool ParseDictionary(const std::string& Bytes, TDynArray<FRwChunk>& Roots, std::vector<FTxdImage>& Images)
{
    if (!ReadChunks(reinterpret_cast<const uint8_t*>(Bytes.data()), int32_t(Bytes.size()), false, Roots) ||
        !CheckTxdShape(Roots))
        return false;
    for (int32_t i = 1; i + 1 < Roots[0].InnerChunks.Num(); ++i)
    {
        const FByteArray& Payload = Roots[0].InnerChunks[i].InnerChunks[0].DataBytes;
        Images.emplace_back();
        if (!ParseTxdImage(Payload.GetData(), Payload.Num(), Images.back()))
            return false;
    }
    return true;
}

// What the rules make of a texture: new width, height and level count.
void Expect(const FTxdImageHeader& Header, int32_t& Width, int32_t& Height, int32_t& Levels)
{
    const bool bAlpha = Header.FormatFlags & 1;
    const bool bBlocks = Header.D3DFormat == 0x31545844 || Header.D3DFormat == 0x33545844;
    Width = Header.Width;
    Height = Header.Height;
    Levels = Header.MipLevels;
    if (Header.Depth == 8) // palette textures are kept as they are
        return;
    if (Levels >= 2)
    {
        if (Width < 32 || Height < 32)
            return;
        for (int32_t Step = 0; Step < (bAlpha ? 1 : 2); ++Step)
            if (Step == 0 || (Levels >= 2 && Width >= 32 && Height >= 32))
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
    for (int32_t Step = 0; Step < (bAlpha ? 1 : 2); ++Step)
    {
        W = W >= 32 ? W / 2 : W;
        H = H >= 32 ? H / 2 : H;
    }
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

    FShrinkReport Report;
    FShrinkImgOptions ShrinkOptions;
    ShrinkOptions.Report = &Report;
    ASSERT_TRUE(ShrinkImgFile(*Dest, *Src, ShrinkOptions)) << Report.Failure.ToUtf8();
    EXPECT_FALSE(Report.Lines.Num() == 0);

    std::string SrcBytes, DestBytes;
    ASSERT_TRUE(ReadTestFile(Src, SrcBytes));
    ASSERT_TRUE(ReadTestFile(Dest, DestBytes));
    EXPECT_LT(DestBytes.size(), SrcBytes.size());
    const std::vector<FEntry> Before = ReadArchive(SrcBytes);
    const std::vector<FEntry> After = ReadArchive(DestBytes);
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
        const bool bWellFormed = bTxd && ParseDictionary(Before[i].Bytes, Roots, Images);
        const bool bSkip =
            bTxd && Rules.MatchSkipRule(FString::FromUtf8(Before[i].Name.substr(0, Dot).c_str())) == SKIPMATCH_Skip;
        Malformed += bTxd && !bWellFormed;
        Skipped += bWellFormed && bSkip;
        if (!bWellFormed || bSkip)
        {
            EXPECT_EQ(Before[i].Bytes, After[i].Bytes);
            continue;
        }
        TDynArray<FRwChunk> NewRoots;
        std::vector<FTxdImage> NewImages;
        ASSERT_TRUE(ParseDictionary(After[i].Bytes, NewRoots, NewImages));
        ASSERT_EQ(Images.size(), NewImages.size());
        for (size_t t = 0; t < Images.size(); ++t)
        {
            int32_t Width, Height, Levels;
            Expect(Images[t].Header, Width, Height, Levels);
            const FTxdImageHeader& New = NewImages[t].Header;
            EXPECT_EQ(New.Width, Width) << "fmt " << Images[t].Header.D3DFormat << " flags " << int(Images[t].Header.FormatFlags) << " depth " << int(Images[t].Header.Depth) << " levels " << int(Images[t].Header.MipLevels) << " bytes " << Images[t].MipList[0].Num() << " h " << Images[t].Header.Height;
            EXPECT_EQ(New.Height, Height);
            EXPECT_EQ(New.MipLevels, Levels);
            EXPECT_EQ(New.D3DFormat, Images[t].Header.D3DFormat);
            EXPECT_EQ(std::memcmp(New.Name, Images[t].Header.Name, 32), 0);
            Changed += New.Width != Images[t].Header.Width;
        }
    }
    EXPECT_GT(Changed, 0);
    EXPECT_GT(Skipped, 0);
    EXPECT_GT(Malformed, 0);
}
