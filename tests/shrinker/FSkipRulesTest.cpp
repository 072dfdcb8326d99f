#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "Core/Inc/FFileManager.h"
#include "shrinker/FSkipRules.h"
#include "tests/support/TempDir.h"

namespace
{
int32_t Match(const FSkipRules& Set, const char16_t* Name)
{
    return Set.MatchSkipRule(FString(Name));
}
} // namespace

// An exact rule wins over the wildcards, and of those the last one given; the newest exact rule for a name is the
// one asked. A trailing "c" makes a rule heed case; a key with a blank before its '=', or another word, is no action.
TEST(FSkipRulesTest, RulesAreAskedInTheirOrderOfPrecedence)
{
    const struct
    {
        std::vector<std::pair<const char16_t*, const char16_t*>> Rules;
        const char16_t* Name;
        int32_t Match;
    } Cases[] = {
        {{{u"skip", u"*lod*"}}, u"gta_LOD_veg", SKIPMATCH_Skip},
        {{{u"skip", u"*lod*"}}, u"lodroads", SKIPMATCH_Skip},
        {{{u"skip", u"*lod*"}}, u"radar00", SKIPMATCH_None},
        {{{u"skip", u"radar*"}, {u"allow", u"radar00"}}, u"radar01", SKIPMATCH_Skip},
        {{{u"skip", u"radar*"}, {u"allow", u"radar00"}}, u"radar00", SKIPMATCH_Allow},
        {{{u"skip", u"radar*"}, {u"allow", u"radar0*"}}, u"radar05", SKIPMATCH_Allow},
        {{{u"skip", u"radar*"}, {u"allow", u"radar0*"}}, u"radar15", SKIPMATCH_Skip},
        {{{u"skip", u"*_lod"}, {u"skip", u"*"}}, u"anything", SKIPMATCH_Skip},
        {{{u"skip", u"*_lod"}}, u"TREE_LOD", SKIPMATCH_Skip},
        {{{u"skip", u"*_lod"}}, u"tree_lods", SKIPMATCH_None},
        {{{u"skip", u"shop"}, {u"allow", u"SHOP"}}, u"shop", SKIPMATCH_Allow},
        {{{u"skipc", u"Radar*"}}, u"Radar00", SKIPMATCH_Skip},
        {{{u"skipc", u"Radar*"}}, u"radar00", SKIPMATCH_None},
        {{{u"SkipC", u"Shop"}}, u"shop", SKIPMATCH_None},
        {{{u"SKIP", u"shop"}}, u"shop", SKIPMATCH_Skip},
        {{{u"skip ", u"shop"}}, u"shop", SKIPMATCH_None},
        {{{u"ignore", u"shop"}}, u"shop", SKIPMATCH_None},
    };
    for (const auto& Case : Cases)
    {
        FSkipRules Set;
        for (const auto& Rule : Case.Rules)
            Set.AddSkipRule(FString(Rule.first), FString(Rule.second));
        EXPECT_EQ(Match(Set, Case.Name), Case.Match)
            << FString(Case.Rules.back().second).ToUtf8() << " / " << FString(Case.Name).ToUtf8();
    }
}

TEST(FSkipRulesTest, RulesFileReplacesTheBuiltInRulesAndAnEmptySectionDisablesSkipping)
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

    // Without the file, the built-in rules: radar pictures and the listed names.
    FSkipRules Missing;
    Missing.Load(u"../NoSuchRules.ini");
    for (const char16_t* Name : {u"radar00", u"RADAR12", u"landstal", u"LANDSTAL", u"bike", u"utiltr1"})
        EXPECT_EQ(Match(Missing, Name), SKIPMATCH_Skip) << FString(Name).ToUtf8();
    for (const char16_t* Name : {u"landstal2", u"gta_tree_palm_lod", u"rada", u"shop"})
        EXPECT_EQ(Match(Missing, Name), SKIPMATCH_None) << FString(Name).ToUtf8();
    Files->SetDefaultDirectory(*Was);
}
