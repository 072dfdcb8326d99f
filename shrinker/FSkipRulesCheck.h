// What a skip rules file will do to a shrink, told before the shrink: where the rules come from, how many there
// are, and which lines of the section give no rule the shrink can act on, with the reason. The rules themselves
// are taken as written (FSkipRules); this only reads the file's lines again to say what became of each.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"

enum class ESkipRulesSource : int32_t
{
    File,    // the file's SkipRules section (even an empty one)
    BuiltIn, // the built-in list: the file is missing or has no SkipRules section
};

// Why a line of the section gives no rule a shrink acts on.
enum class ESkipRuleWhy : int32_t
{
    BlankBeforeEquals, // "skip =x": the action is "skip " with its blank, which is no action
    UnknownAction,     // the action is none of skip, allow, skipc, allowc
    NoEquals,          // no '=' at all: the line is no pair
};

struct FSkipRulesWarning
{
    int32_t Line = 0; // from 1
    FString Text;     // the line as written
    ESkipRuleWhy Why = ESkipRuleWhy::NoEquals;
};

struct FSkipRulesCheck
{
    ESkipRulesSource Source = ESkipRulesSource::BuiltIn;
    FString Path; // the file looked at, absolute
    bool bFileFound = false;
    int32_t NumRules = 0; // the rules a shrink acts on: the section's readable ones, or the built-in list's
    TDynArray<FSkipRulesWarning> Warnings; // one per line, in file order
    // The section is there but gives no readable rule: nothing is skipped, and the built-in list is off too.
    bool bNoValidRule = false;
};

// Reads File (absolute) as a shrink reads it with the INI syntax of the config cache, or, when File is empty,
// SkipRules.ini in the program's directory, which shrinks read by default. A UTF-8 byte-order mark at the start
// is skipped. Blocks on the disk; any thread; keeps nothing.
FSkipRulesCheck CheckSkipRulesFile(const FString& File);
