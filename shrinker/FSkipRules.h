// Skip rules: which texture dictionaries keep their textures unchanged. Each rule pairs an action ("skip" or
// "allow", with an optional trailing 'c' for a case-sensitive rule) with a name pattern that may carry a '*' at
// either end. The rules come from the section SkipRules of SkipRules.ini beside the program, else from the
// built-in list.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreHash.h"
#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateMap.h"
#include "Core/Inc/CoreTemplateString.h"

struct FSkipRule
{
    int32_t bCaseSensitive = 0;
    int32_t bWildcardAtEnd = 0;
    int32_t bWildcardAtStart = 0;
    FString Pattern; // without its stars
    FString Action;  // without the case marker
};

enum ESkipMatch : int32_t
{
    SKIPMATCH_None = 0,
    SKIPMATCH_Skip = 1,
    SKIPMATCH_Allow = 2,
};

// The rules file's own name; the program looks for it in its own folder.
extern const char16_t* const GSkipRulesFileName;

// The rule set of one archive shrink. Filled on the shrink's thread before the first entry; matching only reads
// it, so entries may be matched from any thread afterwards.
class FSkipRules
{
public:
    // The file the rules are read from: through the config cache, "../SkipRules.ini" is SkipRules.ini in the
    // program's own directory.
    static const char16_t* DefaultFile();
    // The user's own rules, SkipRules.ini in the pellmor folder of the user's settings (on Linux
    // $XDG_CONFIG_HOME/pellmor/, else ~/.config/pellmor/), which the command line takes before the program's
    // when it is there; empty where the system keeps no such folder (Windows). Absolute.
    static FString UserFile();

    // Fills the set when it holds no exact rule yet: from section SkipRules of File when that section exists
    // (an empty section gives no rules at all), else from the built-in rules. A relative File is read through
    // the config cache (DefaultFile() is SkipRules.ini beside the program); an absolute one where it is, with
    // the same INI syntax. Nothing is written. On the shrink's thread, before entries are matched.
    void Load(const char16_t* File);
    // Fills the set from the built-in rules.
    void LoadDefaults();
    // Parses one action/pattern pair into a rule and files it.
    void AddSkipRule(const FString& Action, const FString& Pattern);
    // 0 no applicable rule, 1 skip, 2 allow. An exact rule for the name wins over wildcard rules; among
    // wildcard rules the last matching one wins.
    int32_t MatchSkipRule(const FString& Name) const;
    void Empty();
    // A digest of the rules as they were added, in order (each rule's action and pattern as parsed, its case
    // and wildcard flags): two sets of the same rules in the same order have the same digest.
    uint64_t Digest() const;
    // The digest of the built-in rules (LoadDefaults into an empty set).
    static uint64_t DefaultDigest();

    static int32_t NumDefaultRules();
    static const char16_t* DefaultRule(int32_t Index);

    // Exact patterns, newest first in each chain; keys compare without regard to ASCII case.
    TMap<FString, FSkipRule> ExactRules;
    // Patterns with a star, in the order added.
    TDynArray<FSkipRule> WildcardRules;

private:
    FHash64 RulesHash;
};
