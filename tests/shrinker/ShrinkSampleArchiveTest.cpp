// An end-to-end shrink of a small generated archive: every entry it leaves alone comes through byte for byte, its
// own account adds up, and the output is the same bytes on every build. (What the rules make of each texture is
// the re-encoding policy's own test.)
#include <gtest/gtest.h>

#include <algorithm>
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
// The texture records of a dictionary whose every record parses (what the shrink does not copy as it is);
// false for any other entry.
bool ReadRecords(const FBytes& Bytes, std::vector<FBytes>* Records = nullptr)
{
    TDynArray<FRwChunk> Roots;
    if (!ReadChunks(Bytes.data(), int32_t(Bytes.size()), false, Roots) || !CheckTxdShape(Roots))
        return false;
    for (int32_t i = 1; i + 1 < Roots[0].InnerChunks.Num(); ++i)
    {
        const FHeldBytes& Payload = Roots[0].InnerChunks[i].InnerChunks[0].DataBytes;
        FTxdImage Image;
        if (!ParseTxdImage(Payload.GetData(), Payload.Num(), Image))
            return false;
        if (Records)
            Records->emplace_back(Payload.GetData(), Payload.GetData() + Payload.Num());
    }
    return true;
}

bool IsWellFormedDictionary(const FBytes& Bytes)
{
    return ReadRecords(Bytes);
}

FTxdImageHeader HeaderOf(const FBytes& Record)
{
    FTxdImageHeader Header;
    std::memcpy(&Header, Record.data(), sizeof(Header));
    return Header;
}

// The source and the output have the digests the shrink gave.
void ExpectDigestsOfTheFiles(const FShrinkResult& Result, const FString& Src, const FString& Dest)
{
    uint64_t Digest = 0;
    EXPECT_TRUE(DigestImgArchive(*Src, Digest));
    EXPECT_EQ(Digest, Result.SourceDigest);
    EXPECT_TRUE(DigestImgArchive(*Dest, Digest));
    EXPECT_EQ(Digest, Result.OutputDigest);
    EXPECT_NE(Result.SourceDigest, Result.OutputDigest);
}

uint64_t Fnv1a(const FBytes& Bytes)
{
    uint64_t Hash = 0xcbf29ce484222325ull;
    for (uint8_t Byte : Bytes)
        Hash = (Hash ^ Byte) * 0x100000001b3ull;
    return Hash;
}

const uint64_t SampleDigest = 0xeb76f32934d64244ull;
} // namespace

TEST(ShrinkSampleArchiveTest, WhatIsLeftAloneIsCopiedAndTheBytesAreTheSameOnEveryBuild)
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
    int32_t Skipped = 0, Malformed = 0;
    for (size_t i = 0; i < Before.size(); ++i)
    {
        SCOPED_TRACE(Before[i].Name);
        ASSERT_EQ(Before[i].Name, After[i].Name);
        const size_t Dot = Before[i].Name.rfind('.');
        const bool bTxd = Dot != std::string::npos && FString::FromUtf8(Before[i].Name.c_str() + Dot + 1).EqualsNoCase(u"txd");
        const bool bWellFormed = bTxd && IsWellFormedDictionary(Before[i].Data);
        const bool bSkip =
            bTxd && Rules.MatchSkipRule(FString::FromUtf8(Before[i].Name.substr(0, Dot).c_str())) == SKIPMATCH_Skip;
        Malformed += bTxd && !bWellFormed;
        Skipped += bWellFormed && bSkip;
        if (!bWellFormed || bSkip)
        {
            EXPECT_EQ(Before[i].Data, After[i].Data);
        }
    }
    EXPECT_GT(Skipped, 0);

    // The shrinker's own account agrees, and its counts add up.
    const FTextureFacts& Facts = Result.Stats.Textures;
    EXPECT_GT(Facts.Changed, 0);
    EXPECT_GT(Malformed, 0);
    EXPECT_EQ(Facts.MalformedEntries, Malformed);
    EXPECT_EQ(Facts.Total, Facts.Changed + Facts.Skipped + Facts.KeptAsTheyAre());
    EXPECT_EQ(Facts.KeptAsTheyAre(), Facts.TooSmall + Facts.Palette + Facts.NotUnderstood);
    EXPECT_EQ(Result.SkipRulesDigest, FSkipRules::DefaultDigest());
    ExpectDigestsOfTheFiles(Result, Src, Dest);
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

// The largest side: every texture above it comes out at it or below (or as close as whole blocks allow, and
// counted) in its own format; every other texture, byte for byte.
TEST(ShrinkSampleArchiveTest, LargestSideBringsEveryTextureToItAndLeavesTheRestByteForByte)
{
    FTempDir Dir;
    const FString Src = Dir / u"gta3.img";
    const FString Dest = Dir / u"out.img";
    SampleGame::FSampleGameOptions Sample;
    Sample.Seed = 5;
    Sample.EntryCount = 120;
    ASSERT_TRUE(SampleGame::WriteSampleImg(Src.ToUtf8(), Sample, nullptr));
    const int32_t Side = 64;
    FShrinkOptions Options;
    Options.Settings = FShrinkSettings::LargestSide(Side);
    Options.Jobs = 3;
    const FShrinkResult Result = ShrinkImgFile(*Dest, *Src, Options);
    ASSERT_TRUE(Result.bOk) << Result.Reason.ToUtf8();
    ExpectDigestsOfTheFiles(Result, Src, Dest);

    const std::vector<FImgEntryView> Before = ParseImg(ReadFileBytes(Src)).Entries;
    const std::vector<FImgEntryView> After = ParseImg(ReadFileBytes(Dest)).Entries;
    ASSERT_EQ(Before.size(), After.size());
    FSkipRules Rules;
    Rules.LoadDefaults();
    int32_t Above = 0, Short = 0;
    for (size_t i = 0; i < Before.size(); ++i)
    {
        std::vector<FBytes> Old, New;
        if (!ReadRecords(Before[i].Data, &Old) || !ReadRecords(After[i].Data, &New))
            continue;
        const std::string Name = Before[i].Name.substr(0, Before[i].Name.rfind('.'));
        const bool bSkipped = Rules.MatchSkipRule(FString::FromUtf8(Name.c_str())) == SKIPMATCH_Skip;
        ASSERT_EQ(Old.size(), New.size());
        for (size_t t = 0; t < Old.size(); ++t)
        {
            const FTxdImageHeader Was = HeaderOf(Old[t]), Is = HeaderOf(New[t]);
            SCOPED_TRACE(Before[i].Name + " " + Was.Name);
            Short += !bSkipped && Was.Depth != 8 && std::max(Is.Width, Is.Height) > Side;
            if (std::max(Was.Width, Was.Height) <= Side || Was.Depth == 8 || Old[t] == New[t])
            {
                EXPECT_EQ(Old[t], New[t]);
                continue;
            }
            ++Above;
            EXPECT_EQ(Is.D3DFormat, Was.D3DFormat);
            EXPECT_EQ(Is.Depth, Was.Depth);
            EXPECT_EQ(Is.FormatFlags, Was.FormatFlags);
            EXPECT_EQ(Was.Width / Is.Width, Was.Height / Is.Height);
        }
    }
    const FTextureFacts& Facts = Result.Stats.Textures;
    EXPECT_GT(Above, 0);
    EXPECT_EQ(Short, Facts.CannotReachSide);
    EXPECT_EQ(Facts.Total, Facts.Changed + Facts.Skipped + Facts.KeptAsTheyAre());
}

namespace
{
// A sample archive of Entries entries with the signs of lettering and cut-outs.
bool WriteLetteredSample(const FString& Src, uint32_t Seed, int32_t Entries)
{
    SampleGame::FSampleGameOptions Sample;
    Sample.Seed = Seed;
    Sample.EntryCount = Entries;
    Sample.bLettering = true;
    return SampleGame::WriteSampleImg(Src.ToUtf8(), Sample, nullptr);
}
} // namespace

// A dry run that only works out sizes gives, for each choice a player is shown, the bytes, the counts and the facts
// of the full dry run, texture by texture and in the order of the archive; the full one measures what each changed
// texture loses, the same with any number of threads.
TEST(ShrinkSampleArchiveTest, SizesOnlyDryRunGivesTheBytesAndFactsOfTheFullOne)
{
    FTempDir Dir;
    const FString Src = Dir / u"gta3.img";
    ASSERT_TRUE(WriteLetteredSample(Src, 7, 140));
    for (const FShrinkSettings& Settings : FShrinkSettings::Choices())
    {
        SCOPED_TRACE(Settings.ToText().ToUtf8());
        std::vector<FTextureFact> Full, Sized, Measured;
        FShrinkOptions Options;
        Options.bDryRun = true;
        Options.Settings = Settings;
        Options.OnTexture = [&Full](const FTextureFact& Fact) { Full.push_back(Fact); };
        const FShrinkResult FullRun = ShrinkImgFile(u"", *Src, Options);
        // The loss of each texture, the same on one thread as on two.
        Options.bMeasureLoss = true;
        Options.Jobs = 2;
        Options.OnTexture = [&Measured](const FTextureFact& Fact) { Measured.push_back(Fact); };
        ASSERT_TRUE(ShrinkImgFile(u"", *Src, Options).bOk);
        Options.Jobs = 1;
        Options.OnTexture = [&Full](const FTextureFact& Fact) { Full.push_back(Fact); };
        Full.clear();
        ASSERT_TRUE(ShrinkImgFile(u"", *Src, Options).bOk);
        ASSERT_EQ(Full.size(), Measured.size());
        for (size_t i = 0; i < Full.size(); ++i)
        {
            EXPECT_EQ(Full[i].Loss.SquaredError, Measured[i].Loss.SquaredError);
            EXPECT_EQ(Full[i].Loss.IsMeasured(), Full[i].Outcome == ETextureOutcome::Changed);
        }
        Options.bMeasureLoss = false;
        Options.bSizesOnly = true;
        Options.OnTexture = [&Sized](const FTextureFact& Fact) { Sized.push_back(Fact); };
        const FShrinkResult SizedRun = ShrinkImgFile(u"", *Src, Options);
        ASSERT_TRUE(FullRun.bOk && SizedRun.bOk);
        EXPECT_EQ(FullRun.OutputBytes, SizedRun.OutputBytes);
        EXPECT_EQ(FullRun.ReportLines.Num(), SizedRun.ReportLines.Num());
        ASSERT_EQ(int32_t(Full.size()), FullRun.Stats.Textures.Total);
        ASSERT_EQ(Full.size(), Sized.size());
        int32_t Changed = 0;
        for (size_t i = 0; i < Full.size(); ++i)
        {
            const FTextureFact &A = Full[i], &B = Sized[i];
            EXPECT_TRUE(A.Entry == B.Entry && A.Index == B.Index && A.Name == B.Name && A.Outcome == B.Outcome &&
                        A.NewWidth == B.NewWidth && A.NewHeight == B.NewHeight && A.NewBytes == B.NewBytes)
                << A.TxdName.ToUtf8() << "." << A.Name.ToUtf8();
            EXPECT_TRUE(i == 0 || A.Entry > Full[i - 1].Entry || A.Index == Full[i - 1].Index + 1);
            EXPECT_EQ(A.Outcome == ETextureOutcome::Changed, A.NewBytes < A.Bytes);
            Changed += A.Outcome == ETextureOutcome::Changed;
        }
        EXPECT_EQ(Changed, FullRun.Stats.Textures.Changed);
    }
}

// The keep-quality mode takes no texture below the loss asked, and goes further the more loss it may take.
TEST(ShrinkSampleArchiveTest, KeepQualityTakesNoTextureBelowTheLossAsked)
{
    FTempDir Dir;
    const FString Src = Dir / u"gta3.img";
    ASSERT_TRUE(WriteLetteredSample(Src, 11, 120));
    int64_t Bytes[2] = {};
    const int32_t Asked[2] = {40, 25};
    for (int32_t i = 0; i < 2; ++i)
    {
        FShrinkOptions Options;
        Options.bDryRun = true;
        Options.bSizesOnly = true; // not for this mode: it measures the pixels themselves
        Options.bMeasureLoss = true;
        Options.Settings = FShrinkSettings::KeepQuality(Asked[i]);
        int32_t Changed = 0;
        Options.OnTexture = [&](const FTextureFact& Fact)
        {
            if (Fact.Outcome != ETextureOutcome::Changed)
                return;
            ++Changed;
            EXPECT_GE(Fact.Loss.Psnr(), Asked[i]) << Fact.TxdName.ToUtf8() << "." << Fact.Name.ToUtf8();
            EXPECT_GE(std::min(Fact.NewWidth, Fact.NewHeight), 16);
        };
        const FShrinkResult Result = ShrinkImgFile(u"", *Src, Options);
        ASSERT_TRUE(Result.bOk);
        EXPECT_GT(Changed, 0);
        Bytes[i] = Result.OutputBytes;
    }
    EXPECT_LT(Bytes[1], Bytes[0]);
}


// The fit mode at the standard shrink's size loses less than the standard shrink, makes the same bytes for any
// number of threads, and a size out of reach comes out as small as the rules allow, no texture below 16 pixels.
TEST(ShrinkSampleArchiveTest, FitLosesLessThanTheStandardShrinkForItsSize)
{
    FTempDir Dir;
    const FString Src = Dir / u"gta3.img";
    ASSERT_TRUE(WriteLetteredSample(Src, 11, 120));
    auto Run = [&Src](const FShrinkSettings& Settings, int32_t Jobs, FTextureLoss& Loss)
    {
        FShrinkOptions Options;
        Options.bDryRun = true;
        Options.bMeasureLoss = true;
        Options.Settings = Settings;
        Options.Jobs = Jobs;
        Options.OnTexture = [&Loss](const FTextureFact& Fact)
        {
            Loss.SquaredError += Fact.Loss.SquaredError;
            EXPECT_GE(std::min(Fact.NewWidth, Fact.NewHeight), std::min({Fact.Width, Fact.Height, 16}));
        };
        return ShrinkImgFile(u"", *Src, Options);
    };
    FTextureLoss Standard, Fit, FitAlone, Smallest;
    const FShrinkResult StandardRun = Run(FShrinkSettings::Standard(), 0, Standard);
    ASSERT_TRUE(StandardRun.bOk);
    const FShrinkResult FitRun = Run(FShrinkSettings::FitIn(StandardRun.OutputBytes), 2, Fit);
    const FShrinkResult FitAloneRun = Run(FShrinkSettings::FitIn(StandardRun.OutputBytes), 1, FitAlone);
    ASSERT_TRUE(FitRun.bOk && FitAloneRun.bOk);
    EXPECT_LE(FitRun.OutputBytes, StandardRun.OutputBytes);
    EXPECT_EQ(FitRun.FitTarget, StandardRun.OutputBytes);
    EXPECT_LT(Fit.SquaredError, Standard.SquaredError / 2);
    EXPECT_EQ(FitRun.OutputDigest, FitAloneRun.OutputDigest);

    const FShrinkResult SmallestRun = Run(FShrinkSettings::FitIn(1), 2, Smallest);
    ASSERT_TRUE(SmallestRun.bOk);
    EXPECT_LT(SmallestRun.OutputBytes, FitRun.OutputBytes);
    EXPECT_GT(SmallestRun.OutputBytes, SmallestRun.FitTarget);
}
