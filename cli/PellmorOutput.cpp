// What the pellmor command says about failures, paths, game folders and skip rules, for people and for JSON.
#include "cli/PellmorInternals.h"

#include <algorithm>

#include "Core/Inc/CoreUtil.h"

namespace
{
const char16_t* GameDirSourceName(EGameDirSource Source)
{
    switch (Source)
    {
        case EGameDirSource::Argument:
            return u"argument";
        case EGameDirSource::CurrentFolder:
            return u"current-folder";
        case EGameDirSource::Remembered:
            return u"remembered";
        case EGameDirSource::ProgramFolder:
            return u"program-folder";
        case EGameDirSource::Registry:
            return u"registry";
        case EGameDirSource::WinePrefix:
            return u"wine-prefix";
        case EGameDirSource::Steam:
            return u"steam";
        case EGameDirSource::Default:
            return u"default";
    }
    return u"";
}

const char16_t* SkipRuleWhyName(ESkipRuleWhy Why)
{
    switch (Why)
    {
        case ESkipRuleWhy::BlankBeforeEquals:
            return u"blank-before-equals";
        case ESkipRuleWhy::UnknownAction:
            return u"unknown-action";
        case ESkipRuleWhy::NoEquals:
            return u"no-equals";
    }
    return u"";
}

const char16_t* SkipRuleWhyText(ESkipRuleWhy Why)
{
    switch (Why)
    {
        case ESkipRuleWhy::BlankBeforeEquals:
            return u"a blank before '=' is part of the action; write the action right before '='";
        case ESkipRuleWhy::UnknownAction:
            return u"the action before '=' is none of skip, allow, skipc and allowc";
        case ESkipRuleWhy::NoEquals:
            return u"there is no '=' (a rule is action=pattern)";
    }
    return u"";
}

} // namespace

namespace
{
// Each failure of a command in the order of EPellmorError: the verdict of the engine's it stands for, whose row of
// the outcomes' table gives its code, exit code and meaning; or, for the two that only the command line knows,
// those three here. Exit code 2 says that the command must be told something else, 1 that the work failed.
const struct
{
    EPellmorError Error;
    EVerdict Verdict; // Done: none
    const char16_t* Code = nullptr;
    EOutcomeExit Exit = EOutcomeExit::Failed;
    const char16_t* Meaning = nullptr;
} ErrorCodes[] = {
    {EPellmorError::Usage, EVerdict::Done, u"usage", EOutcomeExit::Usage, u"wrong arguments or options"},
    {EPellmorError::NoGame, EVerdict::NoFiles},
    {EPellmorError::NoArchive, EVerdict::Done, u"no-archive", EOutcomeExit::Usage,
     u"an archive named with --archive is not there, or lies outside the game folder"},
    {EPellmorError::NotAnArchive, EVerdict::NotAnArchive},
    {EPellmorError::Damaged, EVerdict::Damaged},
    {EPellmorError::CannotRead, EVerdict::CannotRead},
    {EPellmorError::NoSpace, EVerdict::NoSpace},
    {EPellmorError::AccessDenied, EVerdict::AccessDenied},
    {EPellmorError::InUse, EVerdict::InUse},
    {EPellmorError::Busy, EVerdict::Busy},
    {EPellmorError::Cancelled, EVerdict::Cancelled},
    {EPellmorError::Changed, EVerdict::Changed},
    {EPellmorError::ShrunkOtherwise, EVerdict::ShrunkOtherwise},
    {EPellmorError::Failed, EVerdict::Failed},
};
static_assert(sizeof(ErrorCodes) / sizeof(ErrorCodes[0]) == size_t(EPellmorError::Failed) + 1,
              "a code for every failure");
static_assert(int32_t(EOutcomeExit::Failed) == PELLMOR_Failed && int32_t(EOutcomeExit::Usage) == PELLMOR_Usage &&
                  int32_t(EOutcomeExit::Cancelled) == PELLMOR_Cancelled,
              "the outcomes' exit codes are the command's");

// The exit codes in increasing order, and what each means.
const struct
{
    int32_t Exit;
    const char16_t* Meaning;
} ExitCodes[] = {
    {PELLMOR_Done, u"done, or nothing to do"},
    {PELLMOR_Failed, u"failed"},
    {PELLMOR_Usage, u"wrong usage, no game folder, or no such archive"},
    {PELLMOR_HungUp, u"cancelled: the terminal closed (SIGHUP)"},
    {PELLMOR_Cancelled, u"cancelled with Ctrl-C (SIGINT)"},
    {PELLMOR_Terminated, u"cancelled with SIGTERM"},
};

const size_t NumErrors = sizeof(ErrorCodes) / sizeof(ErrorCodes[0]);

// The failure's row; a value outside the enumeration is a fault of the program's (the last row stands in for it).
size_t ErrorIndex(EPellmorError Error)
{
    const size_t Index = size_t(Error) < NumErrors ? size_t(Error) : NumErrors - 1;
    appCheck(ErrorCodes[Index].Error == Error);
    return Index;
}

bool IsVerdict(EPellmorError Error)
{
    return ErrorCodes[ErrorIndex(Error)].Verdict != EVerdict::Done;
}
} // namespace

EVerdict PellmorErrorVerdict(EPellmorError Error)
{
    return ErrorCodes[ErrorIndex(Error)].Verdict;
}

const char16_t* PellmorErrorCode(EPellmorError Error)
{
    return IsVerdict(Error) ? GetOutcome(PellmorErrorVerdict(Error)).Code : ErrorCodes[ErrorIndex(Error)].Code;
}

const char16_t* PellmorErrorMeaning(EPellmorError Error)
{
    return IsVerdict(Error) ? GetOutcome(PellmorErrorVerdict(Error)).Meaning : ErrorCodes[ErrorIndex(Error)].Meaning;
}

int32_t PellmorExitCode(EPellmorError Error, CoreOS::EInterrupt Interrupt)
{
    if (Error == EPellmorError::Cancelled && Interrupt == CoreOS::INTERRUPT_Terminate)
        return PELLMOR_Terminated;
    if (Error == EPellmorError::Cancelled && Interrupt == CoreOS::INTERRUPT_Hangup)
        return PELLMOR_HungUp;
    return int32_t(IsVerdict(Error) ? GetOutcome(PellmorErrorVerdict(Error)).Exit : ErrorCodes[ErrorIndex(Error)].Exit);
}

TDynArray<FPellmorExitDoc> GetPellmorExitDocs()
{
    const CoreOS::EInterrupt Interrupts[] = {CoreOS::INTERRUPT_None, CoreOS::INTERRUPT_Terminate,
                                             CoreOS::INTERRUPT_Hangup};
    TDynArray<FPellmorExitDoc> Docs;
    for (const auto& Exit : ExitCodes)
    {
        FPellmorExitDoc Doc;
        Doc.Exit = Exit.Exit;
        Doc.Meaning = Exit.Meaning;
        for (const auto& Code : ErrorCodes)
        {
            bool bEnds = false;
            for (CoreOS::EInterrupt Interrupt : Interrupts)
                bEnds = bEnds || PellmorExitCode(Code.Error, Interrupt) == Exit.Exit;
            if (bEnds)
                Doc.Codes.AddItem(FString(PellmorErrorCode(Code.Error)));
        }
        Docs.AddItem(Doc);
    }
    return Docs;
}

int32_t PrintFailure(FPellmorConsole& Console, bool bJson, EPellmorError Error, const FString& Message,
                     const FString& Advice, const FJsonMembers& Members)
{
    const int32_t Exit = PellmorExitCode(Error, Console.Interrupted());
    if (!bJson)
    {
        SayErr(Console, FString(u"pellmor: ") + Message);
        if (!Advice.IsEmpty() && Advice != u"\n")
            SayErr(Console, Advice);
        return Exit;
    }
    FJsonWriter Json;
    Json.BeginObject();
    if (Members)
        Members(Json);
    WriteJsonError(Json.Key(u"error"), Error, Message, Advice);
    Console.Out(Json.EndObject().Text());
    return Exit;
}

FString FormatTable(const TDynArray<TDynArray<FString>>& Rows, uint32_t RightAligned, int32_t Indent)
{
    TDynArray<int32_t> Widths;
    for (const TDynArray<FString>& Row : Rows)
        for (int32_t Column = 0; Column < Row.Num(); ++Column)
        {
            if (Column == Widths.Num())
                Widths.AddItem(0);
            Widths[Column] = Row[Column].Len() > Widths[Column] ? Row[Column].Len() : Widths[Column];
        }
    FString Text;
    for (const TDynArray<FString>& Row : Rows)
    {
        FString Line = FString::Printf(u"%*s", Indent, u"");
        for (int32_t Column = 0; Column < Row.Num(); ++Column)
        {
            const bool bRight = (RightAligned >> Column) & 1;
            Line += FString::Printf(bRight ? u"%*s" : u"%-*s", Widths[Column], *Row[Column]);
            if (Column + 1 < Row.Num())
                Line += u"  ";
        }
        while (Line.Len() > 0 && Line[Line.Len() - 1] == u' ')
            Line = Line.Left(Line.Len() - 1);
        Text += Line + u"\n";
    }
    return Text;
}

TDynArray<FString> TableRow(std::initializer_list<FString> Cells)
{
    TDynArray<FString> Row;
    for (const FString& Cell : Cells)
        Row.AddItem(Cell);
    return Row;
}

int32_t TableWidth(FPellmorConsole& Console)
{
    const int32_t Columns = Console.IsTerminal() ? Console.Width() : 0;
    return Columns > 1 ? Columns - 1 : 79;
}

namespace
{
// A word of plain prose, which ends a command line within a sentence: lower-case letters only, and neither a
// command's name nor help.
bool IsProseWord(const FString& Word)
{
    if (Word.IsEmpty() || Word == u"help")
        return false;
    for (int32_t i = 0; i < Word.Len(); ++i)
        if (Word[i] < u'a' || Word[i] > u'z')
            return false;
    for (const FString& Command : GetPellmorCommands())
        if (Word == Command)
            return false;
    return true;
}

// "117.6": a number, which stays on one line with its unit.
bool IsNumber(const FString& Word)
{
    bool bDigit = false;
    for (int32_t i = 0; i < Word.Len(); ++i)
    {
        if ((Word[i] < u'0' || Word[i] > u'9') && Word[i] != u'.' && Word[i] != u',')
            return false;
        bDigit = bDigit || (Word[i] >= u'0' && Word[i] <= u'9');
    }
    return bDigit;
}

// The word of Line that starts at Start (up to the next blank).
FString WordAt(const FString& Line, int32_t Start)
{
    int32_t End = Start;
    while (End < Line.Len() && Line[End] != u' ')
        ++End;
    return Line.Mid(Start, End - Start);
}

// The blanks of Line at which it may be broken: not within quotes, not after an opening bracket or a number (its
// unit follows), and not within a command line (from "pellmor" to the first word of prose after it; the word after an
// option is its value), so that a command copied from the screen is whole.
TDynArray<bool> BreakableBlanks(const FString& Line)
{
    TDynArray<bool> Breakable;
    Breakable.Add(Line.Len()); // all false
    char16_t Quote = 0;
    bool bInCommand = false;
    FString Before; // the word before the blank
    for (int32_t i = 0; i < Line.Len(); ++i)
    {
        const char16_t C = Line[i];
        if (Quote)
            Quote = C == Quote ? 0 : Quote;
        else if ((C == u'\'' || C == u'"') && (i == 0 || Line[i - 1] == u' '))
            Quote = C; // a quoted path; an apostrophe within a word is none
        if (C != u' ' || Quote)
            continue;
        const FString Word = WordAt(Line, i + 1);
        if (bInCommand && IsProseWord(Word) && !Before.StartsWith(u"-"))
            bInCommand = false;
        Breakable[i] = !bInCommand && !Before.EndsWith(u"(") && !IsNumber(Before) && !Word.IsEmpty();
        bInCommand = bInCommand || Word == u"pellmor";
        Before = Word.IsEmpty() ? Before : Word;
    }
    return Breakable;
}

// Where Line is best broken: the last breakable blank that leaves at most Width columns before it, else the
// first one after (a long word or command overflows); -1 when there is none after Indent.
int32_t BreakPoint(const FString& Line, int32_t Width, int32_t Indent)
{
    const TDynArray<bool> Breakable = BreakableBlanks(Line);
    int32_t Break = -1;
    for (int32_t i = Indent + 1; i < Line.Len() && (Break < 0 || i <= Width); ++i)
        if (Breakable[i])
            Break = i;
    return Break;
}
} // namespace

FString WrapText(const FString& Text, int32_t Width, int32_t Indent)
{
    const FString Blanks = FString::Printf(u"%*s", Indent, u"");
    FString Result;
    int32_t Start = 0;
    for (int32_t End = 0; End <= Text.Len(); ++End)
    {
        if (End < Text.Len() && Text[End] != u'\n')
            continue;
        const FString Own = Text.Mid(Start, End - Start);
        // A further line of Text that starts with blanks shows a command or an example: it stays whole.
        const bool bWhole = Start > 0 && Own.StartsWith(u" ");
        FString Line = (Start == 0 ? FString() : Blanks) + Own;
        Start = End + 1;
        for (int32_t Break = 0; !bWhole && Line.Len() > Width; Line = Blanks + Line.Mid(Break + 1))
        {
            Break = BreakPoint(Line, Width, Indent);
            if (Break < 0)
                break;
            Result += Line.Left(Break) + u"\n";
        }
        Result += Line + u"\n";
    }
    return Result;
}

namespace
{
// Nothing for an empty text: a message that has nothing to say prints no empty line.
FString Said(FPellmorConsole& Console, const FString& Text)
{
    if (Text.IsEmpty())
        return FString();
    const FString Lines = Text.EndsWith(u"\n") ? Text.Left(Text.Len() - 1) : Text;
    return WrapText(Lines, ProseWidth(Console), 0);
}
} // namespace

void SayOut(FPellmorConsole& Console, const FString& Text)
{
    Console.Out(Said(Console, Text));
}

void SayErr(FPellmorConsole& Console, const FString& Text)
{
    Console.Err(Said(Console, Text));
}

int32_t ProseWidth(FPellmorConsole& Console)
{
    return Console.IsTerminal() ? TableWidth(Console) : INT32_MAX;
}

int32_t WidestLine(const FString& Text)
{
    int32_t Widest = 0;
    int32_t Start = 0;
    for (int32_t i = 0; i <= Text.Len(); ++i)
        if (i == Text.Len() || Text[i] == u'\n')
        {
            Widest = i - Start > Widest ? i - Start : Widest;
            Start = i + 1;
        }
    return Widest;
}

namespace
{
// How many letters must be changed, added, dropped or swapped with their neighbour to turn A into B, regardless
// of ASCII case: "gmae" is one slip from "game", as people type it.
int32_t EditDistance(const FString& A, const FString& B)
{
    const int32_t Width = B.Len() + 1;
    auto Same = [&A, &B](int32_t i, int32_t j) { return appToLower(A[i]) == appToLower(B[j]); };
    // Three rows of the table: two back, one back and this one.
    TDynArray<int32_t> Rows;
    Rows.Add(3 * Width);
    auto At = [&Rows, Width](int32_t i, int32_t j) -> int32_t& { return Rows[(i % 3) * Width + j]; };
    for (int32_t j = 0; j <= B.Len(); ++j)
        At(0, j) = j;
    for (int32_t i = 1; i <= A.Len(); ++i)
    {
        At(i, 0) = i;
        for (int32_t j = 1; j <= B.Len(); ++j)
        {
            int32_t Best = std::min({At(i - 1, j) + 1, At(i, j - 1) + 1, At(i - 1, j - 1) + (Same(i - 1, j - 1) ? 0 : 1)});
            if (i > 1 && j > 1 && Same(i - 1, j - 2) && Same(i - 2, j - 1))
                Best = std::min(Best, At(i - 2, j - 2) + 1);
            At(i, j) = Best;
        }
    }
    return At(A.Len(), B.Len());
}

} // namespace

FString NearestName(const FString& Typed, const TDynArray<FString>& Known)
{
    FString Best;
    int32_t BestDistance = 0;
    for (const FString& Name : Known)
    {
        const int32_t Distance = EditDistance(Typed, Name);
        const int32_t Allowed = Name.Len() <= 4 ? 1 : 2;
        if (Distance <= Allowed && Distance < Typed.Len() && (Best.IsEmpty() || Distance < BestDistance))
        {
            Best = Name;
            BestDistance = Distance;
        }
    }
    return Best;
}

void WriteJsonError(FJsonWriter& Json, EPellmorError Error, const FString& Message, const FString& Advice)
{
    Json.BeginObject(FJsonWriter::Inline);
    Json.Key(u"code").String(PellmorErrorCode(Error));
    Json.Key(u"message").String(Message);
    Json.Key(u"advice").StringOrNull(Advice);
    Json.EndObject();
}

const char16_t* KeptName(EKeptArchive Kept)
{
    switch (Kept)
    {
        case EKeptArchive::None:
            return u"none";
        case EKeptArchive::Current:
            return u"current";
        case EKeptArchive::Stale:
            return u"stale";
    }
    return u"none";
}

bool IsWindowsSystem()
{
    return appPathSeparator() == u'\\';
}

FString ShellQuote(const FString& Path)
{
    if (IsWindowsSystem())
    {
        bool bQuote = Path.IsEmpty();
        for (int32_t i = 0; i < Path.Len() && !bQuote; ++i)
            bQuote = appStrchr(u" \t&()[]{}^=;!'+,`~%", Path[i]) != nullptr;
        if (!bQuote)
            return Path;
        // cmd and the C runtime read \" as a quote inside the text: the closing quote must not follow a '\'.
        FString Inner = Path;
        while (Inner.Len() > 3 && appIsPathSeparator(Inner[Inner.Len() - 1]))
            Inner = Inner.Left(Inner.Len() - 1);
        return FString(u"\"") + Inner + u"\"";
    }
    bool bQuote = Path.IsEmpty();
    for (int32_t i = 0; i < Path.Len() && !bQuote; ++i)
    {
        const char16_t C = Path[i];
        const bool bPlain = (C >= u'a' && C <= u'z') || (C >= u'A' && C <= u'Z') || (C >= u'0' && C <= u'9') ||
                            appStrchr(u"_@%+=:,./-", C) != nullptr || C >= 0x80;
        bQuote = !bPlain;
    }
    if (!bQuote)
        return Path;
    FString Result = u"'";
    for (int32_t i = 0; i < Path.Len(); ++i)
        Result += Path[i] == u'\'' ? FString(u"'\\''") : FString(Path.Mid(i, 1));
    return Result + u"'";
}

FString CommandFor(const char16_t* Command, const FGameDir& Game)
{
    if (Game.Source != EGameDirSource::Argument)
        return FString::Printf(u"pellmor %s", Command);
    return FString::Printf(u"pellmor %s %s", Command, *ShellQuote(appWithoutTrailingSeparators(Game.Dir)));
}

FString CommandFor(const char16_t* Command, const FGameArchive& Archive)
{
    const FString Line = CommandFor(Command, Archive.Game);
    if (Archive.bAll)
        return Line + u" --all";
    if (Archive.bMain)
        return Line;
    // An archive in Models goes by its bare name, which is shorter to read and to type.
    const FString Folder = appWithoutTrailingSeparators(appPathFolder(Archive.Shown));
    const FString Name = appPathFileName(Archive.Shown);
    const bool bBare = Folder.EqualsNoCase(u"Models") && Name.Right(4).EqualsNoCase(u".img");
    return Line + u" --archive " + ShellQuote(bBare ? Name.Left(Name.Len() - 4) : Archive.Shown);
}

FString DescribeGameDirSource(const FGameDir& Game)
{
    switch (Game.Source)
    {
        case EGameDirSource::Argument:
            return FString();
        case EGameDirSource::CurrentFolder:
            return FString(u"the current folder");
        case EGameDirSource::Remembered:
            return FString(u"the folder PellmorWin.exe last showed");
        case EGameDirSource::ProgramFolder:
            return FString(u"the folder pellmor is in");
        case EGameDirSource::Registry:
            return FString(u"the registry");
        case EGameDirSource::WinePrefix:
            return FString(u"the Wine prefix ") + Game.Detail;
        case EGameDirSource::Steam:
            return FString(u"Steam: ") + Game.Detail;
        case EGameDirSource::Default:
            return FString(u"the default install folder");
    }
    return FString();
}

void WriteArchiveNames(FJsonWriter& Json, const FGameArchive& Archive)
{
    Json.Key(u"gameDir");
    WriteGameDir(Json, Archive.Game);
    Json.Key(u"archive").String(Archive.Shown);
    Json.Key(u"path").String(PathAsOnDisk(Archive.Files.Cur));
}

void WriteArchiveEnd(FJsonWriter& Json, const FArchiveVerdict& Verdict)
{
    if (Verdict.Problem == EVerdict::NothingToDo)
        Json.Key(u"result").String(u"nothing-to-do");
    else if (Verdict.Problem == EVerdict::Done)
        Json.Key(u"result").String(u"done");
    else
        WriteJsonError(Json.Key(u"error"), ErrorFor(Verdict.Problem), Verdict.Sentence, Verdict.Advice);
}

void WriteGameDir(FJsonWriter& Json, const FGameDir& Game)
{
    Json.BeginObject(FJsonWriter::Inline);
    Json.Key(u"path").String(Game.Dir);
    Json.Key(u"from").String(GameDirSourceName(Game.Source));
    Json.Key(u"detail").StringOrNull(Game.Detail);
    Json.EndObject();
}

FString DescribeSkipRules(const FSkipRulesCheck& Check)
{
    if (Check.Source == ESkipRulesSource::File)
        return FString::Printf(u"%s (%d rules)", *ShellQuote(Check.Path), Check.NumRules);
    if (Check.bFileFound)
        return FString::Printf(u"the built-in rules (%d), as %s has no [SkipRules] section", Check.NumRules,
                               *ShellQuote(Check.Path));
    return FString::Printf(u"the built-in rules (%d)", Check.NumRules);
}

void WriteSkipRules(FJsonWriter& Json, const FSkipRulesCheck& Check)
{
    Json.BeginObject(FJsonWriter::Inline);
    Json.Key(u"source").String(Check.Source == ESkipRulesSource::File ? u"file" : u"builtin");
    Json.Key(u"path").StringOrNull(Check.bFileFound ? Check.Path : FString());
    Json.Key(u"rules").Number(Check.NumRules);
    Json.Key(u"warnings").BeginArray();
    for (const FSkipRulesWarning& Warning : Check.Warnings)
    {
        Json.BeginObject();
        Json.Key(u"line").Number(Warning.Line);
        Json.Key(u"text").String(Warning.Text);
        Json.Key(u"why").String(SkipRuleWhyName(Warning.Why));
        Json.EndObject();
    }
    Json.EndArray();
    Json.EndObject();
}

void PrintSkipRulesWarnings(FPellmorConsole& Console, const FSkipRulesCheck& Check)
{
    for (const FSkipRulesWarning& Warning : Check.Warnings)
        Console.Err(FString::Printf(u"pellmor: %s, line %d: no rule in \"%s\": %s.\n", *ShellQuote(Check.Path),
                                    Warning.Line, *Warning.Text, SkipRuleWhyText(Warning.Why)));
    if (Check.bNoValidRule)
        Console.Err(FString::Printf(u"pellmor: %s has a [SkipRules] section without a single rule, so no texture is "
                                    u"skipped: the built-in rules apply only to a file without the section.\n",
                                    *ShellQuote(Check.Path)));
}
