// Loose dictionaries, as mods drop them: each shrunk on its own comes out as the same dictionary does in a shrunk
// archive, and what is not a sound dictionary comes out as it went in.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "Core/Inc/CoreHash.h"
#include "shrinker/FImgArchive.h"
#include "shrinker/FTxdFileShrinker.h"
#include "tests/support/TempDir.h"
#include "tools/make-sample-game/SampleGame.h"

namespace
{
std::string ReadFile(const FString& Path)
{
    std::ifstream In(Path.ToUtf8(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

void WriteFile(const FString& Path, const std::string& Bytes)
{
    std::ofstream(Path.ToUtf8(), std::ios::binary).write(Bytes.data(), std::streamsize(Bytes.size()));
}

std::string EntryBytes(const std::string& Archive, const FImgDirEntry& Entry)
{
    return Archive.substr(size_t(Entry.DataOffset()), size_t(Entry.BlockCount) * IMG_BlockSize);
}
} // namespace

// Every dictionary of a sample archive, taken out whole (its blocks' padding too) and shrunk as a file of its own,
// holds the archive shrink's entry: its new stream, the entry less the zeros that pad it, where a texture changed,
// else the file as it was. A damaged dictionary and a file cut short are copied unchanged; the digests are the
// files'.
TEST(FTxdFileShrinkerTest, ALooseDictionaryComesOutAsItsEntryInTheShrunkArchive)
{
    FTempDir Dir;
    const FString Src = Dir / u"gta3.img", Shrunk = Dir / u"shrunk.img";
    SampleGame::FSampleGameOptions Sample;
    Sample.Seed = 5;
    Sample.EntryCount = 60;
    Sample.bLettering = true;
    ASSERT_TRUE(SampleGame::WriteSampleImg(Src.ToUtf8(), Sample, nullptr));
    TDynArray<FImgDirEntry> Before, After;
    ASSERT_TRUE(ReadImgDirectory(*Src, Before));
    const std::string Original = ReadFile(Src);
    for (const FShrinkSettings& Settings : {FShrinkSettings::Standard(), FShrinkSettings::LargestSide(128)})
    {
        FShrinkOptions Options;
        Options.Settings = Settings;
        ASSERT_TRUE(ShrinkImgFile(*Shrunk, *Src, Options).bOk);
        ASSERT_TRUE(ReadImgDirectory(*Shrunk, After));
        const std::string Archive = ReadFile(Shrunk);
        int32_t Changed = 0;
        for (int32_t i = 0; i < Before.Num(); ++i)
        {
            const std::string Name = Before[i].Name;
            if (Name.size() < 4 || Name.substr(Name.size() - 4) != ".txd")
                continue;
            SCOPED_TRACE(Name);
            const FString Loose = Dir.Path() + FString::FromUtf8(Name.c_str()), Out = Dir / u"out.txd";
            const std::string In = EntryBytes(Original, Before[i]);
            WriteFile(Loose, In);
            const FShrinkResult Result = ShrinkTxdFile(*Out, *Loose, Options);
            ASSERT_TRUE(Result.bOk) << Result.Reason.ToUtf8();
            const std::string Made = ReadFile(Out), Entry = EntryBytes(Archive, After[i]);
            if (Made != In)
            {
                ++Changed;
                EXPECT_EQ(Entry.substr(0, Made.size()), Made);
                EXPECT_EQ(Entry.find_first_not_of('\0', Made.size()), std::string::npos);
                EXPECT_EQ((Made.size() + IMG_BlockSize - 1) / IMG_BlockSize, After[i].BlockCount);
            }
            else
                EXPECT_EQ(Entry, In);
            EXPECT_TRUE(Result.SourceDigest == appHash64(In.data(), In.size()) &&
                        Result.OutputDigest == appHash64(Made.data(), Made.size()) &&
                        Result.OutputBytes == int64_t(Made.size()));
        }
        EXPECT_GT(Changed, 5);
    }

    // Damaged (a record cut short) and cut off after the first chunk's head: both copied as they are.
    const FString Loose = Dir / u"broken.txd", Out = Dir / u"broken-out.txd";
    for (size_t Keep : {size_t(4000), size_t(12)})
    {
        for (int32_t i = 0; i < Before.Num(); ++i)
            if (std::string(Before[i].Name).find(".txd") != std::string::npos && Before[i].BlockCount > 2)
            {
                WriteFile(Loose, EntryBytes(Original, Before[i]).substr(0, Keep));
                break;
            }
        ASSERT_TRUE(LooksLikeTxdFile(*Loose));
        const FShrinkResult Result = ShrinkGameFile(*Out, *Loose, FShrinkOptions());
        ASSERT_TRUE(Result.bOk) << Result.Reason.ToUtf8();
        EXPECT_EQ(Result.Stats.Textures.MalformedEntries, 1);
        EXPECT_EQ(ReadFile(Out), ReadFile(Loose));
    }
    // The source itself is never the destination.
    EXPECT_EQ(ShrinkTxdFile(*Loose, *Loose, FShrinkOptions()).Failure, EShrinkFailure::SameFile);
}
