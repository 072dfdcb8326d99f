#include <gtest/gtest.h>

#include "shrinker/FImgArchive.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/TempDir.h"

TEST(FImgArchiveTest, CheckFindsMissingEntriesAndToleratesAnUnpaddedLastBlock)
{
    const FBytes Good = FImgBuilder().Add("a.dff", FBytes(3000, 1)).Add("b.txd", FBytes(2048, 2)).Build();
    auto Cut = [&](size_t Bytes) { return FBytes(Good.begin(), Good.end() - Bytes); };
    // Three records announced, the file ends after the first.
    FBytes DirectoryPastEnd = FImgBuilder().Add("a.dff", {1}).Build();
    SetU32(DirectoryPastEnd, 4, 3);
    DirectoryPastEnd.resize(8 + 32);
    // Five entries over the same four blocks claim 40 KiB of a 10 KiB file.
    FImgBuilder Overlapping;
    Overlapping.Add("a.dff", FBytes(4 * 2048, 1));
    for (size_t i = 1; i < 5; ++i)
        Overlapping.Add("e.dff", {}).SetDirEntry(i, 1, 4);

    struct FCase
    {
        const char* Name;
        FBytes Bytes;
        EImgCheck Result;
        int32_t EntriesPastEnd;
        int64_t BytesPastEnd;
    };
    const FCase Cases[] = {
        {"whole", Good, EImgCheck::Ok, 0, 0},
        {"last block cut by 2047", Cut(2047), EImgCheck::Ok, 1, 2047},
        {"last block cut by 2048", Cut(2048), EImgCheck::Damaged, 1, 2048},
        {"directory past the end", DirectoryPastEnd, EImgCheck::Damaged, 3, 2 * 2048 - 40},
        {"overlapping entries", Overlapping.Build(), EImgCheck::Damaged, 0, 0},
        {"not VER2", FImgBuilder().Magic("VER1").Build(), EImgCheck::NotAnArchive, 0, 0},
        {"shorter than a header", {'V', 'E', 'R'}, EImgCheck::NotAnArchive, 0, 0},
        {"first entry inside the directory", FImgBuilder().Add("a", {1}).SetDirEntry(0, 0, 1).Build(),
         EImgCheck::NotAnArchive, 0, 0},
    };
    FTempDir Dir;
    const FString Path = Dir / u"gta3.img";
    uint64_t Digest = 0;
    for (const FCase& Case : Cases)
    {
        SCOPED_TRACE(Case.Name);
        ASSERT_TRUE(WriteFileBytes(Path, Case.Bytes));
        const FImgArchiveCheck Check = CheckImgArchive(*Path);
        EXPECT_EQ(Check.Result, Case.Result);
        EXPECT_EQ(Check.FileBytes, int64_t(Case.Bytes.size()));
        EXPECT_EQ(Check.Damage.EntriesPastEnd, Case.EntriesPastEnd);
        EXPECT_EQ(Check.Damage.BytesPastEnd, Case.BytesPastEnd);
        EXPECT_EQ(DigestImgArchive(*Path, Digest), Case.Result == EImgCheck::Ok); // only then has it a digest
    }
    EXPECT_EQ(CheckImgArchive(*(Dir / u"missing.img")).Result, EImgCheck::Unreadable);
    EXPECT_FALSE(DigestImgArchive(*(Dir / u"missing.img"), Digest));
}
