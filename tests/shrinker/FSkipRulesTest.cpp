#include <gtest/gtest.h>

#include "Core/Inc/FFileManager.h"
#include "shrinker/FSkipRules.h"
#include "tests/support/TempDir.h"

namespace
{
FSkipRules Rules(std::initializer_list<std::pair<const char16_t*, const char16_t*>> Pairs)
{
    FSkipRules Set;
    for (const auto& Pair : Pairs)
        Set.AddSkipRule(FString(Pair.first), FString(Pair.second));
    return Set;
}

int32_t Match(const FSkipRules& Set, const char16_t* Name)
{
    return Set.MatchSkipRule(FString(Name));
}
} // namespace

TEST(FSkipRulesTest, BuiltInRulesSkipRadarAndTheListedNames)
{
    FSkipRules Set;
    Set.LoadDefaults();
    EXPECT_EQ(FSkipRules::NumDefaultRules(), 218);
    EXPECT_EQ(Set.WildcardRules.Num(), 1);
    EXPECT_EQ(Set.ExactRules.Num(), 217);
    for (const char16_t* Name : {u"radar00", u"RADAR12", u"landstal", u"LANDSTAL", u"bike", u"utiltr1"})
        EXPECT_EQ(Match(Set, Name), SKIPMATCH_Skip) << FString(Name).ToUtf8();
    for (const char16_t* Name : {u"landstal2", u"gta_tree_palm_lod", u"rada", u"shop"})
        EXPECT_EQ(Match(Set, Name), SKIPMATCH_None) << FString(Name).ToUtf8();
}

TEST(FSkipRulesTest, ExactRulesWinAndTheLastWildcardWins)
{
    const FSkipRules Lod = Rules({{u"skip", u"*lod*"}});
    EXPECT_EQ(Match(Lod, u"gta_LOD_veg"), SKIPMATCH_Skip);
    EXPECT_EQ(Match(Lod, u"lodroads"), SKIPMATCH_Skip);
    EXPECT_EQ(Match(Lod, u"radar00"), SKIPMATCH_None);

    const FSkipRules ExactAllow = Rules({{u"skip", u"radar*"}, {u"allow", u"radar00"}});
    EXPECT_EQ(Match(ExactAllow, u"radar01"), SKIPMATCH_Skip);
    EXPECT_EQ(Match(ExactAllow, u"radar00"), SKIPMATCH_Allow);

    const FSkipRules LaterWildcard = Rules({{u"skip", u"radar*"}, {u"allow", u"radar0*"}});
    EXPECT_EQ(Match(LaterWildcard, u"radar05"), SKIPMATCH_Allow);
    EXPECT_EQ(Match(LaterWildcard, u"radar15"), SKIPMATCH_Skip);

    const FSkipRules Suffix = Rules({{u"skip", u"*_lod"}, {u"skip", u"*"}});
    EXPECT_EQ(Match(Suffix, u"anything"), SKIPMATCH_Skip);
    EXPECT_EQ(Match(Rules({{u"skip", u"*_lod"}}), u"TREE_LOD"), SKIPMATCH_Skip);
    EXPECT_EQ(Match(Rules({{u"skip", u"*_lod"}}), u"tree_lods"), SKIPMATCH_None);

    // The newest exact rule for a name is the one asked.
    EXPECT_EQ(Match(Rules({{u"skip", u"shop"}, {u"allow", u"SHOP"}}), u"shop"), SKIPMATCH_Allow);
}

TEST(FSkipRulesTest, CaseMarkerAndMeaninglessActions)
{
    const FSkipRules Case = Rules({{u"skipc", u"Radar*"}});
    EXPECT_EQ(Match(Case, u"Radar00"), SKIPMATCH_Skip);
    EXPECT_EQ(Match(Case, u"radar00"), SKIPMATCH_None);
    EXPECT_EQ(Match(Rules({{u"SkipC", u"Shop"}}), u"shop"), SKIPMATCH_None);
    EXPECT_EQ(Match(Rules({{u"SKIP", u"shop"}}), u"shop"), SKIPMATCH_Skip);
    // A key with a blank before its '=' is no action word.
    EXPECT_EQ(Match(Rules({{u"skip ", u"shop"}}), u"shop"), SKIPMATCH_None);
    EXPECT_EQ(Match(Rules({{u"ignore", u"shop"}}), u"shop"), SKIPMATCH_None);
}

TEST(FSkipRulesTest, RulesFileReplacesTheDefaultsAndAnEmptySectionDisablesSkipping)
{
    FTempDir Dir;
    FFileManager* Files = GGlobalVars()->GetFileManager();
    const FString Was = Files->GetDefaultDirectory();
    ASSERT_TRUE(Files->SetDefaultDirectory(*Dir.Path()));
    // Through the config cache, "../X.ini" is X.ini in the current directory.
    ASSERT_TRUE(WriteTestFile(Dir / u"LodRules.ini", "[SkipRules]\r\nskip=*lod*\r\n"));
    ASSERT_TRUE(WriteTestFile(Dir / u"NoRules.ini", "[SkipRules]\r\n[Other]\r\nskip=radar*\r\n"));

    FSkipRules Lod;
    Lod.Load(u"../LodRules.ini");
    EXPECT_EQ(Match(Lod, u"LODveg"), SKIPMATCH_Skip);
    EXPECT_EQ(Match(Lod, u"radar00"), SKIPMATCH_None);

    FSkipRules None;
    None.Load(u"../NoRules.ini");
    EXPECT_EQ(None.ExactRules.Num() + None.WildcardRules.Num(), 0);
    EXPECT_EQ(Match(None, u"radar00"), SKIPMATCH_None);

    FSkipRules Missing;
    Missing.Load(u"../NoSuchRules.ini");
    EXPECT_EQ(Match(Missing, u"radar00"), SKIPMATCH_Skip);
    Files->SetDefaultDirectory(*Was);
}
