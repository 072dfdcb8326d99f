#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/Inc/Core.h"
#include "shrinker/FSkipRulesCheck.h"
#include "tests/support/TempDir.h"

TEST(FSkipRulesCheckTest, EveryLineThatGivesNoRuleIsNamedWithItsReason)
{
    FTempDir Dir;
    const FString File = Dir.File(u"rules.ini");
    const struct
    {
        const char* Text; // null: no file
        ESkipRulesSource Source;
        int32_t Rules;
        bool bNoValidRule;
        std::vector<std::pair<int32_t, ESkipRuleWhy>> Warnings;
    } Cases[] = {
        {nullptr, ESkipRulesSource::BuiltIn, 218, false, {}},
        {"[Other]\nskip=*\nnonsense\n", ESkipRulesSource::BuiltIn, 218, false, {}},
        // A UTF-8 byte-order mark does not hide the section; the case marker and case of the action are fine.
        {"\xEF\xBB\xBF[SkipRules]\r\nskip=radar*\r\nALLOWc=Radar00\r\n", ESkipRulesSource::File, 2, false, {}},
        {"[SkipRules]\nskip = *\nfoo=bar\nradar*\n\nskip=a allow=b c\n[other]\nx\n[skiprules]\n skip=y\n",
         ESkipRulesSource::File,
         2,
         false,
         {{2, ESkipRuleWhy::BlankBeforeEquals},
          {3, ESkipRuleWhy::UnknownAction},
          {4, ESkipRuleWhy::NoEquals},
          {6, ESkipRuleWhy::UnknownAction},
          {10, ESkipRuleWhy::UnknownAction}}},
        // Lines end at a carriage return too, as the INI reader cuts them.
        {"[SkipRules]\rskip\t=*\r", ESkipRulesSource::File, 0, true, {{2, ESkipRuleWhy::BlankBeforeEquals}}},
        {"[SkipRules]\n", ESkipRulesSource::File, 0, true, {}},
    };
    for (const auto& Case : Cases)
    {
        if (Case.Text)
        {
            ASSERT_TRUE(WriteTestFile(File, Case.Text));
        }
        const FSkipRulesCheck Check = CheckSkipRulesFile(Case.Text ? File : Dir.File(u"none.ini"));
        const std::string Name = Case.Text ? Case.Text : "(no file)";
        EXPECT_EQ(Check.bFileFound, Case.Text != nullptr) << Name;
        EXPECT_EQ(Check.Source, Case.Source) << Name;
        EXPECT_EQ(Check.NumRules, Case.Rules) << Name;
        EXPECT_EQ(Check.bNoValidRule, Case.bNoValidRule) << Name;
        ASSERT_EQ(size_t(Check.Warnings.Num()), Case.Warnings.size()) << Name;
        for (size_t i = 0; i < Case.Warnings.size(); ++i)
        {
            EXPECT_EQ(Check.Warnings[int32_t(i)].Line, Case.Warnings[i].first) << Name;
            EXPECT_EQ(Check.Warnings[int32_t(i)].Why, Case.Warnings[i].second) << Name;
        }
    }
    // The warning keeps the line as written, and its number: CR LF ends one line.
    ASSERT_TRUE(WriteTestFile(File, "[SkipRules]\r\nskip = *  \r\n"));
    EXPECT_EQ(CheckSkipRulesFile(File).Warnings[0].Text, FString(u"skip = *  "));
    EXPECT_EQ(CheckSkipRulesFile(File).Warnings[0].Line, 2);
}
