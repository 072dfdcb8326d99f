// The sample game generator, read back with a small parser of its own: the archives it writes are what the
// shrinker's tests and the demo stand on, so a fault here would hide faults there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "tests/support/ImgBuilder.h"
#include "tools/make-sample-game/SampleGame.h"

using namespace SampleGame;
namespace fs = std::filesystem;

namespace
{
FBytes ReadAll(const fs::path& Path)
{
    std::ifstream File(Path, std::ios::binary);
    return FBytes(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
}

uint32_t U32(const uint8_t* At)
{
    return At[0] | At[1] << 8 | At[2] << 16 | uint32_t(At[3]) << 24;
}

uint32_t U16(const uint8_t* At)
{
    return At[0] | At[1] << 8;
}

struct FKindRow
{
    uint32_t D3DFormat, RasterFormat, Depth, FormatFlags, BitsPerPixel;
};
// Dxt1, Dxt1a, Dxt3, Rgbx, Rgba.
const FKindRow KindRows[TextureKindCount] = {
    {0x31545844, 0x200, 16, 8, 4}, {0x31545844, 0x100, 16, 9, 4}, {0x33545844, 0x300, 16, 9, 8},
    {22, 0x600, 32, 0, 32},        {21, 0x500, 32, 1, 32},
};

uint32_t ExpectedLevelBytes(const FKindRow& Row, uint32_t W, uint32_t H)
{
    if (Row.Depth == 32)
        return W * H * 4;
    return std::max(1u, (W + 3) / 4) * std::max(1u, (H + 3) / 4) * (Row.BitsPerPixel == 4 ? 8 : 16);
}

// A texture native record; "" when sound, else what is wrong. Counts the kinds it sees.
std::string CheckRecord(const uint8_t* Rec, uint32_t Size, int32_t* KindCounts)
{
    if (Size < 88)
        return "record shorter than its header";
    if (U32(Rec) != 9 || !std::memchr(Rec + 8, 0, 32) || !std::memchr(Rec + 40, 0, 32) || Rec[8] == 0)
        return "bad platform or names";
    const uint32_t Format = U32(Rec + 76), Flags = Rec[87];
    int32_t Kind = -1;
    for (int32_t k = 0; k < TextureKindCount; ++k)
        if (KindRows[k].D3DFormat == Format && KindRows[k].FormatFlags == Flags)
            Kind = k;
    if (Kind < 0)
        return "no known kind";
    const FKindRow& Row = KindRows[Kind];
    uint32_t W = U16(Rec + 80), H = U16(Rec + 82);
    const uint32_t Levels = Rec[85];
    if (Rec[84] != Row.Depth || Levels == 0 || W < 8 || H < 8 || W > 1024 || H > 1024)
        return "bad depth, levels or size";
    if (U32(Rec + 72) != (Row.RasterFormat | (Levels > 1 ? 0x8000u : 0)))
        return "raster format word does not match the kind";
    if (ExpectedLevelBytes(Row, W, H) * 8 / (W * H) != Row.BitsPerPixel)
        return "bits per pixel do not match the kind";
    uint32_t At = 88;
    for (uint32_t Level = 0; Level < Levels; ++Level)
    {
        if (At + 4 > Size || U32(Rec + At) != ExpectedLevelBytes(Row, W, H) || At + 4 + U32(Rec + At) > Size)
            return "level " + std::to_string(Level) + " does not fit its size";
        At += 4 + U32(Rec + At);
        W = std::max(1u, W / 2);
        H = std::max(1u, H / 2);
    }
    if (At != Size)
        return "bytes after the last level";
    ++KindCounts[Kind];
    return "";
}

// A chunk header at At within End, of the wanted type and version.
bool Chunk(const FBytes& B, size_t At, size_t End, uint32_t Type, uint32_t* Size)
{
    if (At + 12 > End || U32(&B[At]) != Type || U32(&B[At + 8]) != 0x1803FFFF)
        return false;
    *Size = U32(&B[At + 4]);
    return At + 12 + *Size <= End;
}

// A texture dictionary stream of the expected shape, followed by zero padding only; "" when sound.
std::string CheckDictionary(const FBytes& B, int32_t* KindCounts)
{
    uint32_t Size = 0, Inner = 0;
    if (!Chunk(B, 0, B.size(), 0x16, &Size))
        return "no dictionary chunk";
    const size_t End = 12 + size_t(Size);
    for (size_t i = End; i < B.size(); ++i)
        if (B[i])
            return "bytes after the dictionary";
    if (!Chunk(B, 12, End, 0x1, &Inner) || Inner != 4)
        return "no 4-byte dictionary struct";
    const uint32_t Count = U16(&B[24]);
    if (U16(&B[26]) != 2)
        return "device id";
    size_t At = 28;
    int32_t Counts[TextureKindCount] = {};
    for (uint32_t i = 0; i < Count; ++i)
    {
        uint32_t ImageSize = 0, RecordSize = 0, ExtensionSize = 0;
        if (!Chunk(B, At, End, 0x15, &ImageSize) || !Chunk(B, At + 12, End, 0x1, &RecordSize))
            return "image " + std::to_string(i) + " is not an image with a struct";
        const size_t Extension = At + 24 + RecordSize;
        if (!Chunk(B, Extension, End, 0x3, &ExtensionSize) || ExtensionSize != 0 || ImageSize != RecordSize + 24)
            return "image " + std::to_string(i) + " does not end with an empty extension";
        const std::string Problem = CheckRecord(&B[At + 24], RecordSize, Counts);
        if (!Problem.empty())
            return Problem;
        At = Extension + 12;
    }
    uint32_t ExtensionSize = 0;
    if (!Chunk(B, At, End, 0x3, &ExtensionSize) || ExtensionSize != 0 || At + 12 != End)
        return "dictionary does not end with an empty extension";
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
        Summary.Empty += Entry.Data.size() == 2048 && U32(&Entry.Data[4]) == 28;
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
    void SetUp() override
    {
        const auto Stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        Dir = fs::temp_directory_path() / ("pellmor-sample-game-" + std::to_string(Stamp));
        ASSERT_TRUE(fs::create_directories(Dir));
    }
    void TearDown() override
    {
        std::error_code Ignored;
        fs::remove_all(Dir, Ignored);
    }
    FBytes Generate(const std::string& Name, const FSampleGameOptions& Options, FSampleGameReport* Report = nullptr)
    {
        std::string Error;
        EXPECT_TRUE(WriteSampleImg((Dir / Name).string(), Options, &Error, Report)) << Error;
        return ReadAll(Dir / Name);
    }
    fs::path Dir;
};

TEST_F(SampleGameTest, ArchiveIsPackedAndOnlyTheMalformedDictionariesBreakTheShape)
{
    FSampleGameOptions Options;
    Options.Seed = 3;
    Options.EntryCount = 60;
    const FBytes First = Generate("first.img", Options);
    for (const bool bMalformed : {true, false})
    {
        SCOPED_TRACE(bMalformed ? "with malformed dictionaries" : "without");
        Options.bMalformed = bMalformed;
        FSampleGameReport Report;
        const FBytes Img = Generate("game.img", Options, &Report);
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
    EXPECT_FALSE(First == Generate("other.img", Options));
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
    fs::create_directories(Dir / "Models");
    std::ofstream(Dir / "Models" / "GTA3.IMG") << "old";
    std::string Error;
    EXPECT_FALSE(WriteSampleGame(Dir.string(), Options, &Error));
    EXPECT_NE(Error.find("exists"), std::string::npos);
    EXPECT_EQ(ReadAll(Dir / "Models" / "GTA3.IMG").size(), 3u);

    Options.bOverwrite = true;
    Options.ExtraArchives = {{"gta_int", 12}, {"MyMod", 5}};
    FSampleGameReport Report;
    ASSERT_TRUE(WriteSampleGame(Dir.string(), Options, &Error, &Report)) << Error;
    EXPECT_EQ(ReadAll(Dir / "Models" / "GTA3.IMG").size(), Report.FileBytes);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 2); // Models and data
    CheckArchive(ReadAll(Dir / "Models" / "gta_int.img"), 12);
    CheckArchive(ReadAll(Dir / "Models" / "mymod.img"), 5);
    EXPECT_NE(ReadAll(Dir / "Models" / "mymod.img"), ReadAll(Dir / "Models" / "gta_int.img"));
    const FBytes Dat = ReadAll(Dir / "data" / "gta.dat");
    EXPECT_NE(std::string(Dat.begin(), Dat.end()).find("\r\nIMG MODELS\\GTA_INT.IMG\r\nIMG MODELS\\MYMOD.IMG\r\n"),
              std::string::npos);

    Options.ExtraArchives = {{"../up", 3}};
    EXPECT_FALSE(WriteSampleGame(Dir.string(), Options, &Error));
    EXPECT_FALSE(fs::exists(Dir / "up.img"));
}

TEST_F(SampleGameTest, TargetSizeIsMetWithinAQuarter)
{
    FSampleGameOptions Options;
    Options.TargetBytes = 4u << 20;
    FSampleGameReport Report;
    const FBytes Img = Generate("sized.img", Options, &Report);
    EXPECT_EQ(Img.size(), Report.FileBytes);
    EXPECT_GT(Img.size(), (4u << 20) * 3 / 4);
    EXPECT_LT(Img.size(), (4u << 20) * 5 / 4);
    CheckArchive(Img, Report.EntryCount);
}
