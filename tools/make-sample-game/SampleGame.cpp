// Sample game archives: plans every entry (name, role, exact size) from the seed, writes the directory, then makes
// and writes the entries one at a time.
#include "SampleGame.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

#include "SampleRandom.h"

namespace SampleGame
{
namespace
{
using Imp::FRandom;

constexpr uint32_t BlockBytes = 2048;
constexpr int32_t FullEntryCount = 16300;
// Mean bytes of an entry of the full archive (blocks included); turns a target size into a first entry count.
constexpr uint64_t MeanEntryBytes = 58000;
constexpr uint64_t MaxArchiveBytes = 0x7FFFFFFFull;
constexpr int32_t MaxEntryCount = 40000;

// ---------------------------------------------------------------------------------------------------------------
// Size distributions, as quantile tables (parts per million, bytes) read with linear interpolation: the game's
// dictionaries have a median near 110 KB and a long tail to a few megabytes; its other files run from 1 KB to
// 300 KB, most of them small.

struct FQuantile
{
    uint32_t Ppm;
    uint32_t Value;
};

const FQuantile TxdSizes[] = {
    {0, 2000},        {100000, 17000},   {200000, 37000},    {300000, 64000},  {400000, 91000},
    {500000, 117000}, {600000, 148000},  {700000, 198000},   {800000, 280000}, {900000, 455000},
    {950000, 710000}, {990000, 1700000}, {1000000, 5300000},
};

const FQuantile OtherSizes[] = {
    {0, 1000},       {100000, 2900},  {200000, 5000},  {300000, 6800},  {400000, 9800},   {500000, 12500},
    {600000, 16500}, {700000, 22500}, {800000, 32000}, {900000, 54000}, {970000, 108000}, {1000000, 300000},
};

template <size_t Count> uint32_t DrawSize(FRandom& Random, const FQuantile (&Table)[Count])
{
    const uint32_t At = Random.Below(1000000);
    size_t i = 1;
    while (i + 1 < Count && Table[i].Ppm <= At)
        ++i;
    const FQuantile &Lo = Table[i - 1], &Hi = Table[i];
    return Lo.Value + uint32_t(uint64_t(Hi.Value - Lo.Value) * (At - Lo.Ppm) / (Hi.Ppm - Lo.Ppm));
}

// ---------------------------------------------------------------------------------------------------------------
// Names.

// The dictionaries named by the built-in skip rules besides radar*: trees and vegetation, then the vehicles.
// clang-format off
const char* const SkipRuleNames[] = {
    "gta_tree_oldpine", "gta_tree_palm", "gta_tree_pine", "lod_veg", "vehicle", "landstal", "bravura", "buffalo",
    "linerun", "peren", "sentinel", "dumper", "firetruk", "trash", "stretch", "manana", "infernus", "voodoo", "pony",
    "mule", "cheetah", "ambulan", "leviathn", "moonbeam", "esperant", "taxi", "washing", "bobcat", "mrwhoop",
    "bfinject", "hunter", "premier", "enforcer", "securica", "banshee", "predator", "bus", "rhino", "barracks",
    "hotknife", "artict1", "previon", "coach", "cabbie", "stallion", "rumpo", "rcbandit", "romero", "packer",
    "monster", "admiral", "squalo", "seaspar", "pizzaboy", "tram", "artict2", "turismo", "speeder", "reefer",
    "tropic", "flatbed", "yankee", "caddy", "solair", "topfun", "skimmer", "pcj600", "faggio", "freeway", "rcbaron",
    "rcraider", "glendale", "oceanic", "sanchez", "sparrow", "patriot", "quad", "coastg", "dinghy", "hermes",
    "sabre", "rustler", "zr350", "walton", "regina", "comet", "bmx", "burrito", "camper", "marquis", "baggage",
    "dozer", "maverick", "vcnmav", "rancher", "fbiranch", "virgo", "greenwoo", "jetmax", "hotring", "sandking",
    "blistac", "polmav", "boxville", "benson", "mesa", "rcgoblin", "hotrina", "hotrinb", "bloodra", "rnchlure",
    "supergt", "elegant", "journey", "bike", "mtbike", "beagle", "cropdust", "stunt", "petro", "rdtrain", "nebula",
    "majestic", "buccanee", "shamal", "hydra", "fcr900", "nrg500", "copbike", "cement", "towtruck", "fortune",
    "cadrona", "fbitruck", "willard", "forklift", "tractor", "combine", "feltzer", "remingtn", "slamvan", "blade",
    "freight", "streak", "vortex", "vincent", "bullet", "clover", "sadler", "firela", "hustler", "intruder",
    "primo", "cargobob", "tampa", "sunrise", "merit", "utility", "nevada", "yosemite", "windsor", "monstera",
    "monsterb", "uranus", "jester", "sultan", "stratum", "elegy", "raindanc", "rctiger", "flash", "tahoma",
    "savanna", "bandito", "freiflat", "streakc", "kart", "mower", "duneride", "sweeper", "broadway", "tornado",
    "at400", "dft30", "huntley", "stafford", "bf400", "newsvan", "tug", "petrotr", "car", "euros", "hotdog", "club",
    "freibox", "artict3", "androm", "plane", "rccam", "launch", "copcarla", "copcarsf", "copcarvg", "copcarru",
    "picador", "swatvan", "alpha", "phoenix", "glenshit", "sadlshit", "bagboxa", "bagboxb", "tugstair", "boxburg",
    "farmtr1", "utiltr1",
};
// clang-format on
constexpr int32_t SkipRuleNameCount = int32_t(sizeof(SkipRuleNames) / sizeof(SkipRuleNames[0]));
constexpr int32_t RadarCount = 144;

const char* const AreaPrefixes[] = {
    "lae_",    "lae2_",  "lan_", "lan2_", "law_",    "law2_", "lahills_", "laealpha_", "sfn_",
    "sfe_",    "sfs_",   "sfw_", "vgn_",  "vgs_",    "vge_",  "vgw_",     "cs_",       "ce_",
    "cw_",     "cn_",    "des_", "sw_",   "ground_", "xref_", "vegas_",   "cuntw_",    "cunte_",
    "ganton_", "docks_", "ap_",  "lawn_", "sfse_",   "vgsn_", "desn_",    "ces_",      "cuntwland",
};

const char* const PlaceWords[] = {
    "roads",   "bball",   "shops",    "bridge",  "build",     "wall",     "trees", "fence",   "lamps",    "park",
    "hotel",   "gas",     "house",    "docks",   "rail",      "church",   "land",  "signs",   "stadium",  "tunnel",
    "hosp",    "police",  "casino",   "motel",   "market",    "beach",    "pier",  "ware",    "factory",  "office",
    "tower",   "apart",   "garage",   "alley",   "stairs",    "plaza",    "mall",  "carpark", "fire",     "school",
    "bank",    "hill",    "cliff",    "river",   "farm",      "barn",     "shack", "trailer", "billbrd",  "props",
    "details", "misc",    "lights",   "grass",   "rocks",     "mountain", "dam",   "quarry",  "airfield", "hangar",
    "tramway", "freeway", "junction", "station", "stripclub", "burger",   "pizza", "gym",     "chapel",
};

const char* const TextureWords[] = {
    "roadstuff", "wall",   "brick",   "window", "door",   "grass",    "rock",     "metal",   "sign",
    "shopfront", "roof",   "floor",   "tile",   "sand",   "dirt",     "pavement", "kerb",    "fence",
    "leaves",    "bark",   "glass",   "neon",   "poster", "graffiti", "concrete", "plaster", "wood",
    "rust",      "stone",  "asphalt", "lines",  "vent",   "pipe",     "ladder",   "awning",  "shutter",
    "trim",      "cobble", "hedge",   "palm",   "sky",    "water",    "light",    "logo",    "crate",
};

const char* const TexturePrefixes[] = {"ws_", "sw_", "lae2_", "vgs_", "des_", "ce_", "cj_", "sl_", "gb_", "ab_", ""};

template <size_t Count> const char* Pick(FRandom& Random, const char* const (&List)[Count])
{
    return List[Random.Below(uint32_t(Count))];
}

std::string Lower(std::string Text)
{
    for (char& C : Text)
        if (C >= 'A' && C <= 'Z')
            C = char(C - 'A' + 'a');
    return Text;
}

bool IsSkipRuleName(const std::string& Base)
{
    const std::string Name = Lower(Base);
    if (Name.compare(0, 5, "radar") == 0)
        return true;
    for (const char* Rule : SkipRuleNames)
        if (Name == Rule)
            return true;
    return false;
}

// Unique entry names (the game compares them without regard to case), at most 23 characters.
class FNamePool
{
public:
    bool Claim(const std::string& Name) { return Name.size() <= 23 && Taken.insert(Lower(Name)).second; }

    std::string MakePlaceName(FRandom& Random, const char* Extension, bool bAvoidSkipRules)
    {
        for (int32_t Attempt = 0;; ++Attempt)
        {
            std::string Base = Pick(Random, AreaPrefixes);
            if (Random.Chance(250) && Base.back() == '_')
                Base.pop_back(); // vgnbball rather than vgn_bball
            Base += Pick(Random, PlaceWords);
            if (Random.Chance(550) || Attempt > 8)
                Base += std::to_string(Random.Range(1, Attempt > 20 ? 9999 : 99));
            if (Random.Chance(40))
                Base += "_lod";
            if (Random.Chance(5))
                for (char& C : Base)
                    C = char(C >= 'a' && C <= 'z' ? C - 'a' + 'A' : C);
            if (bAvoidSkipRules && IsSkipRuleName(Base))
                continue;
            if (Claim(Base + Extension))
                return Base + Extension;
        }
    }

private:
    std::set<std::string> Taken;
};

// ---------------------------------------------------------------------------------------------------------------
// The plan.

enum class ERole : uint8_t
{
    Model,
    Collision,
    Animation,
    Placement,
    Paths,
    Txd,
    EmptyTxd,
    SkipRuleTxd,
    MalformedTxd,
};

struct FPlannedEntry
{
    std::string Name;
    ERole Role = ERole::Model;
    uint32_t Bytes = 0;
    uint64_t Seed = 0;
    EMalformedTxd Malformed = EMalformedTxd::UnknownChunk;
    std::vector<FSampleTexture> Textures;
};

struct FPlan
{
    std::vector<FPlannedEntry> Entries;
    uint64_t FileBytes = 0;
};

uint32_t Blocks(uint64_t Bytes)
{
    return uint32_t((Bytes + BlockBytes - 1) / BlockBytes);
}

uint32_t FullChainLevels(uint32_t Width, uint32_t Height)
{
    uint32_t Levels = 1;
    for (uint32_t Side = std::max(Width, Height); Side > 1; Side /= 2)
        ++Levels;
    return Levels;
}

std::string MakeTextureName(FRandom& Random, const std::set<std::string>& Taken)
{
    for (;;)
    {
        // The word is drawn first, as the first builds drew it: the two operands of + are not sequenced, and
        // compilers take them in different orders.
        const char* Word = Pick(Random, TextureWords);
        std::string Name = std::string(Pick(Random, TexturePrefixes)) + Word;
        if (Random.Chance(600))
            Name += std::to_string(Random.Range(1, 128));
        if (!Taken.count(Name))
            return Name;
    }
}

// One texture for a dictionary with Remaining bytes left, or none when even the smallest would not fit.
bool PlanTexture(FRandom& Random, uint32_t Remaining, bool bFirst, FSampleTexture& Texture)
{
    static const uint32_t KindWeights[TextureKindCount] = {450, 120, 250, 80, 100}; // per thousand
    uint32_t Pick = Random.Below(1000), Kind = 0;
    while (Pick >= KindWeights[Kind])
        Pick -= KindWeights[Kind++];
    Texture.Kind = ETextureKind(Kind);
    const bool b32Bit = Texture.Kind == ETextureKind::Rgbx || Texture.Kind == ETextureKind::Rgba;

    const uint32_t Aspect = Random.Below(1000); // the shorter side is 1, 2 or 4 times smaller
    const int32_t Shorter = Aspect < 700 ? 0 : Aspect < 950 ? 1 : 2;
    const bool bWide = Random.Chance(550);
    const bool bOddSize = Random.Chance(30);
    const uint32_t ChainMode = Random.Below(1000); // full, single, partial
    const int32_t MaxExponent = b32Bit ? (Random.Chance(100) ? 9 : 8) : 10;

    // The largest side exponent that fits, then often a smaller one for variety.
    int32_t Fits = 0;
    FSampleTexture Candidate = Texture;
    auto Shape = [&](int32_t Exponent)
    {
        uint32_t Long = 1u << Exponent, Short = 1u << std::max(3, Exponent - Shorter);
        if (bOddSize && Exponent >= 5)
        {
            Long = 4 * uint32_t(Random.Range(int32_t(Long / 8) * 5 / 4, int32_t(Long / 4) - 1));
            Short = std::min(Short, Long);
            Long += (Long & (Long - 1)) == 0 ? 4 : 0;
        }
        Candidate.Width = uint16_t(bWide ? Long : Short);
        Candidate.Height = uint16_t(bWide ? Short : Long);
        const uint32_t Full = FullChainLevels(Candidate.Width, Candidate.Height);
        if (bOddSize)
            Candidate.MipLevels = uint8_t(ChainMode < 500 ? 1 : std::min<uint32_t>(Full, 2 + ChainMode % 2));
        else if (ChainMode < 450)
            Candidate.MipLevels = uint8_t(Full);
        else if (ChainMode < 830 || Full < 3)
            Candidate.MipLevels = 1;
        else
            Candidate.MipLevels = uint8_t(2 + (ChainMode * 7919u) % (Full - 2));
        return 36 + TextureRecordBytes(Candidate);
    };
    for (int32_t Exponent = MaxExponent; Exponent >= 3 && !Fits; --Exponent)
        if (Shape(Exponent) <= Remaining)
            Fits = Exponent;
    if (!Fits && !bFirst)
        return false;
    int32_t Exponent = std::max(Fits, 3);
    if (Exponent > 3 && Random.Chance(500))
        Exponent = Random.Range(3, Exponent);
    Shape(Exponent);
    Texture = Candidate;
    return true;
}

std::vector<FSampleTexture> PlanTextures(FRandom& Random, uint32_t TargetBytes)
{
    std::vector<FSampleTexture> Textures;
    std::set<std::string> Names;
    uint32_t Remaining = TargetBytes > 40 ? TargetBytes - 40 : 0;
    while (Textures.size() < 80)
    {
        FSampleTexture Texture;
        if (!PlanTexture(Random, Remaining, Textures.empty(), Texture))
            break;
        Texture.Name = MakeTextureName(Random, Names);
        Names.insert(Texture.Name);
        if (Texture.Kind != ETextureKind::Dxt1 && Texture.Kind != ETextureKind::Rgbx && Random.Chance(400) &&
            Texture.Name.size() < 31)
            Texture.MaskName = Texture.Name + "m";
        if (Texture.MipLevels > 1)
            Texture.FilterFlags = Random.Chance(850) ? 0x1106 : 0x3306;
        else
            Texture.FilterFlags = Random.Chance(800) ? 0x1102 : Random.Chance(500) ? 0x3302 : 0x1101;
        Texture.Seed = Random.Next();
        const uint32_t Used = 36 + TextureRecordBytes(Texture);
        Remaining = Used < Remaining ? Remaining - Used : 0;
        Textures.push_back(std::move(Texture));
        if (Remaining < 600)
            break;
    }
    return Textures;
}

struct FCounts
{
    int32_t Malformed = 0; // of each flaw
    int32_t Empty = 0;
    int32_t Radar = 0;
    int32_t SkipNamed = 0;
    int32_t RegularTxd = 0;
    int32_t Other = 0;
};

// The full archive's make-up, scaled to EntryCount; the special dictionaries keep at least one of each while
// there is room, in order of importance.
FCounts CountEntries(int32_t EntryCount, bool bMalformed)
{
    auto Scaled = [EntryCount](int64_t FullCount)
    { return int32_t((FullCount * EntryCount + FullEntryCount / 2) / FullEntryCount); };
    int32_t Room = EntryCount;
    auto Take = [&Room](int32_t Wanted)
    {
        const int32_t Got = std::min(std::max(Wanted, 0), Room);
        Room -= Got;
        return Got;
    };
    FCounts Counts;
    int32_t RegularTxd = Take(1);
    if (bMalformed)
    {
        Counts.Malformed = std::min(std::clamp(Scaled(2), 1, 2), Room / MalformedTxdCount);
        Take(Counts.Malformed * MalformedTxdCount);
    }
    Counts.Empty = Take(std::clamp(Scaled(4), 1, 4));
    Counts.Radar = Take(std::clamp(Scaled(RadarCount), 1, RadarCount));
    Counts.SkipNamed = Take(std::clamp(Scaled(SkipRuleNameCount), 1, SkipRuleNameCount));
    const int32_t Special = 1 + Counts.Malformed * MalformedTxdCount + Counts.Empty + Counts.Radar + Counts.SkipNamed;
    const int32_t TxdTotal = std::max(int32_t((int64_t(EntryCount) * 17 + 50) / 100), Special + 4);
    Counts.RegularTxd = RegularTxd + Take(TxdTotal - Special);
    Counts.Other = Take(Room);
    return Counts;
}

// k distinct numbers of 0 .. Count - 1, in random order.
std::vector<int32_t> Choose(FRandom& Random, int32_t Count, int32_t k)
{
    std::vector<int32_t> All(static_cast<size_t>(Count));
    for (int32_t i = 0; i < Count; ++i)
        All[size_t(i)] = i;
    for (int32_t i = 0; i < k; ++i)
        std::swap(All[size_t(i)], All[size_t(i) + Random.Below(uint32_t(Count - i))]);
    All.resize(size_t(k));
    return All;
}

// The dictionaries of fine detail: single-level signs of lettering in every kind, and cut-outs. Their own
// random numbers, so that the entries before them stay as they are without them.
void AddLetteringDictionaries(uint64_t Seed, FNamePool& Names, std::vector<FPlannedEntry>& Entries)
{
    FRandom Random(Imp::DeriveSeed(Seed, 0x1E77));
    for (int32_t i = 0; i < LetteringDictionaryCount; ++i)
    {
        FPlannedEntry Entry;
        Entry.Role = ERole::Txd;
        Entry.Seed = Random.Next();
        Entry.Name = "signs" + std::to_string(i) + ".txd";
        while (!Names.Claim(Entry.Name))
            Entry.Name = "x" + Entry.Name;
        for (int32_t t = 0; t < 4; ++t)
        {
            FSampleTexture Texture;
            Texture.Name = "sign" + std::to_string(i) + "_" + std::to_string(t);
            Texture.Kind = ETextureKind(Random.Below(TextureKindCount));
            // Every other dictionary: cut-out scenes of the kind with 1-bit alpha (leaves, fences, windows).
            const bool bCutOut = i % 2 == 1 && t < 2;
            Texture.Picture = bCutOut ? EPicture::Scene : EPicture::Lettering;
            if (bCutOut)
                Texture.Kind = ETextureKind::Dxt1a;
            Texture.Width = uint16_t(64 << Random.Range(0, 3));
            Texture.Height = uint16_t(32 << Random.Range(0, 3));
            Texture.FilterFlags = 0x1102;
            Texture.Seed = Random.Next();
            Entry.Textures.push_back(Texture);
        }
        Entries.push_back(std::move(Entry));
    }
}

FPlan MakePlan(const FSampleGameOptions& Options, int32_t EntryCount, uint64_t BudgetBytes)
{
    FRandom Random(Imp::DeriveSeed(Options.Seed, 0x51A3));
    FNamePool Names;
    const FCounts Counts = CountEntries(EntryCount, Options.bMalformed);
    // In a small archive one huge dictionary would be most of it.
    const uint32_t LargestTxd =
        uint32_t(std::max<uint64_t>(512 * 1024, std::min<uint64_t>(BudgetBytes / 32, 1u << 30)));
    FPlan Plan;
    std::vector<FPlannedEntry>& Entries = Plan.Entries;
    Entries.reserve(size_t(EntryCount));
    auto Add = [&](ERole Role, std::string Name) -> FPlannedEntry&
    {
        Entries.emplace_back();
        Entries.back().Role = Role;
        Entries.back().Name = std::move(Name);
        Entries.back().Seed = Random.Next();
        return Entries.back();
    };

    for (int32_t Flaw = 0; Flaw < MalformedTxdCount; ++Flaw)
        for (int32_t i = 0; i < Counts.Malformed; ++i)
        {
            FPlannedEntry& Entry = Add(ERole::MalformedTxd, Names.MakePlaceName(Random, ".txd", true));
            Entry.Malformed = EMalformedTxd(Flaw);
            Entry.Bytes = uint32_t(MakeMalformedDictionary(Entry.Malformed, Entry.Seed).size());
        }
    for (int32_t i = 0; i < Counts.Empty; ++i)
        Add(ERole::EmptyTxd, Names.MakePlaceName(Random, ".txd", true)).Bytes = TextureDictionaryBytes({});
    for (int32_t Index : Choose(Random, RadarCount, Counts.Radar))
    {
        // The map tiles: one 128 x 128 DXT1 picture each.
        const std::string Base = (Index < 10 ? "radar0" : "radar") + std::to_string(Index);
        Names.Claim(Base + ".txd");
        FPlannedEntry& Entry = Add(ERole::SkipRuleTxd, Base + ".txd");
        FSampleTexture Tile;
        Tile.Name = Base;
        Tile.Width = Tile.Height = 128;
        Tile.FilterFlags = 0x3302;
        Tile.Seed = Entry.Seed;
        Entry.Textures.push_back(Tile);
    }
    for (int32_t Index : Choose(Random, SkipRuleNameCount, Counts.SkipNamed))
    {
        Names.Claim(std::string(SkipRuleNames[Index]) + ".txd");
        FPlannedEntry& Entry = Add(ERole::SkipRuleTxd, std::string(SkipRuleNames[Index]) + ".txd");
        const uint32_t Target = std::min(DrawSize(Random, TxdSizes), LargestTxd);
        Entry.Textures = PlanTextures(Random, Target);
    }
    for (int32_t i = 0; i < Counts.RegularTxd; ++i)
    {
        FPlannedEntry& Entry = Add(ERole::Txd, Names.MakePlaceName(Random, ".txd", true));
        const uint32_t Target = std::min(DrawSize(Random, TxdSizes), LargestTxd);
        Entry.Textures = PlanTextures(Random, Target);
    }
    int32_t PathFiles = 0;
    for (int32_t i = 0; i < Counts.Other; ++i)
    {
        const uint32_t Pick = Random.Below(1000);
        const uint32_t Bytes = DrawSize(Random, OtherSizes);
        if (Pick < 15 && PathFiles < 64)
        {
            const std::string Name = "nodes" + std::to_string(PathFiles++) + ".dat";
            Names.Claim(Name);
            Add(ERole::Paths, Name).Bytes = Bytes / 2;
            continue;
        }
        const ERole Role = Pick < 35   ? ERole::Collision
                           : Pick < 50 ? ERole::Animation
                           : Pick < 80 ? ERole::Placement
                                       : ERole::Model;
        const char* Extension = Role == ERole::Collision   ? ".col"
                                : Role == ERole::Animation ? ".ifp"
                                : Role == ERole::Placement ? ".ipl"
                                                           : ".dff";
        std::string Name = Names.MakePlaceName(Random, Extension, false);
        Add(Role, std::move(Name)).Bytes = Bytes;
    }
    for (FPlannedEntry& Entry : Entries)
        if (!Entry.Textures.empty())
            Entry.Bytes = TextureDictionaryBytes(Entry.Textures);

    // Mix the roles through the archive.
    for (size_t i = Entries.size(); i > 1; --i)
        std::swap(Entries[i - 1], Entries[Random.Below(uint32_t(i))]);
    if (Options.bLettering)
    {
        AddLetteringDictionaries(Options.Seed, Names, Entries);
        for (size_t i = Entries.size() - LetteringDictionaryCount; i < Entries.size(); ++i)
            Entries[i].Bytes = TextureDictionaryBytes(Entries[i].Textures);
    }

    Plan.FileBytes = uint64_t(Blocks(8 + 32ull * Entries.size())) * BlockBytes;
    for (const FPlannedEntry& Entry : Entries)
        Plan.FileBytes += uint64_t(Blocks(Entry.Bytes)) * BlockBytes;
    return Plan;
}

// Entry counts are tried until the planned archive comes closest to the target size.
FPlan PlanForOptions(const FSampleGameOptions& Options)
{
    if (Options.EntryCount > 0 || Options.TargetBytes == 0)
    {
        const int32_t Count = Options.EntryCount > 0 ? Options.EntryCount : FullEntryCount;
        return MakePlan(Options, Count, uint64_t(Count) * MeanEntryBytes);
    }
    const uint64_t Target = Options.TargetBytes;
    int64_t Count = int64_t(std::clamp<uint64_t>(Target / MeanEntryBytes, 1, MaxEntryCount));
    FPlan Best;
    uint64_t BestMiss = ~0ull;
    std::set<int64_t> Tried;
    for (int32_t Round = 0; Round < 8 && Tried.insert(Count).second; ++Round)
    {
        FPlan Plan = MakePlan(Options, int32_t(Count), Target);
        const uint64_t Miss = Plan.FileBytes > Target ? Plan.FileBytes - Target : Target - Plan.FileBytes;
        const int64_t Next = std::clamp<int64_t>(int64_t(Count * Target / std::max<uint64_t>(Plan.FileBytes, 1)) +
                                                     (Plan.FileBytes < Target ? 1 : -1),
                                                 1, MaxEntryCount);
        if (Miss < BestMiss)
        {
            BestMiss = Miss;
            Best = std::move(Plan);
        }
        Count = Next;
    }
    return Best;
}

// ---------------------------------------------------------------------------------------------------------------
// The other files: a plausible header of their type and a body of float-like words, copied as they are.

void PutU32(uint8_t* At, uint32_t Value)
{
    for (int32_t i = 0; i < 4; ++i)
        At[i] = uint8_t(Value >> (8 * i));
}

void MakeOtherEntry(const FPlannedEntry& Entry, std::vector<uint8_t>& Out)
{
    Out.assign(Entry.Bytes, 0);
    FRandom Random(Entry.Seed);
    size_t Body = 0;
    const std::string Base = Entry.Name.substr(0, Entry.Name.find('.'));
    auto PutName = [&](size_t At, size_t Field)
    {
        for (size_t i = 0; i < Base.size() && i + 1 < Field && At + i < Out.size(); ++i)
            Out[At + i] = uint8_t(Base[i]);
    };
    if (Out.size() >= 64)
    {
        switch (Entry.Role)
        {
            case ERole::Model: // a clump chunk around the rest
                PutU32(&Out[0], 0x10);
                PutU32(&Out[4], Entry.Bytes - 12);
                PutU32(&Out[8], 0x1803FFFF);
                PutU32(&Out[12], 0x1);
                PutU32(&Out[16], 12);
                PutU32(&Out[20], 0x1803FFFF);
                PutU32(&Out[24], uint32_t(Random.Range(1, 4)));
                Body = 36;
                break;
            case ERole::Collision:
                std::copy_n("COL3", 4, Out.begin());
                PutU32(&Out[4], Entry.Bytes - 8);
                PutName(8, 22);
                Body = 32;
                break;
            case ERole::Animation:
                std::copy_n("ANP3", 4, Out.begin());
                PutU32(&Out[4], Entry.Bytes - 8);
                PutName(8, 24);
                PutU32(&Out[32], uint32_t(Random.Range(1, 60)));
                Body = 36;
                break;
            case ERole::Placement:
                std::copy_n("bnry", 4, Out.begin());
                PutU32(&Out[4], (Entry.Bytes - 76) / 40);
                Body = 76;
                break;
            default:
                for (size_t i = 0; i < 5; ++i)
                    PutU32(&Out[i * 4], Entry.Bytes / 28 >> i);
                Body = 20;
                break;
        }
    }
    // Words of a few kinds: small integers, zeros, and single-precision values between about -64 and 64.
    for (size_t At = Body; At + 4 <= Out.size(); At += 4)
    {
        const uint64_t Bits = Random.Next();
        const uint32_t Kind = uint32_t(Bits & 7);
        const uint32_t Low = uint32_t(Bits >> 32);
        if (Kind == 0)
            continue;
        const uint32_t Sign = uint32_t(Bits & 8) << 28;
        PutU32(&Out[At], Kind == 1 ? (Low & 0xFF) : Sign | (0x7C + (Low >> 30)) << 23 | (Low & 0x7FFFFF));
    }
}

bool Fail(std::string* Error, const std::string& Text)
{
    if (Error)
        *Error = Text;
    return false;
}

// Writes the whole archive of Plan; entries are made by MakeEntry one at a time.
class FImgFile
{
public:
    ~FImgFile()
    {
        if (File)
            std::fclose(File);
    }
    bool Open(const std::string& InPath)
    {
        Path = InPath;
        File = std::fopen(Path.c_str(), "wb");
        if (File)
            std::setvbuf(File, nullptr, _IOFBF, 1 << 20);
        return File != nullptr;
    }
    bool Write(const void* Bytes, size_t Count) { return !Count || std::fwrite(Bytes, 1, Count, File) == Count; }
    bool Pad(uint64_t Count)
    {
        static const uint8_t Zeros[BlockBytes] = {};
        return Write(Zeros, size_t(Count));
    }
    bool Close()
    {
        const bool bGood = std::fclose(File) == 0;
        File = nullptr;
        return bGood;
    }
    void Discard()
    {
        if (File)
            std::fclose(File);
        File = nullptr;
        std::error_code Ignored;
        std::filesystem::remove(Path, Ignored);
    }

private:
    std::string Path;
    std::FILE* File = nullptr;
};

bool WriteDirectory(FImgFile& File, const std::vector<std::string>& Names, const std::vector<uint32_t>& Sizes)
{
    const uint32_t Count = uint32_t(Names.size());
    std::vector<uint8_t> Head(8 + 32 * size_t(Count), 0);
    std::copy_n("VER2", 4, Head.begin());
    PutU32(&Head[4], Count);
    uint32_t Block = Blocks(Head.size());
    for (uint32_t i = 0; i < Count; ++i)
    {
        uint8_t* Record = &Head[8 + 32 * size_t(i)];
        PutU32(Record, Block);
        PutU32(Record + 4, Blocks(Sizes[i]));
        std::copy(Names[i].begin(), Names[i].end(), Record + 8);
        Block += Blocks(Sizes[i]);
    }
    return File.Write(Head.data(), Head.size()) && File.Pad(uint64_t(Blocks(Head.size())) * BlockBytes - Head.size());
}

bool WriteEntry(FImgFile& File, const std::vector<uint8_t>& Bytes)
{
    return File.Write(Bytes.data(), Bytes.size()) &&
           File.Pad(uint64_t(Blocks(Bytes.size())) * BlockBytes - Bytes.size());
}

bool ValidName(const std::string& Name)
{
    return !Name.empty() && Name.size() <= 23 && Name.find('\0') == std::string::npos;
}

bool IsTxdRole(ERole Role)
{
    return Role >= ERole::Txd;
}

void FillReport(const FPlan& Plan, FSampleGameReport& Report)
{
    std::vector<uint32_t> TxdSizes;
    Report.EntryCount = int32_t(Plan.Entries.size());
    Report.FileBytes = Plan.FileBytes;
    for (const FPlannedEntry& Entry : Plan.Entries)
    {
        if (!IsTxdRole(Entry.Role))
            continue;
        TxdSizes.push_back(Entry.Bytes);
        Report.TxdBytes += uint64_t(Blocks(Entry.Bytes)) * BlockBytes;
        Report.EmptyTxdCount += Entry.Role == ERole::EmptyTxd;
        Report.SkipRuleTxdCount += Entry.Role == ERole::SkipRuleTxd;
        Report.MalformedCount += Entry.Role == ERole::MalformedTxd;
        for (const FSampleTexture& Texture : Entry.Textures)
        {
            ++Report.TextureCount;
            ++Report.TexturesByKind[int32_t(Texture.Kind)];
            Report.LevelBytesByKind[int32_t(Texture.Kind)] += TextureRecordBytes(Texture) - 88 - 4u * Texture.MipLevels;
        }
    }
    Report.TxdCount = int32_t(TxdSizes.size());
    if (!TxdSizes.empty())
    {
        std::sort(TxdSizes.begin(), TxdSizes.end());
        Report.MedianTxdBytes = TxdSizes[TxdSizes.size() / 2];
        Report.LargestTxdBytes = TxdSizes.back();
    }
}

std::string Lowered(const std::filesystem::path& Path)
{
    return Lower(Path.filename().u8string());
}

// The child of Folder whose name equals Name without regard to case, or Folder / Name.
std::filesystem::path FindChild(const std::filesystem::path& Folder, const std::string& Name)
{
    std::error_code Code;
    for (std::filesystem::directory_iterator It(Folder, Code), End; !Code && It != End; It.increment(Code))
        if (Lowered(It->path()) == Name)
            return It->path();
    return Folder / Name;
}

} // namespace

bool WriteImgArchive(const std::string& Path, const std::vector<FImgEntrySource>& Entries, std::string* Error)
{
    std::vector<std::string> Names;
    std::vector<uint32_t> Sizes;
    for (const FImgEntrySource& Entry : Entries)
    {
        if (!ValidName(Entry.Name))
            return Fail(Error, "bad entry name \"" + Entry.Name + "\"");
        Names.push_back(Entry.Name);
        Sizes.push_back(uint32_t(Entry.Bytes.size()));
    }
    FImgFile File;
    if (!File.Open(Path))
        return Fail(Error, "cannot create " + Path);
    bool bGood = WriteDirectory(File, Names, Sizes);
    for (size_t i = 0; i < Entries.size() && bGood; ++i)
        bGood = WriteEntry(File, Entries[i].Bytes);
    if (bGood && File.Close())
        return true;
    File.Discard();
    return Fail(Error, "cannot write " + Path);
}

bool WriteSampleImg(const std::string& ImgPath, const FSampleGameOptions& Options, std::string* Error,
                    FSampleGameReport* Report)
{
    if (Options.EntryCount > MaxEntryCount || Options.TargetBytes > MaxArchiveBytes)
        return Fail(Error, "the archive would not stay below 2 GiB");
    const FPlan Plan = PlanForOptions(Options);
    if (Plan.FileBytes > MaxArchiveBytes)
        return Fail(Error, "the archive would not stay below 2 GiB");

    std::vector<std::string> Names;
    std::vector<uint32_t> Sizes;
    for (const FPlannedEntry& Entry : Plan.Entries)
    {
        Names.push_back(Entry.Name);
        Sizes.push_back(Entry.Bytes);
    }
    FImgFile File;
    if (!File.Open(ImgPath))
        return Fail(Error, "cannot create " + ImgPath);
    bool bGood = WriteDirectory(File, Names, Sizes);
    std::vector<uint8_t> Bytes;
    for (size_t i = 0; i < Plan.Entries.size() && bGood; ++i)
    {
        const FPlannedEntry& Entry = Plan.Entries[i];
        if (Entry.Role == ERole::MalformedTxd)
            Bytes = MakeMalformedDictionary(Entry.Malformed, Entry.Seed);
        else if (IsTxdRole(Entry.Role))
            Bytes = MakeTextureDictionary(Entry.Textures);
        else
            MakeOtherEntry(Entry, Bytes);
        if (Bytes.size() != Entry.Bytes)
        {
            File.Discard();
            return Fail(Error, "internal error: " + Entry.Name + " came out at " + std::to_string(Bytes.size()) +
                                   " bytes instead of " + std::to_string(Entry.Bytes));
        }
        bGood = WriteEntry(File, Bytes);
    }
    if (!bGood || !File.Close())
    {
        File.Discard();
        return Fail(Error, "cannot write " + ImgPath);
    }
    if (Report)
    {
        *Report = FSampleGameReport();
        FillReport(Plan, *Report);
        Report->ImgPath = ImgPath;
    }
    return true;
}

bool WriteSampleGame(const std::string& OutDir, const FSampleGameOptions& Options, std::string* Error,
                     FSampleGameReport* Report)
{
    namespace fs = std::filesystem;
    std::error_code Code;
    fs::create_directories(fs::path(OutDir), Code);
    const fs::path Models = FindChild(fs::path(OutDir), "models");
    fs::create_directories(Models, Code);
    if (!fs::is_directory(Models, Code))
        return Fail(Error, "cannot create the folder " + Models.string());
    const fs::path Img = FindChild(Models, "gta3.img");
    if (fs::exists(Img, Code) && !Options.bOverwrite)
        return Fail(Error, Img.string() + " exists already");
    if (!WriteSampleImg(Img.string(), Options, Error, Report))
        return false;
    if (Options.ExtraArchives.empty())
        return true;

    // The game's own gta.dat lists its archives this way, and so does a mod installer.
    std::string Dat = "# written by make-sample-game\r\n";
    for (size_t i = 0; i < Options.ExtraArchives.size(); ++i)
    {
        const FSampleGameOptions::FExtraArchive& Extra = Options.ExtraArchives[i];
        std::string Upper = Extra.Name;
        for (char& C : Upper)
            C = char(std::toupper(static_cast<unsigned char>(C)));
        if (Extra.Name.empty() || Upper.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") != std::string::npos)
            return Fail(Error, "bad archive name \"" + Extra.Name + "\"");
        const fs::path Path = FindChild(Models, Lower(Extra.Name + ".img"));
        if (fs::exists(Path, Code) && !Options.bOverwrite)
            return Fail(Error, Path.string() + " exists already");
        FSampleGameOptions ExtraOptions = Options;
        ExtraOptions.EntryCount = Extra.EntryCount;
        ExtraOptions.TargetBytes = 0;
        ExtraOptions.Seed = Options.Seed + 1 + i;
        if (!WriteSampleImg(Path.string(), ExtraOptions, Error))
            return false;
        Dat += "IMG MODELS\\" + Upper + ".IMG\r\n";
    }
    const fs::path Data = FindChild(fs::path(OutDir), "data");
    fs::create_directories(Data, Code);
    std::ofstream File(FindChild(Data, "gta.dat"), std::ios::binary | std::ios::trunc);
    File << Dat;
    File.close();
    return File ? true : Fail(Error, "cannot write " + FindChild(Data, "gta.dat").string());
}

} // namespace SampleGame
