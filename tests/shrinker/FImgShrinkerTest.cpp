#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <string>
#include <vector>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "shrinker/FImgShrinker.h"
#include "shrinker/FTxdImage.h"
#include "tests/support/CaptureDebugOutput.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TxdBuilder.h"
#include "tools/make-sample-game/SampleGame.h"

namespace
{
std::vector<std::string> GSeenImages;

// Stand-ins for the re-encoding policy.
ETextureOutcome DropLargestLevel(FTxdEntryContext& Context, FTxdImage& Image)
{
    GSeenImages.push_back(Context.ImageName.ToUtf8());
    if (Image.MipList.Num() < 2)
        return ETextureOutcome::TooSmall;
    Image.MipList.Remove(0);
    Image.Header.MipLevels--;
    Image.Header.Width >>= 1;
    Image.Header.Height >>= 1;
    return ETextureOutcome::Changed;
}

// Level 0 becomes 3929 owned bytes of 0x77.
ETextureOutcome ReplaceLevelZero(FTxdEntryContext& /*Context*/, FTxdImage& Image)
{
    const FBytes Level(3929, 0x77);
    Image.MipList[0].SetOwned(Level.data(), int32_t(Level.size()));
    return ETextureOutcome::Changed;
}

// A policy that keeps every texture: the rewrite alone is under test.
ETextureOutcome KeepEverything(FTxdEntryContext&, FTxdImage&)
{
    return ETextureOutcome::TooSmall;
}

// Sets the cancel value when the progress trace of entry 7 goes by, as a front end would while entry 7 is
// being written.
std::atomic<int32_t> GCancelValue{0};
int32_t GPercentLines = 0;
void CancelAfterEighthEntry(const char16_t* Text)
{
    if (FString(Text).InStr(u"PercentDone") >= 0 && ++GPercentLines == 8)
        GCancelValue.store(1);
}

// One well-formed dictionary whose single texture the stand-in shrinks.
FBytes ShrinkableTxd()
{
    return TxdDictionary({Dxt1Texture("wall", 64, 64, 3)});
}
} // namespace

class FImgShrinkerTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        GShrinkCancelFlag = nullptr;
        GShrinkProgress = nullptr;
        CoreOS::SetWriteLimit(-1);
        GSeenImages.clear();
    }

    bool Shrink(const FBytes& Source, FReencodeImageFunc Reencode = nullptr, int64_t WriteLimit = -1)
    {
        EXPECT_TRUE(WriteFileBytes(Src, Source));
        CoreOS::SetWriteLimit(WriteLimit);
        Options.Reencode = Reencode;
        Result = ShrinkImgFile(*Dest, *Src, Options);
        CoreOS::SetWriteLimit(-1);
        EXPECT_EQ(Result.bOk, Result.Failure == EShrinkFailure::None);
        EXPECT_EQ(Result.bOk, Result.Reason.IsEmpty());
        return Result.bOk;
    }

    FImgView Output() const { return ParseImg(ReadFileBytes(Dest)); }

    FTempDir Dir;
    FString Src = Dir.File(u"gta3.img");
    FString Dest = Dir.File(u"gta3_TEMP.img");
    // The stand-ins record what they see in call order, so the shrinks here are serial unless a test says so.
    FShrinkOptions Options = []
    {
        FShrinkOptions Serial;
        Serial.Jobs = 1;
        return Serial;
    }();
    FShrinkResult Result;
};

TEST_F(FImgShrinkerTest, UnchangedArchiveIsReproducedByteForByte)
{
    FImgBuilder Builder;
    Builder.FirstBlock(3).FillerByte(0x5A);
    Builder.Add("bus.dff", FBytes(3000, 0x11), 0xAB).Add("bus.txd", ShrinkableTxd(), 0xCD).Add("empty.col", {});
    Builder.Add("readme", FBytes(2048, 0x22));
    const FBytes Expected = Builder.Build();

    FCaptureDebugOutput Capture;
    ASSERT_TRUE(Shrink(FImgBuilder(Builder).Trailing({1, 2, 3}).Build(), &KeepEverything));
    EXPECT_EQ(ReadFileBytes(Dest), Expected); // the trailing bytes are not copied
    EXPECT_EQ(Result.OutputBytes, int64_t(Expected.size()));
    EXPECT_TRUE(Capture.Contains("Writing "));
    // The dictionary was examined and counted although nothing changed.
    EXPECT_EQ(Utf8Lines(Result.ReportLines), std::vector<std::string>{"1 images have 3 MipLevels"});
    // A dry run reads as a shrink does and writes nothing, which its trace says too.
    FCaptureDebugOutput DryRun;
    Options.bDryRun = true;
    ASSERT_TRUE(Shrink(FImgBuilder(Builder).Build(), &KeepEverything));
    EXPECT_TRUE(DryRun.Contains("Reading ") && !DryRun.Contains("Writing "));
}

TEST_F(FImgShrinkerTest, OnlyNamesEndingInTxdAreDictionaries)
{
    const FBytes Txd = ShrinkableTxd();
    const char* const Names[] = {"LOD.TXD", "a.b.txd", "readme", "tree.dff", "txd", "a.txd.col"};
    FImgBuilder Builder;
    for (const char* Name : Names)
        Builder.Add(Name, Txd);
    ASSERT_TRUE(Shrink(Builder.Build(), &DropLargestLevel));
    EXPECT_EQ(GSeenImages, (std::vector<std::string>{"LOD.wall", "a.b.wall"}));
    const FImgView Out = Output();
    ASSERT_EQ(Out.Entries.size(), 6u);
    for (size_t i = 0; i < Out.Entries.size(); ++i)
        EXPECT_EQ(Out.Entries[i].Data == PadToBlocks(Txd), i >= 2) << Names[i];
}

TEST_F(FImgShrinkerTest, EntriesArePackedInWholeBlocksWithoutGaps)
{
    FTestTexture Texture = Dxt1Texture("big", 64, 64, 1);
    Texture.Levels[0] = FBytes(9000, 0x33); // a 9168-byte stream: 5 blocks
    FTestTexture Shrunk = Texture;
    Shrunk.Levels[0] = FBytes(3929, 0x77); // a 4097-byte stream
    const FBytes ShrunkStream = TxdDictionary({Shrunk});
    ASSERT_EQ(ShrunkStream.size(), 4097u);

    FCaptureDebugOutput Capture;
    ASSERT_TRUE(Shrink(
        FImgBuilder().Add("big.txd", TxdDictionary({Texture}), 0xEE).Gap(3).Add("next.dff", FBytes(4000, 2)).Build(),
        &ReplaceLevelZero));
    const FImgView Out = Output();
    ASSERT_EQ(Out.Entries.size(), 2u);
    EXPECT_EQ(Out.Entries[0].BlockCount, 3u);
    EXPECT_EQ(Out.Entries[0].Data, PadToBlocks(ShrunkStream)); // the last 2047 bytes are zero
    EXPECT_EQ(Out.Entries[1].BlockOffset, Out.Entries[0].BlockOffset + 3);
    EXPECT_EQ(Out.Entries[1].Data, PadToBlocks(FBytes(4000, 2)));
    EXPECT_EQ(ReadFileBytes(Dest).size(), (1u + 3 + 2) * 2048);
    EXPECT_TRUE(Capture.Contains("Block gap: 3"));
}

TEST_F(FImgShrinkerTest, ProgressIsPublishedAndTracedPerEntry)
{
    struct FCase
    {
        int32_t NumEntries;
        std::vector<std::string> Traced;
        int32_t Last;
    };
    std::vector<std::string> Every10th; // of 200 entries: 0, 5, ..., 95
    for (int32_t Percent = 0; Percent < 100; Percent += 5)
        Every10th.push_back("PercentDone: " + std::to_string(Percent));
    const FCase Cases[] = {{4, {"PercentDone: 0", "PercentDone: 25", "PercentDone: 50", "PercentDone: 75"}, 75},
                           {200, Every10th, 100}};
    for (const FCase& Case : Cases)
    {
        SCOPED_TRACE(Case.NumEntries);
        FImgBuilder Builder;
        for (int32_t i = 0; i < Case.NumEntries; ++i)
            Builder.Add("e" + std::to_string(i) + ".dat", {uint8_t(i)});
        std::atomic<int32_t> Progress{-1};
        GShrinkProgress = &Progress;
        FCaptureDebugOutput Capture;
        ASSERT_TRUE(Shrink(Builder.Build()));
        std::vector<std::string> Traced;
        for (const std::string& Line : Capture.Lines())
            if (Line.find("PercentDone: ") != std::string::npos)
                Traced.push_back(Line.substr(Line.find("PercentDone: ")));
        EXPECT_EQ(Traced, Case.Traced);
        EXPECT_EQ(Progress.load(), Case.Last);
    }
}

TEST_F(FImgShrinkerTest, CancelIsSeenBetweenEntriesAndBetweenThePiecesOfLongCopies)
{
    FImgBuilder Builder;
    for (int32_t i = 0; i < 12; ++i)
        Builder.Add(i % 3 ? "e" + std::to_string(i) + ".dat" : "t" + std::to_string(i) + ".txd",
                    i % 3 ? FBytes(10, uint8_t(i + 1)) : ShrinkableTxd());
    // However far the reader has got, the writer stops before entry 8.
    for (int32_t Jobs : {1, 3})
    {
        SCOPED_TRACE(Jobs);
        GCancelValue.store(0);
        GPercentLines = 0;
        Options.Cancel = &GCancelValue;
        Options.Jobs = Jobs;
        {
            FCaptureDebugOutput Capture;
            CoreOS::SetDebugOutputHook(&CancelAfterEighthEntry);
            EXPECT_FALSE(Shrink(Builder.Build()));
        }
        EXPECT_EQ(Result.Failure, EShrinkFailure::Cancelled);
        EXPECT_EQ(GPercentLines, 8);
        // Header, directory and entries 0 to 7 had been written when the cancel was seen; 0, 3 and 6 counted.
        EXPECT_EQ(Result.OutputBytes, 9 * 2048);
        EXPECT_EQ(Result.Stats.Textures.Total, 3);
        EXPECT_FALSE(TestFileExists(Dest));
    }

    // 40 MiB of filler are copied in pieces; a cancel already raised stops the copy after the first one.
    Options.bDryRun = true;
    EXPECT_FALSE(Shrink(FImgBuilder().FirstBlock(20480).Add("a.dff", {1}).Build()));
    EXPECT_EQ(Result.Failure, EShrinkFailure::Cancelled);
    EXPECT_LT(Result.OutputBytes, 20 << 20);
}

TEST_F(FImgShrinkerTest, FailedShrinkLeavesNoDestinationAndSaysWhy)
{
    const FBytes Good = FImgBuilder().Add("a.dff", FBytes(5000, 1)).Add("b.txd", ShrinkableTxd()).Build();
    FImgBuilder ManyBuilder;
    for (int32_t i = 0; i < 40; ++i)
        ManyBuilder.Add("m" + std::to_string(i) + (i % 2 ? ".dff" : ".txd"), i % 2 ? FBytes(3000, 7) : ShrinkableTxd());
    const FBytes Many = ManyBuilder.Build();
    std::atomic<int32_t> Cancel{1};
    struct FCase
    {
        const char* Name;
        FBytes Source;
        EShrinkFailure Failure;
        int64_t WriteLimit;
        std::atomic<int32_t>* CancelFlag;
        FReencodeImageFunc Reencode;
    };
    const FCase Cases[] = {
        {"not VER2", FImgBuilder().Add("a.dff", {1}).Magic("VER1").Build(), EShrinkFailure::NotAnArchive, -1, nullptr,
         nullptr},
        {"cancelled before the first entry", Good, EShrinkFailure::Cancelled, -1, &Cancel, nullptr},
        {"short write in the directory", Good, EShrinkFailure::WriteFailed, 20, nullptr, nullptr},
        {"short write halfway", Many, EShrinkFailure::WriteFailed, 30 * 2048, nullptr, nullptr},
    };
    for (const FCase& Case : Cases)
        for (int32_t Jobs : {1, 3})
        {
            SCOPED_TRACE(testing::Message() << Case.Name << ", jobs " << Jobs);
            ASSERT_TRUE(WriteFileBytes(Dest, {1, 2, 3})); // a destination left from before
            Options.Cancel = Case.CancelFlag;
            Options.Jobs = Jobs;
            EXPECT_FALSE(Shrink(Case.Source, Case.Reencode, Case.WriteLimit));
            EXPECT_EQ(Result.Failure, Case.Failure);
            EXPECT_FALSE(TestFileExists(Dest));
            EXPECT_EQ(ReadFileBytes(Src), Case.Source);
        }
    Options.Jobs = 1;
    Options.Cancel = nullptr;

    // A texture too large to decode in the memory there is stays as it is; the shrink goes on.
    ASSERT_TRUE(Shrink(Good, [](FTxdEntryContext&, FTxdImage&) -> ETextureOutcome { throw std::bad_alloc(); }));
    EXPECT_EQ(Result.Stats.Textures.TooLargeToDecode, 1);
    EXPECT_EQ(ParseImg(ReadFileBytes(Dest)).Entries[1].Data, PadToBlocks(ShrinkableTxd()));
    EXPECT_TRUE(appFileDelete(*Dest));

    FCaptureDebugOutput Capture;
    EXPECT_FALSE(ShrinkImgFile(*Dest, *Dir.File(u"missing.img")));
    EXPECT_FALSE(TestFileExists(Dest));
    EXPECT_TRUE(Capture.Contains("Cant read "));
    EXPECT_EQ(ShrinkImgFile(*Dir.File(u"no-such-dir/out.img"), *Src, Options).Failure,
              EShrinkFailure::CannotCreateDest);
    EXPECT_TRUE(Capture.Contains("Cant create "));
    EXPECT_TRUE(appFileDelete(*Src)); // the source was closed again
}

TEST_F(FImgShrinkerTest, DestinationThatIsTheSourceIsRefusedBeforeAnythingIsWritten)
{
    const FBytes Source = FImgBuilder().Add("a.txd", ShrinkableTxd()).Build();
    // Another spelling of the same file (the case differs; both systems find it).
    for (bool bReplace : {false, true})
    {
        Options.bReplaceWhenDone = bReplace;
        ASSERT_TRUE(WriteFileBytes(Src, Source));
        const FShrinkResult Same = ShrinkImgFile(*Dir.File(u"GTA3.IMG"), *Src, Options);
        EXPECT_EQ(Same.Failure, EShrinkFailure::SameFile);
        EXPECT_NE(Same.Reason.InStr(u"are the same file"), -1);
        EXPECT_EQ(ReadFileBytes(Src), Source);
    }
    // The temporary of a replacing shrink must not be the source either: it is truncated first.
    const FString Part = Dir.File(u"out.img.pellmor-part");
    ASSERT_TRUE(WriteFileBytes(Part, Source));
    EXPECT_EQ(ShrinkImgFile(*Dir.File(u"out.img"), *Part, Options).Failure, EShrinkFailure::SameFile);
    EXPECT_EQ(ReadFileBytes(Part), Source);
}

TEST_F(FImgShrinkerTest, ReplaceWhenDoneKeepsTheOldDestinationUntilTheNewOneIsComplete)
{
    const FBytes Source = FImgBuilder().Add("a.dff", FBytes(5000, 1)).Add("b.txd", ShrinkableTxd()).Build();
    const FString Part = Dest + u".pellmor-part";
    Options.bReplaceWhenDone = true;

    // A failed run leaves the old destination as it was and removes its temporary.
    ASSERT_TRUE(WriteFileBytes(Dest, {1, 2, 3}));
    EXPECT_FALSE(Shrink(Source, &DropLargestLevel, 3 * 2048));
    EXPECT_EQ(ReadFileBytes(Dest), (FBytes{1, 2, 3}));
    EXPECT_FALSE(TestFileExists(Part));

    // A temporary that the system could not make durable is no complete archive, however its close went.
    CoreOS::ArmOsFault(CoreOS::OSFAULT_Flush, 1);
    EXPECT_FALSE(Shrink(Source, &DropLargestLevel));
    CoreOS::ResetOsFaults();
    EXPECT_EQ(Result.Failure, EShrinkFailure::WriteFailed);
    EXPECT_EQ(ReadFileBytes(Dest), (FBytes{1, 2, 3}));
    EXPECT_FALSE(TestFileExists(Part));

    // A complete one takes its place; a temporary left by a killed run is written over.
    ASSERT_TRUE(WriteFileBytes(Part, FBytes(100000, 9)));
    ASSERT_TRUE(Shrink(Source, &DropLargestLevel));
    EXPECT_FALSE(TestFileExists(Part));
    EXPECT_EQ(int64_t(ReadFileBytes(Dest).size()), Result.OutputBytes);
    EXPECT_EQ(ParseImg(ReadFileBytes(Dest)).Entries.size(), 2u);
}

TEST_F(FImgShrinkerTest, DamagedArchiveIsRefusedBeforeAnythingIsWritten)
{
    // Archive tools that do not pad the last entry leave up to 2047 bytes out: they read as zeros.
    FBytes Unpadded = FImgBuilder().Add("a.dff", FBytes(3000, 0xAA)).Add("cut.dat", FBytes(2048, 0xBB)).Build();
    Unpadded.resize(Unpadded.size() - 2047);
    ASSERT_TRUE(Shrink(Unpadded));
    FBytes Expected(2048, 0);
    Expected[0] = 0xBB;
    EXPECT_EQ(Output().Entries.at(1).Data, Expected);

    // One byte more missing, and an entry whose size does not fit in the offsets at all.
    const FBytes Claims8TiB = FImgBuilder().Add("a.dff", {1}).Add("b.dff", {2}).SetDirEntry(1, 1, 0xFFFFFFFFu).Build();
    const FBytes Cases[] = {FBytes(Unpadded.begin(), Unpadded.end() - 1), Claims8TiB};
    for (const FBytes& Source : Cases)
        for (bool bDryRun : {false, true})
        {
            ASSERT_TRUE(WriteFileBytes(Dest, {1, 2, 3}));
            Options.bDryRun = bDryRun;
            EXPECT_FALSE(Shrink(Source));
            EXPECT_EQ(Result.Failure, EShrinkFailure::Damaged);
            EXPECT_GT(Result.Damage.EntriesPastEnd, 0);
            EXPECT_NE(Result.Reason.InStr(u"lie past the end of the file"), -1) << Result.Reason.ToUtf8();
            EXPECT_EQ(Result.OutputBytes, 0);
            EXPECT_EQ(TestFileExists(Dest), bDryRun); // a dry run does not touch it
        }
}

TEST_F(FImgShrinkerTest, PaletteTexturesAreKeptAndStatisticsKeepTheirFirstCountedOrder)
{
    const FBytes Shop = TxdDictionary({PaletteTexture("sign", 64, 64, 2), Dxt1Texture("wall", 64, 64, 3)});
    const FBytes Other = TxdDictionary({Dxt1Texture("a", 64, 64, 1), Dxt1Texture("b", 64, 64, 3)});
    ASSERT_TRUE(Shrink(FImgBuilder().Add("shop.txd", Shop).Add("other.txd", Other).Build(), &DropLargestLevel));
    // The palette texture is never offered to the policy (its record's bytes through a rewrite: FRwChunkTest).
    EXPECT_EQ(GSeenImages, (std::vector<std::string>{"shop.wall", "other.a", "other.b"}));
    EXPECT_EQ(Utf8Lines(Result.ReportLines),
              (std::vector<std::string>{"1 images have 2 MipLevels", "2 images have 3 MipLevels",
                                        "1 images have 1 MipLevels"}));
    const FTextureFacts& Facts = Result.Stats.Textures;
    EXPECT_EQ(Facts.Total, 4);
    EXPECT_EQ(Facts.Palette, 1);
    EXPECT_EQ(Facts.Changed, 2);
    EXPECT_EQ(*Facts.PerKind.Find(TEXKIND_None), 1);
    EXPECT_LT(GetU32(Output().Entries.at(0).Data, 4), GetU32(Shop, 4));
}

TEST_F(FImgShrinkerTest, MalformedDictionaryIsCopiedUnchangedAmongWellFormedOnes)
{
    const FTestTexture Wall = Dxt1Texture("wall", 64, 64, 3);
    const FBytes Record = TxdRecord(Wall);
    const FBytes Image = TxdImageChunk(Record);
    const FBytes Good = TxdDictionaryOfChunks({Image});
    const FBytes Struct4 = RwChunk(RWCHUNK_Data, {1, 0, 0, 0});
    const FBytes Ext = RwChunk(RWCHUNK_Extension);
    auto Dict = [&](const std::vector<FBytes>& Children) { return RwContainer(RWCHUNK_TxdLib, Children); };
    auto ImageOf = [&](const std::vector<FBytes>& Children) { return RwContainer(RWCHUNK_TxdImage, Children); };

    FTestTexture TooManyLevels = Wall;
    TooManyLevels.MipLevels = 4;
    FBytes LevelPastEnd = Record;
    SetU32(LevelPastEnd, 88, GetU32(LevelPastEnd, 88) + 1);

    struct FCase
    {
        const char* Name;
        FBytes Entry;
    };
    const FCase Cases[] = {
        {"header cut short", FBytes(Good.begin(), Good.begin() + 8)},
        {"no dictionary extension", FBytes(Good.begin(), Good.end() - 12)},
        {"unknown chunk type",
         Dict({Struct4, ImageOf({RwChunk(RWCHUNK_Data, Record), RwChunk(RWCHUNK_String, {'x', 0, 0, 0}), Ext}), Ext})},
        {"top level not a dictionary", RwContainer(RWCHUNK_Clump, {Struct4, Ext})},
        {"struct before the dictionary", Concat({Struct4, Good})},
        {"dictionary struct not 4 bytes", Dict({RwChunk(RWCHUNK_Data, {1, 0, 0, 0, 0, 0, 0, 0}), Image, Ext})},
        {"dictionary without struct", Dict({Image, Ext})},
        {"struct between images", Dict({Struct4, Image, Struct4, Image, Ext})},
        {"image struct empty", Dict({Struct4, Image, ImageOf({RwChunk(RWCHUNK_Data), Ext}), Ext})},
        {"image extension with payload",
         Dict({Struct4, ImageOf({RwChunk(RWCHUNK_Data, Record), RwChunk(RWCHUNK_Extension, {1, 2, 3, 4}), Ext}), Ext})},
        {"image without extension", Dict({Struct4, ImageOf({RwChunk(RWCHUNK_Data, Record)}), Ext})},
        {"image inside an image", Dict({Struct4, ImageOf({ImageOf({RwChunk(RWCHUNK_Data, Record), Ext}), Ext}), Ext})},
        {"dictionary Size too large", WithSize(Good, GetU32(Good, 4) + 4)},
        {"image Size too small",
         WithSize(Dict({Struct4, WithSize(Image, GetU32(Image, 4) - 4), Ext}), GetU32(Good, 4) - 4)},
        {"struct Size past the end",
         Dict({Struct4, ImageOf({WithSize(RwChunk(RWCHUNK_Data, Record), 100000), Ext}), Ext})},
        {"record shorter than its header",
         TxdDictionaryOfChunks({Image, TxdImageChunk(FBytes(Record.begin(), Record.begin() + 80))})},
        {"level count past the end", TxdDictionaryOfChunks({Image, TxdImageChunk(TxdRecord(TooManyLevels))})},
        {"level size past the end", TxdDictionaryOfChunks({Image, TxdImageChunk(LevelPastEnd)})},
    };
    for (const FCase& Case : Cases)
    {
        SCOPED_TRACE(Case.Name);
        GSeenImages.clear();
        FCaptureDebugOutput Capture;
        ASSERT_TRUE(Shrink(
            FImgBuilder().Add("before.txd", Good).Add("bad.txd", Case.Entry, 0x5C).Add("after.txd", Good).Build(),
            &DropLargestLevel));
        const FImgView Out = Output();
        ASSERT_EQ(Out.Entries.size(), 3u);
        EXPECT_EQ(Out.Entries[1].Data, PadToBlocks(Case.Entry, 0x5C));
        EXPECT_NE(Out.Entries[0].Data, PadToBlocks(Good));
        EXPECT_EQ(Out.Entries[2].Data, Out.Entries[0].Data);
        EXPECT_EQ(GSeenImages, (std::vector<std::string>{"before.wall", "after.wall"}));
        EXPECT_EQ(Utf8Lines(Result.ReportLines), std::vector<std::string>{"2 images have 3 MipLevels"});
        EXPECT_EQ(Result.Stats.Textures.MalformedEntries, 1);
        EXPECT_EQ(Result.Stats.Textures.Total, 2);
        EXPECT_TRUE(Capture.Contains("Copying bad.txd unchanged"));
    }
}

namespace
{
// A sample archive of every kind of entry (well-formed, skipped, palette, empty and malformed dictionaries, other
// entries), with an empty entry, a hole and the last entry's final block left out (read short).
FBytes EveryKindOfEntry(const FTempDir& Dir)
{
    SampleGame::FSampleGameOptions SampleOptions;
    SampleOptions.Seed = 7;
    SampleOptions.EntryCount = 150;
    const FString Path = Dir / u"sample.img";
    EXPECT_TRUE(SampleGame::WriteSampleImg(Path.ToUtf8(), SampleOptions, nullptr));
    const std::vector<FImgEntryView> Entries = ParseImg(ReadFileBytes(Path)).Entries;
    FImgBuilder Builder;
    for (size_t i = 0; i < Entries.size(); ++i)
        (i == 1 ? Builder.Gap(2) : Builder).Add(Entries[i].Name, Entries[i].Data);
    FBytes Bytes = Builder.Add("empty.txd", {}).Add("last.dff", FBytes(3 * 2048, 9)).Build();
    Bytes.resize(Bytes.size() - 2047);
    return Bytes;
}

// Trace lines without their timestamps.
std::vector<std::string> Untimed(const std::vector<std::string>& Lines)
{
    std::vector<std::string> Texts;
    for (const std::string& Line : Lines)
        Texts.push_back(Line.substr(Line.find("  ") + 2));
    return Texts;
}
} // namespace

TEST_F(FImgShrinkerTest, EveryJobCountWritesAndTellsTheSame)
{
    const FBytes Source = EveryKindOfEntry(Dir);
    // In flight 0 is the default; 16 KiB is less than most dictionaries, which then go through alone.
    const std::pair<int32_t, int64_t> JobsAndInFlight[] = {{1, 0}, {2, 0}, {3, 16 << 10}, {8, 0}};
    struct FRun
    {
        int32_t Jobs;
        FBytes Output;
        std::vector<std::string> Trace, Report;
        std::vector<int32_t> Facts;
    };
    std::vector<FRun> Runs;
    for (const auto& Setting : JobsAndInFlight)
    {
        SCOPED_TRACE(Setting.first);
        Runs.emplace_back();
        FRun& Run = Runs.back();
        Run.Jobs = Options.Jobs = Setting.first;
        Options.InFlightBytes = Setting.second;
        FCaptureDebugOutput Capture;
        ASSERT_TRUE(Shrink(Source));
        Run.Output = ReadFileBytes(Dest);
        Run.Trace = Untimed(Capture.Lines());
        Run.Report = Utf8Lines(Result.ReportLines);
        const FTextureFacts& Facts = Result.Stats.Textures;
        Run.Facts = {Facts.Total, Facts.Changed, Facts.Skipped, Facts.TooSmall, Facts.Palette, Facts.NotUnderstood,
                     Facts.MalformedEntries, Facts.Sizes.Num(), Facts.PerKind.Num()};
    }
    const FRun& Serial = Runs[0];
    EXPECT_LT(Serial.Output.size(), Source.size());
    for (const char* Expected : {"Block gap: 2", "BytesRead!=Length", "Skipping ", "Copying empty.txd unchanged"})
        EXPECT_TRUE(std::any_of(Serial.Trace.begin(), Serial.Trace.end(),
                                [&](const std::string& Line) { return Line.find(Expected) != std::string::npos; }))
            << Expected;
    EXPECT_GT(Serial.Facts[4], 0); // palette textures
    EXPECT_GT(Serial.Facts[6], 1); // malformed dictionaries
    for (size_t i = 1; i < Runs.size(); ++i)
    {
        SCOPED_TRACE(Runs[i].Jobs);
        EXPECT_TRUE(Runs[i].Output == Serial.Output);
        EXPECT_EQ(Runs[i].Trace, Serial.Trace);
        EXPECT_EQ(Runs[i].Report, Serial.Report);
        EXPECT_EQ(Runs[i].Facts, Serial.Facts);
    }
}
