// What the pellmor command says about failures, paths, game folders and skip rules, for people and for JSON.
#include "cli/PellmorCommands.h"

#include "Core/Inc/CoreUtil.h"

namespace
{
const char16_t* GameDirSourceName(EGameDirSource Source)
{
    switch (Source)
    {
        case EGameDirSource::Argument:
            return u"argument";
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
// Each failure's code for scripts and what it means, in the order of EPellmorError.
const struct
{
    EPellmorError Error;
    const char16_t* Code;
    const char16_t* Meaning;
} ErrorCodes[] = {
    {EPellmorError::Usage, u"usage", u"wrong arguments or options"},
    {EPellmorError::NoGame, u"no-game", u"no game folder found, or no game files in it"},
    {EPellmorError::NoArchive, u"no-archive",
     u"an archive named with --archive is not there, or lies outside the game folder"},
    {EPellmorError::NotAnArchive, u"not-an-archive", u"the archive is no IMG archive of the game's kind (version 2)"},
    {EPellmorError::Damaged, u"damaged", u"entries of the archive lie past its end; copy it again"},
    {EPellmorError::CannotRead, u"cannot-read", u"SRC or the skip rules file cannot be read"},
    {EPellmorError::NoSpace, u"no-space", u"too little free space for a shrink"},
    {EPellmorError::AccessDenied, u"access-denied", u"the archive's folder may not be changed"},
    {EPellmorError::InUse, u"in-use", u"the game or another program has the archive open"},
    {EPellmorError::Busy, u"busy", u"another shrink or restore is running on the same files"},
    {EPellmorError::Cancelled, u"cancelled", u"Ctrl-C"},
    {EPellmorError::Failed, u"failed", u"the work itself failed; the message says why"},
};
static_assert(sizeof(ErrorCodes) / sizeof(ErrorCodes[0]) == size_t(EPellmorError::Failed) + 1,
              "a code for every failure");

int32_t ErrorIndex(EPellmorError Error)
{
    const int32_t Index = int32_t(Error);
    appCheck(Index >= 0 && Index <= int32_t(EPellmorError::Failed) && ErrorCodes[Index].Error == Error);
    return Index;
}
} // namespace

const char16_t* PellmorErrorCode(EPellmorError Error)
{
    return ErrorCodes[ErrorIndex(Error)].Code;
}

const char16_t* PellmorErrorMeaning(EPellmorError Error)
{
    return ErrorCodes[ErrorIndex(Error)].Meaning;
}

int32_t PrintFailure(FPellmorConsole& Console, bool bJson, EPellmorError Error, const FString& Message,
                     const FString& Advice, int32_t Exit, const FJsonMembers& Members)
{
    if (!bJson)
    {
        Console.Err(WrapText(FString(u"pellmor: ") + Message, ProseWidth(Console), 0));
        const FString Said = Advice.EndsWith(u"\n") ? Advice.Left(Advice.Len() - 1) : Advice;
        if (!Said.IsEmpty())
            Console.Err(WrapText(Said, ProseWidth(Console), 0));
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
// A word of plain prose, which ends a command line within a sentence: lower-case letters only, and no command's
// name.
bool IsProseWord(const FString& Word)
{
    if (Word.IsEmpty())
        return false;
    for (int32_t i = 0; i < Word.Len(); ++i)
        if (Word[i] < u'a' || Word[i] > u'z')
            return false;
    for (const FString& Command : GetPellmorCommands())
        if (Word == Command)
            return false;
    return true;
}

// The blanks of Line at which it may be broken: not within quotes, and not within a command line (from
// "pellmor" to the first word of prose after it), so that a command copied from the screen is whole.
TDynArray<bool> BreakableBlanks(const FString& Line)
{
    TDynArray<bool> Breakable;
    Breakable.Add(Line.Len()); // all false
    char16_t Quote = 0;
    bool bInCommand = false;
    for (int32_t i = 0; i < Line.Len(); ++i)
    {
        const char16_t C = Line[i];
        if (Quote)
            Quote = C == Quote ? 0 : Quote;
        else if ((C == u'\'' || C == u'"') && (i == 0 || Line[i - 1] == u' '))
            Quote = C; // a quoted path; an apostrophe within a word is none
        else if (C == u' ')
        {
            int32_t End = i + 1;
            while (End < Line.Len() && Line[End] != u' ')
                ++End;
            const FString Word = Line.Mid(i + 1, End - i - 1);
            if (bInCommand && IsProseWord(Word))
                bInCommand = false;
            Breakable[i] = !bInCommand;
            bInCommand = bInCommand || Word == u"pellmor";
        }
    }
    return Breakable;
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
        FString Line = (Start == 0 ? FString() : Blanks) + Text.Mid(Start, End - Start);
        Start = End + 1;
        while (Line.Len() > Width)
        {
            // The last break that fits, else the first one after the width: a long word or command overflows.
            const TDynArray<bool> Breakable = BreakableBlanks(Line);
            int32_t Break = -1;
            for (int32_t i = Indent + 1; i < Line.Len() && (Break < 0 || i <= Width); ++i)
                if (Breakable[i])
                    Break = i;
            if (Break < 0)
                break;
            Result += Line.Left(Break) + u"\n";
            Line = Blanks + Line.Mid(Break + 1);
        }
        Result += Line + u"\n";
    }
    return Result;
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
    return FString::Printf(u"pellmor %s %s", Command, *ShellQuote(Game.Dir));
}

FString CommandFor(const char16_t* Command, const FGameArchive& Archive)
{
    const FString Line = CommandFor(Command, Archive.Game);
    return Archive.bMain ? Line : Line + u" --archive " + ShellQuote(Archive.Shown);
}

FString DescribeGameDirSource(const FGameDir& Game)
{
    switch (Game.Source)
    {
        case EGameDirSource::Argument:
            return FString();
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
        return FString::Printf(u"%s (%d rules)", *Check.Path, Check.NumRules);
    if (Check.bFileFound)
        return FString::Printf(u"the built-in rules (%d), as %s has no [SkipRules] section", Check.NumRules,
                               *Check.Path);
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
        Console.Err(FString::Printf(u"pellmor: %s, line %d: no rule in \"%s\": %s.\n", *Check.Path, Warning.Line,
                                    *Warning.Text, SkipRuleWhyText(Warning.Why)));
    if (Check.bNoValidRule)
        Console.Err(FString::Printf(u"pellmor: %s has a [SkipRules] section without a single rule, so no texture is "
                                    u"skipped: the built-in rules apply only to a file without the section.\n",
                                    *Check.Path));
}
