// The sample game generator, read back with the shrinker's own readers and held to each kind's sizes: the archives
// it writes are what the shrinker's tests and the demo stand on, so a fault here would hide faults there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>

#include "Core/Inc/CoreOS.h"
#include "shrinker/FRwChunk.h"
#include "shrinker/FTxdImage.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/TempDir.h"
#include "tools/make-sample-game/SampleGame.h"

using namespace SampleGame;
namespace fs = std::filesystem;

namespace
{
// The sample game's kinds in its order (Dxt1, Dxt1a, Dxt3, Rgbx, Rgba) as the shrinker names them.
const uint32_t KindCodes[TextureKindCount] = {TEXKIND_DXT1, TEXKIND_DXT1A, TEXKIND_DXT3, TEXKIND_RGBX, TEXKIND_RGBA};

// A level's bytes by the shrinker's description of the kind: whole 4x4 blocks when block-coded.
uint32_t LevelBytes(const FTextureKind& Kind, uint32_t W, uint32_t H)
{
    if (Kind.bCompressed)
        W = (W + 3) / 4 * 4, H = (H + 3) / 4 * 4;
    return W * H * uint32_t(Kind.BitsPerPixel) / 8;
}

// One texture record: of a known kind whose header agrees with it (depth, raster format word, sides), holding
// exactly its levels, each of the size of its kind. "" when sound, else what is wrong.
std::string CheckRecord(const FHeldBytes& Record, int32_t* KindCounts)
{
    FTxdImage Image;
    if (!ParseTxdImage(Record.GetData(), Record.Num(), Image) || Image.IsPaletteImage() ||
        GetTxdImageBytes(Image) != Record.Num())
        return "a palette image, or a record that does not hold exactly its levels";
    const FTxdImageHeader& Header = Image.Header;
    const int32_t Kind =
        int32_t(std::find(KindCodes, KindCodes + TextureKindCount, GetTextureKind(Header)) - KindCodes);
    if (Kind == TextureKindCount || Header.Name[0] == 0)
        return "no known kind, or no name";
    const FTextureKind& Info = *FindTextureKind(KindCodes[Kind]);
    if (Header.Depth != Info.Depth || Header.Unknown3 != (Info.RasterFormat | (Header.MipLevels > 1 ? 0x8000u : 0)))
        return "depth or raster format word does not match the kind";
    if (Header.MipLevels == 0 || Header.Width < 8 || Header.Height < 8 || Header.Width > 1024 || Header.Height > 1024)
        return "no levels, or a bad size";
    for (int32_t Level = 0; Level < Image.MipList.Num(); ++Level)
        if (uint32_t(Image.MipList[Level].Num()) != LevelBytes(Info, uint32_t(std::max(1, Header.Width >> Level)),
                                                               uint32_t(std::max(1, Header.Height >> Level))))
            return "level " + std::to_string(Level) + " is not of its kind's size";
    ++KindCounts[Kind];
    return "";
}

// A texture dictionary stream of the shape the shrinker takes, its struct holding the image count and device id 2,
// followed by zero padding only; "" when sound.
std::string CheckDictionary(const FBytes& B, int32_t* KindCounts)
{
    TDynArray<FRwChunk> Roots;
    if (!ReadChunks(B.data(), int32_t(B.size()), false, Roots) || !CheckTxdShape(Roots) ||
        GetU32(B, 24) != (2u << 16 | uint32_t(Roots[0].InnerChunks.Num() - 2)))
        return "not a dictionary of the expected shape";
    for (size_t i = 12 + size_t(GetU32(B, 4)); i < B.size(); ++i)
        if (B[i])
            return "bytes after the dictionary";
    int32_t Counts[TextureKindCount] = {};
    const TDynArray<FRwChunk>& Children = Roots[0].InnerChunks;
    for (int32_t i = 1; i + 1 < Children.Num(); ++i)
    {
        const std::string Problem = CheckRecord(Children[i].InnerChunks[0].DataBytes, Counts);
        if (!Problem.empty())
            return "image " + std::to_string(i - 1) + ": " + Problem;
    }
    for (int32_t k = 0; k < TextureKindCount; ++k)
        KindCounts[k] += Counts[k];
    return "";
}

struct FArchiveSummary
{
    int32_t Txd = 0, Empty = 0, Malformed = 0, Radar = 0;
    int32_t Kinds[TextureKindCount] = {};
};

// Walks a whole archive: header, directory, entries packed from the first block after the directory.
FArchiveSummary CheckArchive(const FBytes& Img, int32_t EntryCount)
{
    FArchiveSummary Summary;
    const FImgView View = ParseImg(Img);
    EXPECT_EQ(View.Magic, "VER2");
    EXPECT_EQ(View.Entries.size(), size_t(EntryCount));
    uint32_t Block = uint32_t((8 + 32 * View.Entries.size() + 2047) / 2048);
    std::set<std::string> Names;
    for (const FImgEntryView& Entry : View.Entries)
    {
        SCOPED_TRACE(Entry.Name);
        EXPECT_EQ(Entry.BlockOffset, Block);
        EXPECT_EQ(Entry.Data.size(), Entry.BlockCount * size_t(2048));
        EXPECT_TRUE(Entry.Name.size() >= 5 && Entry.Name.size() <= 23);
        std::string Lower = Entry.Name;
        for (char& C : Lower)
            C = char(std::tolower(static_cast<unsigned char>(C)));
        EXPECT_TRUE(Names.insert(Lower).second);
        Block += Entry.BlockCount;
        if (Lower.size() < 4 || Lower.compare(Lower.size() - 4, 4, ".txd") != 0)
            continue;
        ++Summary.Txd;
        Summary.Empty += Entry.Data.size() == 2048 && GetU32(Entry.Data, 4) == 28;
        Summary.Radar += Lower.compare(0, 5, "radar") == 0;
        Summary.Malformed += !CheckDictionary(Entry.Data, Summary.Kinds).empty();
    }
    EXPECT_EQ(Img.size(), size_t(Block) * 2048); // contiguous, nothing after the last entry
    return Summary;
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

TEST_F(SampleGameTest, ArchiveIsPackedAndOnlyTheMalformedDictionariesBreakTheShape)
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
        const FArchiveSummary Summary = CheckArchive(Img, 60);
        EXPECT_EQ(Report.FileBytes, Img.size());
        EXPECT_EQ(Summary.Txd, Report.TxdCount);
        EXPECT_GE(Summary.Txd, 10);
        EXPECT_EQ(Summary.Malformed, bMalformed ? MalformedTxdCount : 0);
        EXPECT_EQ(Summary.Malformed, Report.MalformedCount);
        EXPECT_GE(Summary.Empty, 1);
        EXPECT_GE(Summary.Radar, 1);
        for (int32_t k = 0; k < TextureKindCount; ++k)
            EXPECT_GT(Summary.Kinds[k], 0) << TextureKindLabel(ETextureKind(k));
    }
    Options.Seed = 4;
    EXPECT_FALSE(First == Generate(u"other.img", Options));
}

TEST_F(SampleGameTest, EachFlawBreaksTheShapeOfAnOtherwiseSoundDictionary)
{
    int32_t Kinds[TextureKindCount] = {};
    EXPECT_EQ(CheckDictionary(MakeTextureDictionary({}), Kinds), "");
    EXPECT_EQ(MakeTextureDictionary({}).size(), 40u);
    for (int32_t Flaw = 0; Flaw < MalformedTxdCount; ++Flaw)
        EXPECT_NE(CheckDictionary(MakeMalformedDictionary(EMalformedTxd(Flaw), 11), Kinds), "")
            << MalformedTxdLabel(EMalformedTxd(Flaw));
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
    CheckArchive(Read(u"Models/gta_int.img"), 12);
    CheckArchive(Read(u"Models/mymod.img"), 5);
    EXPECT_NE(Read(u"Models/mymod.img"), Read(u"Models/gta_int.img"));
    EXPECT_NE(TestFileText(Dir / u"data/gta.dat").find("\r\nIMG MODELS\\GTA_INT.IMG\r\nIMG MODELS\\MYMOD.IMG\r\n"),
              std::string::npos);

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
    CheckArchive(Img, Report.EntryCount);
}
