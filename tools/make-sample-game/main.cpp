// make-sample-game: writes a synthetic game directory, DIR/models/gta3.img, from a seed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SampleGame.h"

namespace
{
const char* const Usage =
    "usage: make-sample-game [--out DIR] [--seed N] [--entries N | --size MB] [--no-malformed] [--lettering]\n"
    "                        [--force] [--quiet]\n"
    "                        [--extra-archive NAME:ENTRIES]...\n"
    "  Writes DIR/models/gta3.img (DIR defaults to sample-game). Without --entries or --size the archive has the\n"
    "  full size of the game's own: 16,300 entries, about 900 MiB. The same options give the same bytes.\n"
    "  --no-malformed  leave out the deliberately malformed texture dictionaries\n"
    "  --lettering     also 16 dictionaries of single-level signs of lettering and cut-outs, after the rest\n"
    "  --force         replace existing archives\n"
    "  --extra-archive also DIR/models/NAME.img of ENTRIES entries, named in DIR/data/gta.dat as the game\n"
    "                  names gta_int.img and a mod its own archive\n";

bool ParseNumber(const char* Text, uint64_t Max, uint64_t& Value)
{
    if (!Text || !*Text || std::strspn(Text, "0123456789") != std::strlen(Text) || std::strlen(Text) > 18)
        return false;
    Value = std::strtoull(Text, nullptr, 10);
    return Value <= Max;
}

std::string Percent(uint64_t Part, uint64_t Whole)
{
    const uint64_t Tenths = Whole ? (Part * 1000 + Whole / 2) / Whole : 0;
    return std::to_string(Tenths / 10) + "." + std::to_string(Tenths % 10) + "%";
}
} // namespace

int main(int ArgCount, char** Args)
{
    SampleGame::FSampleGameOptions Options;
    std::string OutDir = "sample-game";
    bool bQuiet = false;
    for (int i = 1; i < ArgCount; ++i)
    {
        const std::string Arg = Args[i];
        const char* Value = i + 1 < ArgCount ? Args[i + 1] : nullptr;
        uint64_t Number = 0;
        bool bGood = true;
        if (Arg == "--out" && Value)
            OutDir = Value, ++i;
        else if (Arg == "--seed")
            bGood = ParseNumber(Value, ~0ull, Options.Seed), ++i;
        else if (Arg == "--entries")
            bGood = ParseNumber(Value, 40000, Number) && Number > 0, Options.EntryCount = int32_t(Number), ++i;
        else if (Arg == "--size")
            bGood = ParseNumber(Value, 2047, Number) && Number > 0, Options.TargetBytes = Number << 20, ++i;
        else if (Arg == "--extra-archive" && Value && std::strchr(Value, ':'))
        {
            const char* Colon = std::strchr(Value, ':');
            bGood = ParseNumber(Colon + 1, 40000, Number) && Number > 0 && Colon > Value;
            Options.ExtraArchives.push_back({std::string(Value, Colon), int32_t(Number)});
            ++i;
        }
        else if (Arg == "--lettering")
            Options.bLettering = true;
        else if (Arg == "--no-malformed")
            Options.bMalformed = false;
        else if (Arg == "--force")
            Options.bOverwrite = true;
        else if (Arg == "--quiet")
            bQuiet = true;
        else if (Arg == "--help" || Arg == "-h")
        {
            std::fputs(Usage, stdout);
            return 0;
        }
        else
            bGood = false;
        if (!bGood)
        {
            std::fprintf(stderr, "make-sample-game: bad argument %s\n%s", Arg.c_str(), Usage);
            return 1;
        }
    }
    if (Options.EntryCount > 0 && Options.TargetBytes > 0)
    {
        std::fprintf(stderr, "make-sample-game: give --entries or --size, not both\n");
        return 1;
    }

    const auto Start = std::chrono::steady_clock::now();
    SampleGame::FSampleGameReport Report;
    std::string Error;
    if (!SampleGame::WriteSampleGame(OutDir, Options, &Error, &Report))
    {
        const bool bExists = Error.size() >= 14 && Error.compare(Error.size() - 14, 14, "exists already") == 0;
        std::fprintf(stderr, "make-sample-game: %s%s\n", Error.c_str(), bExists ? " (--force replaces it)" : "");
        return 1;
    }
    const auto Millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - Start).count();
    if (!bQuiet)
    {
        const std::string Line = "make-sample-game: " + Report.ImgPath + ": " + std::to_string(Report.EntryCount) +
                                 " entries, " + std::to_string(Report.TxdCount) + " txd (" +
                                 Percent(Report.TxdBytes, Report.FileBytes) + " of the bytes), " +
                                 std::to_string(Report.FileBytes) + " bytes, " + std::to_string(Millis / 1000) + "." +
                                 std::to_string(Millis / 100 % 10) + " s\n";
        std::fputs(Line.c_str(), stdout);
    }
    return 0;
}
