#include "tests/support/SampleGameSupport.h"

#include <gtest/gtest.h>

#include "SampleGame.h"

bool MakeSampleGame(const FString& Dir, int32_t Entries, const std::vector<std::pair<std::string, int32_t>>& Extra)
{
    SampleGame::FSampleGameOptions Options;
    Options.EntryCount = Entries;
    Options.Seed = 7;
    for (const auto& Archive : Extra)
        Options.ExtraArchives.push_back({Archive.first, Archive.second});
    std::string Error;
    const bool bMade = SampleGame::WriteSampleGame(Dir.ToUtf8(), Options, &Error);
    EXPECT_TRUE(bMade) << Error;
    return bMade;
}
