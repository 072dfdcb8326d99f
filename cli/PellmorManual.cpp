// The manual page's sections that the command line's own tables give, in roff, and the hidden entry that prints
// them and the shell completion for the packaging.
#include "cli/PellmorCommand.h"

#include "cli/PellmorInternals.h"

namespace
{
// Text as roff prints it: backslashes and hyphens as the escapes that keep them what they are (a plain "-" may
// be printed as a dash, and options must stay copyable).
FString RoffText(const FString& Text)
{
    FString Result;
    for (int32_t i = 0; i < Text.Len(); ++i)
    {
        const char16_t Unit = Text[i];
        if (Unit == u'\\')
            Result += u"\\e";
        else if (Unit == u'-')
            Result += u"\\-";
        else
            Result += Unit;
    }
    return Result;
}

// A line of text that roff cannot take for a request: one that begins with a dot or an apostrophe gets a
// zero-width character in front.
FString RoffLine(const FString& Line)
{
    return Line.StartsWith(u".") || Line.StartsWith(u"'") ? u"\\&" + Line : Line;
}

// "\fBname\fR"
FString Bold(const FString& Name)
{
    return u"\\fB" + RoffText(Name) + u"\\fR";
}

// A help text as a sentence: its first letter in capitals.
FString Sentence(const FString& Text)
{
    FString Result = Text;
    if (Result.Len() > 0 && Result[0] >= u'a' && Result[0] <= u'z')
        Result[0] = char16_t(Result[0] - u'a' + u'A');
    return Result;
}

bool Contains(const TDynArray<FString>& List, const FString& Item)
{
    for (const FString& Entry : List)
        if (Entry == Item)
            return true;
    return false;
}

// Text with the names of options in bold and the names of values (SRC, FILE) in italics, word by word; a word
// keeps the brackets and punctuation around such a name in the regular font.
FString Emphasize(const FString& Text, const TDynArray<FString>& Values, const TDynArray<FString>& OptionNames)
{
    TDynArray<FString> Words;
    Text.Split(u" ", &Words);
    FString Result;
    for (int32_t w = 0; w < Words.Num(); ++w)
    {
        const FString& Word = Words[w];
        int32_t Start = 0;
        int32_t End = Word.Len();
        while (Start < End && FString(u"(['\"").InStr(*Word.Mid(Start, 1)) >= 0)
            ++Start;
        while (End > Start && FString(u".,;:)]'\"").InStr(*Word.Mid(End - 1, 1)) >= 0)
            --End;
        const FString Core = Word.Mid(Start, End - Start);
        const char16_t* Font = Contains(OptionNames, Core) ? u"\\fB" : Contains(Values, Core) ? u"\\fI" : nullptr;
        if (w > 0)
            Result += u" ";
        if (!Font)
            Result += RoffText(Word);
        else
            Result += RoffText(Word.Left(Start)) + Font + RoffText(Core) + u"\\fR" + RoffText(Word.Mid(End));
    }
    return RoffLine(Result);
}

// "\fBshrink\-img\fR \fISRC\fR \fIDST\fR", optional operands in brackets.
FString CommandSynopsis(const FPellmorCommandDoc& Command)
{
    FString Line = Bold(Command.Name);
    for (int32_t i = 0; i < Command.OperandNames.Num(); ++i)
    {
        const FString Operand = u"\\fI" + RoffText(Command.OperandNames[i]) + u"\\fR";
        Line += i < Command.MinOperands ? u" " + Operand : u" [" + Operand + u"]";
    }
    return Line;
}

// "\fB\-h\fR, \fB\-\-help\fR", "\fB\-\-jobs\fR \fIN\fR".
FString OptionSynopsis(const FPellmorOptionDoc& Option)
{
    FString Line;
    if (!Option.ShortName.IsEmpty())
        Line += Bold(Option.ShortName) + u", ";
    Line += Bold(Option.Name);
    if (!Option.ValueName.IsEmpty())
        Line += u" \\fI" + RoffText(Option.ValueName) + u"\\fR";
    return Line;
}

// "a, b and c" (Last " or ": "a, b or c"), each item in bold when bBold.
FString ListInWords(const TDynArray<FString>& Items, bool bBold, const char16_t* Last = u" and ")
{
    FString Text;
    for (int32_t i = 0; i < Items.Num(); ++i)
        Text += (i == 0 ? u"" : i + 1 == Items.Num() ? Last : u", ") + (bBold ? Bold(Items[i]) : RoffText(Items[i]));
    return Text;
}

FString SynopsisSection(const TDynArray<FPellmorCommandDoc>& Commands)
{
    FString Text = u".SH SYNOPSIS\n";
    for (const FPellmorCommandDoc& Command : Commands)
        Text += u"\\fBpellmor\\fR " + CommandSynopsis(Command) + u" [\\fIOPTIONS\\fR]\n.br\n";
    return Text;
}

FString CommandsSection(const TDynArray<FPellmorCommandDoc>& Commands, const TDynArray<FString>& OptionNames,
                        const TDynArray<FString>& Values)
{
    FString Text = u".SH COMMANDS\n";
    for (const FPellmorCommandDoc& Command : Commands)
    {
        Text += u".TP\n" + CommandSynopsis(Command) + u"\n" + Emphasize(Command.Help, Values, OptionNames) + u"\n";
        if (!Command.Alias.IsEmpty())
            Text += u".br\nAlso called " + Bold(Command.Alias) + u".\n";
        if (Command.Options.Num() > 0)
            Text += u".br\nOptions: " + ListInWords(Command.Options, true) + u".\n";
    }
    return Text;
}

FString OptionsSection(const TDynArray<FPellmorOptionDoc>& Options, const TDynArray<FString>& OptionNames,
                       const TDynArray<FString>& Values)
{
    FString Text = u".SH OPTIONS\n";
    for (const FPellmorOptionDoc& Option : Options)
    {
        Text += u".TP\n" + OptionSynopsis(Option) + u"\n" + Emphasize(Sentence(Option.Help), Values, OptionNames);
        if (!Option.Choices.IsEmpty())
        {
            TDynArray<FString> Choices;
            Option.Choices.Split(u" ", &Choices);
            Text +=
                u"; the usual values of \\fI" + RoffText(Option.ValueName) + u"\\fR are " + ListInWords(Choices, false);
        }
        Text += u".\n";
        if (Option.Commands.Num() > 0)
            Text += u".br\nFor " + ListInWords(Option.Commands, true) + u".\n";
    }
    return Text;
}

// "Exit code 2", "Exit code 130, 143 or 129": what a command that ends with Error exits with.
FString ExitCodesOf(EPellmorError Error)
{
    TDynArray<FString> Codes;
    for (CoreOS::EInterrupt Interrupt : {CoreOS::INTERRUPT_Keyboard, CoreOS::INTERRUPT_Terminate, CoreOS::INTERRUPT_Hangup})
    {
        const FString Code = FString::Printf(u"%d", PellmorExitCode(Error, Interrupt));
        if (!Contains(Codes, Code))
            Codes.AddItem(Code);
    }
    return u"Exit code " + ListInWords(Codes, false, u" or ");
}

FString JsonErrorsSection(const TDynArray<FString>& OptionNames, const TDynArray<FString>& Values)
{
    FString Text = u".SH \"JSON ERRORS\"\n";
    Text += u"With \\fB\\-\\-json\\fR a command that fails still prints one JSON object, with the member\n"
            u"\\fB\"error\": {\"code\", \"message\", \"advice\"}\\fR, and exits with the same code as without it.\n"
            u"\\fBcode\\fR is one of:\n";
    for (int32_t i = 0; i <= int32_t(EPellmorError::Failed); ++i)
    {
        const EPellmorError Error = EPellmorError(i);
        Text += u".TP\n\\fB" + RoffText(PellmorErrorCode(Error)) + u"\\fR\n" +
                Emphasize(Sentence(PellmorErrorMeaning(Error)), Values, OptionNames) + u". " + ExitCodesOf(Error) +
                u".\n";
    }
    return Text;
}

// Each exit code, what it means, and the JSON error codes that end with it.
FString ExitStatusSection()
{
    FString Text = u".SH \"EXIT STATUS\"\n";
    for (const FPellmorExitDoc& Exit : GetPellmorExitDocs())
    {
        Text += FString::Printf(u".TP\n.B %d\n", Exit.Exit) + RoffText(Sentence(Exit.Meaning)) + u".";
        if (Exit.Codes.Num() > 0)
            Text += FString(Exit.Codes.Num() == 1 ? u" JSON error code " : u" JSON error codes ") +
                    ListInWords(Exit.Codes, true) + u".";
        Text += u"\n";
    }
    return Text + u".PP\nWith \\fB\\-\\-all\\fR or \\fB\\-\\-archive\\fR, the exit code of the first archive that did not "
                  u"end in the state asked for.\n";
}
} // namespace

FString GetPellmorManual()
{
    const TDynArray<FPellmorCommandDoc> Commands = GetPellmorCommandDocs();
    const TDynArray<FPellmorOptionDoc> Options = GetPellmorOptionDocs();
    TDynArray<FString> OptionNames;
    TDynArray<FString> Values;
    for (const FPellmorOptionDoc& Option : Options)
    {
        OptionNames.AddItem(Option.Name);
        if (!Option.ValueName.IsEmpty() && !Contains(Values, Option.ValueName))
            Values.AddItem(Option.ValueName);
    }
    for (const FPellmorCommandDoc& Command : Commands)
        for (const FString& Operand : Command.OperandNames)
            if (!Contains(Values, Operand))
                Values.AddItem(Operand);

    FString Text = SynopsisSection(Commands);
    Text += u".SH DESCRIPTION\n" + Emphasize(GetPellmorPurpose(), Values, OptionNames) + u"\n.PP\n" +
            Emphasize(GetPellmorGameDirHelp(), Values, OptionNames) + u"\n";
    Text += CommandsSection(Commands, OptionNames, Values);
    Text += OptionsSection(Options, OptionNames, Values);
    Text += ExitStatusSection();
    Text += JsonErrorsSection(OptionNames, Values);
    return Text;
}

bool RunPellmorDocs(const TDynArray<FString>& Args, FPellmorConsole& Console, int32_t& Exit)
{
    if (Args.Num() == 0 || (Args[0] != u"--man-page" && Args[0] != u"--completion"))
        return false;
    Exit = PELLMOR_Done;
    if (Args.Num() == 1 && Args[0] == u"--man-page")
        Console.Out(GetPellmorManual());
    else if (Args.Num() == 2 && Args[0] == u"--completion" && Args[1] == u"bash")
        Console.Out(GetPellmorBashCompletion());
    else
    {
        Console.Err(u"pellmor: --man-page takes nothing, --completion the shell: bash\n");
        Exit = PELLMOR_Usage;
    }
    return true;
}
