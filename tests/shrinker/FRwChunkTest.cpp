#include <gtest/gtest.h>

#include <vector>

#include "Core/Inc/Core.h"
#include "shrinker/FShrinkStats.h"
#include "shrinker/FReencodePolicy.h"
#include "shrinker/FRwChunk.h"
#include "shrinker/FTxdImage.h"
#include "tests/support/CaptureDebugOutput.h"
#include "tests/support/TxdBuilder.h"

TEST(FRwChunkTest, TreeIsWrittenBackExactlyAndPaddingIsNeverRead)
{
    const FBytes Stream =
        TxdDictionary({Dxt1Texture("a", 64, 64, 3), Dxt1Texture("b", 32, 16, 1), PaletteTexture("c", 16, 16, 2)});
    FBytes Entry = Stream;
    Entry.resize(Stream.size() + 300, 0xCC); // not a chunk: the top level ends after the dictionary

    FCaptureDebugOutput Capture;
    TDynArray<FRwChunk> Roots;
    ASSERT_TRUE(ReadChunks(Entry.data(), int32_t(Entry.size()), true, Roots));
    EXPECT_TRUE(CheckTxdShape(Roots));
    const FByteArray Written = WriteChunks(Roots, false);
    EXPECT_EQ(FBytes(Written.begin(), Written.end()), Stream);
    // The version halves are shown as signed 16-bit numbers, low half first.
    EXPECT_TRUE(
        Capture.Contains("Read 0 Section Header: rwTXDLIB, " + std::to_string(Stream.size() - 12) + ",-1,6147"));
    EXPECT_TRUE(Capture.Contains("Read 2 Section Header: rwEXTENTON, 0,-1,6147"));

    EXPECT_EQ(GetChunkTypeName(4660), u"4660 (0x    1234)");
    EXPECT_EQ(GetChunkTypeName(RWCHUNK_TxdImage), u"rwTXDIMAGE");
}

namespace
{
// Storage a chunk tree holds: every list's room and every payload's (payloads read are views and hold none).
int64_t TreeBytes(const TDynArray<FRwChunk>& List)
{
    int64_t Bytes = int64_t(List.Max()) * int64_t(sizeof(FRwChunk));
    for (const FRwChunk& Chunk : List)
        Bytes += TreeBytes(Chunk.InnerChunks) + Chunk.DataBytes.Owned.Max();
    return Bytes;
}

// A dictionary of Count images, each no more than its header and an empty extension: 24 bytes apiece.
FBytes ManyEmptyImages(int32_t Count)
{
    std::vector<FBytes> Children(size_t(Count), RwContainer(RWCHUNK_TxdImage, {RwChunk(RWCHUNK_Extension)}));
    Children.push_back(RwChunk(RWCHUNK_Extension));
    return RwContainer(RWCHUNK_TxdLib, Children);
}
} // namespace

TEST(FRwChunkTest, ManyEmptyImagesCostASmallMultipleOfTheEntry)
{
    const FBytes Entry = ManyEmptyImages(30000); // 60002 chunks: read whole
    TDynArray<FRwChunk> Roots;
    ASSERT_TRUE(ReadChunks(Entry.data(), int32_t(Entry.size()), false, Roots));
    EXPECT_LE(TreeBytes(Roots), 10 * int64_t(Entry.size()));

    // Past 65536 chunks a dictionary is malformed: a few MiB of empty images are left as they are.
    FBytes Big = ManyEmptyImages(150000);
    const FBytes Before = Big;
    FSkipRules NoRules;
    FTxdEntryContext Context(
        NoRules, [](FTxdEntryContext&, FTxdImage&) { return ETextureOutcome::Changed; }, u"many");
    int32_t NumBytes = int32_t(Big.size());
    EXPECT_EQ(ProcessTxdEntry(Context, Big.data(), NumBytes), TXDENTRY_Malformed);
    EXPECT_EQ(size_t(NumBytes), Before.size());
    EXPECT_EQ(Big, Before);
    EXPECT_EQ(Context.Stats.Textures.Total, 0);
}

// Two things found in real dictionaries: a palette image whose palette is not where its flags would put it, and
// a texture whose third level holds 1,024 bytes where 5,184 are needed. The palette image is kept without its
// levels being read, the other because the shrink would show its broken level first; the rest is shrunk.
TEST(FRwChunkTest, PaletteImagesAndBrokenLevelsAreKeptAndTheRestOfTheDictionaryIsShrunk)
{
    FTestTexture Palette = PaletteTexture("sign", 32, 32, 1);
    Palette.FormatFlags = 1;
    FTestTexture Broken = Dxt1Texture("road", 576, 288, 4);
    Broken.Levels[2].resize(Broken.Levels[2].size() - 8); // one block short
    const std::vector<FTestTexture> Textures = {Dxt1Texture("wall", 64, 64, 3), Palette, Broken,
                                                Dxt1Texture("door", 512, 512, 4)};
    for (const FShrinkSettings& Settings : {FShrinkSettings::Standard(), FShrinkSettings::LargestSide(144)})
    {
        FBytes Entry = TxdDictionary(Textures);
        FSkipRules NoRules;
        FTxdEntryContext Context(NoRules, &ReencodeImage, u"shop", nullptr, nullptr, Settings);
        int32_t NumBytes = int32_t(Entry.size());
        ASSERT_EQ(ProcessTxdEntry(Context, Entry.data(), NumBytes), TXDENTRY_Changed);
        const FTextureFacts& Facts = Context.Stats.Textures;
        EXPECT_EQ(Facts.Palette, 1);
        EXPECT_EQ(Facts.BrokenLevels, 1);
        EXPECT_EQ(Facts.Changed, Settings.Mode == EShrinkMode::Standard ? 2 : 1);

        TDynArray<FRwChunk> Roots;
        ASSERT_TRUE(ReadChunks(Entry.data(), NumBytes, false, Roots));
        ASSERT_TRUE(CheckTxdShape(Roots));
        for (int32_t i : {1, 2})
        {
            const FHeldBytes& Record = Roots[0].InnerChunks[i + 1].InnerChunks[0].DataBytes;
            EXPECT_EQ(FBytes(Record.GetData(), Record.GetData() + Record.Num()), TxdRecord(Textures[size_t(i)]));
        }
    }
}
