// The skip rules file read line by line, to tell the user which lines give no rule and why.
#include "shrinker/FSkipRulesCheck.h"

#include "Core/Inc/CoreFileText.h"
#include "Core/Inc/CoreUtil.h"
#include "Core/Inc/FGlobalVars.h"
#include "shrinker/FSkipRules.h"

namespace
{
// Whether a shrink acts on a rule with this action: asked of the rules themselves, so that the words and the
// case marker stay theirs alone.
bool ActionReads(const FString& Action)
{
    FSkipRules Probe;
    Probe.AddSkipRule(Action, FString(u"x"));
    return Probe.MatchSkipRule(FString(u"x")) != SKIPMATCH_None;
}

// The actions (keys) of the pairs one line of a section gives, as the INI reader forms them: the text before
// the first '='; and when the value holds another '=', its blank-separated words after the first each give a
// pair "key=value" of their own (a word without '=' gives an empty key). Blanks inside double quotes do not
// separate words.
TDynArray<FString> ActionsOfLine(const FString& Line, int32_t Equals)
{
    TDynArray<FString> Actions;
    Actions.AddItem(Line.Left(Equals));
    FString Value = Line.Mid(Equals + 1);
    while (Value.Len() > 0 && Value[Value.Len() - 1] == u' ')
        Value = Value.Left(Value.Len() - 1);
    if (Value.Len() >= 2 && Value[0] == u'"' && Value[Value.Len() - 1] == u'"')
        Value = Value.Mid(1, Value.Len() - 2);
    if (Value.InStr(u"=") < 0)
        return Actions;

    bool bFirst = true;
    for (int32_t i = 0; i < Value.Len();)
    {
        while (i < Value.Len() && appIsBlank(Value[i]))
            ++i;
        if (i >= Value.Len())
            break;
        FString Word;
        for (bool bQuoted = false; i < Value.Len() && (bQuoted || !appIsBlank(Value[i])); ++i)
        {
            bQuoted = Value[i] == u'"' ? !bQuoted : bQuoted;
            Word += Value[i];
        }
        if (!bFirst)
            Actions.AddItem(Word.InStr(u"=") >= 0 ? Word.Left(Word.InStr(u"=")) : FString());
        bFirst = false;
    }
    return Actions;
}

// One line of the section: the rules it gives that a shrink acts on are counted; a line with any other pair
// gets one warning, for its first such pair.
void CheckLine(const FString& Line, int32_t Number, FSkipRulesCheck& Check)
{
    const int32_t Equals = Line.InStr(u"=");
    bool bWarned = false;
    auto Warn = [&](ESkipRuleWhy Why)
    {
        if (bWarned)
            return;
        bWarned = true;
        FSkipRulesWarning Warning;
        Warning.Line = Number;
        Warning.Text = Line;
        Warning.Why = Why;
        Check.Warnings.AddItem(Warning);
    };
    if (Equals < 0)
    {
        Warn(ESkipRuleWhy::NoEquals);
        return;
    }
    for (const FString& Action : ActionsOfLine(Line, Equals))
    {
        if (ActionReads(Action))
            ++Check.NumRules;
        else if (Action.Len() > 0 && appIsBlank(Action[Action.Len() - 1]) && ActionReads(Action.TrimBlanks()))
            Warn(ESkipRuleWhy::BlankBeforeEquals);
        else
            Warn(ESkipRuleWhy::UnknownAction);
    }
}
} // namespace

FSkipRulesCheck CheckSkipRulesFile(const FString& File)
{
    FSkipRulesCheck Check;
    // Through the config cache, FSkipRules::DefaultFile() is this file in the program's directory.
    Check.Path = File.IsEmpty() ? FString(appBaseDir()) + GSkipRulesFileName : File;
    FString Text;
    Check.bFileFound = appLoadFileToString(Text, GGlobalVars()->GetFileManager(), *Check.Path);
    // The config cache's reader ends the text at its first zero unit; what follows never reaches a shrink.
    Text = FString(*Text);

    // A UTF-8 byte-order mark comes as three units of one byte each; a converted one as a single unit.
    int32_t Pos = 0;
    if (Text.StartsWith(u"\u00EF\u00BB\u00BF"))
        Pos = 3;
    else if (Text.StartsWith(u"\uFEFF"))
        Pos = 1;

    bool bSection = false;
    bool bInSection = false;
    // Lines end at a carriage return, a line feed, or the two together, as the INI reader cuts them.
    for (int32_t Number = 1; Pos < Text.Len(); ++Number)
    {
        const int32_t Start = Pos;
        while (Pos < Text.Len() && Text[Pos] != u'\r' && Text[Pos] != u'\n')
            ++Pos;
        const FString Line = Text.Mid(Start, Pos - Start);
        if (Pos < Text.Len() && Text[Pos] == u'\r' && Pos + 1 < Text.Len() && Text[Pos + 1] == u'\n')
            ++Pos;
        ++Pos;
        if (Line.Len() >= 2 && Line[0] == u'[' && Line[Line.Len() - 1] == u']')
        {
            bInSection = Line.Mid(1, Line.Len() - 2).EqualsNoCase(u"SkipRules");
            bSection = bSection || bInSection;
        }
        else if (bInSection && !Line.IsEmpty())
            CheckLine(Line, Number, Check);
    }
    Check.Source = bSection ? ESkipRulesSource::File : ESkipRulesSource::BuiltIn;
    Check.bNoValidRule = bSection && Check.NumRules == 0;
    if (!bSection)
        Check.NumRules = FSkipRules::NumDefaultRules();
    return Check;
}
