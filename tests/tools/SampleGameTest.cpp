// The sample game generator, read back by the shrinker itself: the archives it writes are what the shrinker's
// tests and the demo stand on, so a fault here would hide faults there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>

#include "Core/Inc/CoreOS.h"
#include "shrinker/FImgShrinker.h"
#include "shrinker/FTxdImage.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/TempDir.h"
#include "tools/make-sample-game/SampleGame.h"

using namespace SampleGame;
namespace fs = std::filesystem;

namespace
{
// An archive's entries lie back to back from the first block after the directory, under distinct names (case
// aside), with nothing after the last one; then the shrinker's account of it, from a dry run, whose every texture
// has its kind's depth.
FTextureFacts CheckArchive(const FString& Path, int32_t EntryCount)
{
    const FBytes Img = ReadFileBytes(Path);
    const FImgView View = ParseImg(Img);
    EXPECT_EQ(View.Magic, "VER2");
    EXPECT_EQ(View.Entries.size(), size_t(EntryCount));
    uint32_t Block = uint32_t((8 + 32 * View.Entries.size() + 2047) / 2048);
    std::set<std::string> Names;
    for (const FImgEntryView& Entry : View.Entries)
    {
        std::string Lower = Entry.Name;
        std::transform(Lower.begin(), Lower.end(), Lower.begin(),
                       [](unsigned char C) { return char(std::tolower(C)); });
        EXPECT_EQ(Entry.BlockOffset, Block) << Entry.Name;
        EXPECT_TRUE(Names.insert(Lower).second) << Entry.Name;
        Block += Entry.BlockCount;
    }
    EXPECT_EQ(Img.size(), size_t(Block) * 2048);
    FShrinkOptions Options;
    Options.bDryRun = true;
    Options.OnTexture = [](const FTextureFact& Fact)
    {
        const FTextureKind* Kind = FindTextureKind(Fact.Kind);
        EXPECT_TRUE(!Kind || Kind->Depth == Fact.Depth) << Fact.TxdName.ToUtf8() << "." << Fact.Name.ToUtf8();
    };
    const FShrinkResult Result = ShrinkImgFile(u"", *Path, Options);
    EXPECT_TRUE(Result.bOk) << Result.Reason.ToUtf8();
    return Result.Stats.Textures;
}
} // namespace

class SampleGameTest : public ::testing::Test
{
protected:
    std::string At(const char16_t* Name) const { return (Dir / Name).ToUtf8(); }
    FBytes Read(const char16_t* Name) const { return ReadFileBytes(Dir / Name); }
    FBytes Generate(const char16_t* Name, const FSampleGameOptions& Options, FSampleGameReport* Report = nullptr)
    {
        std::string Error;
        EXPECT_TRUE(WriteSampleImg(At(Name), Options, &Error, Report)) << Error;
        return Read(Name);
    }
    FTempDir Dir;
};

// Every texture is whole and of one of the five kinds, and only the flawed dictionaries are left whole (the palette
// image is kept and the rest of its dictionary shrinks).
TEST_F(SampleGameTest, ArchiveIsPackedAndOnlyTheFlawedDictionariesAreLeftWhole)
{
    FSampleGameOptions Options;
    Options.Seed = 3;
    Options.EntryCount = 60;
    const FBytes First = Generate(u"first.img", Options);
    for (const bool bMalformed : {true, false})
    {
        SCOPED_TRACE(bMalformed ? "with malformed dictionaries" : "without");
        Options.bMalformed = bMalformed;
        FSampleGameReport Report;
        const FBytes Img = Generate(u"game.img", Options, &Report);
        EXPECT_EQ(Img == First, bMalformed); // the same options give the same bytes
        EXPECT_EQ(Report.FileBytes, Img.size());
        EXPECT_GE(Report.TxdCount, 10);
        const FTextureFacts Facts = CheckArchive(Dir / u"game.img", 60);
        EXPECT_EQ(Facts.MalformedEntries, bMalformed ? MalformedTxdCount - 1 : 0);
        EXPECT_EQ(Report.MalformedCount, bMalformed ? MalformedTxdCount : 0);
        EXPECT_EQ(Facts.Palette, bMalformed ? 1 : 0);
        EXPECT_EQ(Facts.BrokenLevels + Facts.TooLargeToDecode, 0);
        EXPECT_GT(Facts.Skipped, 0); // radar and other names the rules skip
        EXPECT_GT(Facts.Changed, 0);
        int32_t Kinds = 0, NoKind = 0;
        for (const auto& Pair : Facts.PerKind)
            (Pair.Key ? Kinds : NoKind) += Pair.Key ? 1 : Pair.Value;
        EXPECT_EQ(Kinds, TextureKindCount);
        EXPECT_EQ(NoKind, Facts.Palette); // a texture whose header does not fit its kind would have none
    }
    Options.Seed = 4;
    EXPECT_FALSE(First == Generate(u"other.img", Options));

    // Each flaw alone makes an otherwise sound dictionary one that the shrink leaves as it is.
    std::vector<FImgEntrySource> Entries{{"sound.txd", MakeTextureDictionary({FSampleTexture()})}};
    for (int32_t Flaw = 0; Flaw < MalformedTxdCount; ++Flaw)
        Entries.push_back({"flaw" + std::to_string(Flaw) + ".txd", MakeMalformedDictionary(EMalformedTxd(Flaw), 11)});
    ASSERT_TRUE(WriteImgArchive(At(u"flaws.img"), Entries, nullptr));
    const FTextureFacts Facts = CheckArchive(Dir / u"flaws.img", MalformedTxdCount + 1);
    EXPECT_EQ(Facts.MalformedEntries + Facts.Palette, MalformedTxdCount);
}

// A game folder that exists under another letter case is used as it is, and its archive kept unless overwriting is
// asked for; the further archives a game loads are written each with its IMG line in gta.dat, as the game writes it.
TEST_F(SampleGameTest, GameFolderIsFoundWithoutRegardToCaseAndHoldsTheExtraArchivesNamedInGtaDat)
{
    FSampleGameOptions Options;
    Options.EntryCount = 20;
    ASSERT_TRUE(CoreOS::DirMake(*(Dir / u"Models")) && WriteTestFile(Dir / u"Models/GTA3.IMG", "old"));
    std::string Error;
    EXPECT_FALSE(WriteSampleGame(At(u""), Options, &Error));
    EXPECT_NE(Error.find("exists"), std::string::npos);
    EXPECT_EQ(Read(u"Models/GTA3.IMG").size(), 3u);

    Options.bOverwrite = true;
    Options.ExtraArchives = {{"gta_int", 12}, {"MyMod", 5}};
    FSampleGameReport Report;
    ASSERT_TRUE(WriteSampleGame(At(u""), Options, &Error, &Report)) << Error;
    EXPECT_EQ(Read(u"Models/GTA3.IMG").size(), Report.FileBytes);
    EXPECT_EQ(std::distance(fs::directory_iterator(At(u"")), fs::directory_iterator()), 2); // Models and data
    CheckArchive(Dir / u"Models/mymod.img", 5);
    // (The extra archives as gta.dat names them: every test of a game of several archives reads them so.)
    EXPECT_NE(Read(u"Models/mymod.img"), Read(u"Models/gta_int.img"));

    Options.ExtraArchives = {{"../up", 3}};
    EXPECT_FALSE(WriteSampleGame(At(u""), Options, &Error));
    EXPECT_FALSE(TestFileExists(Dir / u"up.img"));
}

TEST_F(SampleGameTest, TargetSizeIsMetWithinAQuarter)
{
    FSampleGameOptions Options;
    Options.TargetBytes = 4u << 20;
    FSampleGameReport Report;
    const FBytes Img = Generate(u"sized.img", Options, &Report);
    EXPECT_EQ(Img.size(), Report.FileBytes);
    EXPECT_GT(Img.size(), (4u << 20) * 3 / 4);
    EXPECT_LT(Img.size(), (4u << 20) * 5 / 4);
    CheckArchive(Dir / u"sized.img", Report.EntryCount);
}
