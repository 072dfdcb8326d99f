// The pellmor command line read against the tables of PellmorTables.cpp: the options and their values, the
// commands, and what the arguments mean before a command runs (missing or extra ones, paths cut at blanks, game
// folders named for an archive).
#include "cli/PellmorCommand.h"

#include <algorithm>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "cli/PellmorInternals.h"
#include "cli/PellmorTables.h"
#include "engine/FPreviewPage.h"
#include "engine/FShrinkEngineServer.h"
#include "shrinker/FSkipRules.h"
#include "shrinker/FTxdFileShrinker.h"

using namespace PellmorTables;

namespace
{
// How many options of a group were given.
int32_t CountBits(uint32_t Bits)
{
    int32_t Count = 0;
    for (; Bits != 0; Bits &= Bits - 1)
        ++Count;
    return Count;
}

bool IsHelpCommand(const FString& Name)
{
    return Name.EqualsNoCase(u"help");
}

// "unknown command shrnk; did you mean shrink?"
FString UnknownName(const char16_t* What, const FString& Typed, const TDynArray<FString>& Known)
{
    const FString Nearest = NearestName(Typed, Known);
    if (Nearest.IsEmpty())
        return FString::Printf(u"unknown %s %s", What, *Typed);
    return FString::Printf(u"unknown %s %s; did you mean %s?", What, *Typed, *Nearest);
}

FString UnknownCommand(const FString& Typed)
{
    TDynArray<FString> Known;
    Known.AddItem(FString(u"help"));
    for (const FCommandSpec& Spec : Commands)
    {
        Known.AddItem(FString(Spec.Name));
        if (Spec.Alias)
            Known.AddItem(FString(Spec.Alias));
    }
    return UnknownName(u"command", Typed, Known);
}

FString UnknownOption(const FString& Typed)
{
    TDynArray<FString> Known;
    for (const auto& General : GeneralOptions)
        Known.AddItem(FString(General.Name));
    for (const FOptionSpec& Option : Options)
        Known.AddItem(OptionName(Option));
    const int32_t Equals = Typed.InStr(u"=");
    return UnknownName(u"option", Equals >= 0 ? Typed.Left(Equals) : Typed, Known);
}

// ---- Failures before a command runs -----------------------------------------------------------------------

int32_t UsageError(FPellmorConsole& Console, bool bJson, const FString& Why, const FString& Command = FString())
{
    const FString Advice = Command.IsEmpty()
                               ? FString(u"Run 'pellmor help' for the commands and options.")
                               : FString::Printf(u"Run 'pellmor help %s' for its arguments and options.", *Command);
    return PrintFailure(Console, bJson, EPellmorError::Usage, Why, Advice);
}

// When a shell cut a path at its blanks: the command line with the first run of two or more positional
// arguments that, joined with blanks, name an existing file or folder (from WorkingDir), quoted as one. Empty when
// there is none.
FString SuggestQuoting(const TDynArray<FString>& Args, const TDynArray<int32_t>& Positional, const FString& WorkingDir)
{
    for (int32_t First = 1; First < Positional.Num(); ++First)
        for (int32_t Last = Positional.Num() - 1; Last > First; --Last)
        {
            FString Joined = Args[Positional[First]];
            for (int32_t i = First + 1; i <= Last; ++i)
                Joined += u" " + Args[Positional[i]];
            if (!appPathExists(appAbsolutePath(Joined, WorkingDir)))
                continue;
            FString Line = u"pellmor";
            for (int32_t i = 0; i < Args.Num(); ++i)
            {
                if (i == Positional[First])
                    Line += u" " + ShellQuote(Joined);
                else if (i < Positional[First] || i > Positional[Last])
                    Line += u" " + ShellQuote(Args[i]);
            }
            return Line;
        }
    return FString();
}

int32_t OperandCountError(FPellmorConsole& Console, const FPellmorOptions& Options, const FCommandSpec& Spec,
                          const TDynArray<FString>& Args, const TDynArray<int32_t>& Positional)
{
    const int32_t Given = Positional.Num() - 1;
    if (Given < Spec.MinOperands)
        return UsageError(Console, Options.bJson, FString::Printf(u"%s needs %s", Spec.Name, Spec.OperandHelp[Given]),
                          Spec.Name);
    FString Extra;
    for (int32_t i = MaxOperands(Spec) + 1; i < Positional.Num(); ++i)
        Extra += FString(Extra.IsEmpty() ? u"" : u" ") + ShellQuote(Args[Positional[i]]);
    const int32_t Max = MaxOperands(Spec);
    const FString Why = FString::Printf(
        u"%s takes %s%d argument%s (%s), not %d; extra: %s", Spec.Name, Spec.MinOperands < Max ? u"at most " : u"", Max,
        Max == 1 ? u"" : u"s", Max == 1 ? Spec.Operands[0] : *(FString(Spec.Operands[0]) + u" and " + Spec.Operands[1]),
        Given, *Extra);
    const FString Quoted = SuggestQuoting(Args, Positional, Options.WorkingDir);
    if (Quoted.IsEmpty())
        return UsageError(Console, Options.bJson, Why, Spec.Name);
    return PrintFailure(Console, Options.bJson, EPellmorError::Usage, Why,
                        u"A path with blanks must be quoted, as one argument:\n  " + Quoted);
}

// ---- Operands ---------------------------------------------------------------------------------------------

// SRC of report, preview and shrink-img: an archive, or a game folder (or its Models folder) for its
// Models\gta3.img; with bTxdToo also a loose texture dictionary. False after saying what is wrong with it.
bool ResolveArchive(FPellmorConsole& Console, bool bJson, FString& Src, bool bTxdToo, int32_t& Exit)
{
    const uint32_t Attributes = CoreOS::FileGetAttributes(*Src);
    if (Attributes != CoreOS::FILEATTR_Invalid && (Attributes & CoreOS::FILEATTR_Directory))
    {
        const FGameDir Game = InterpretGameDirArgument(Src);
        const FArchiveFiles Files = GetGameArchiveFiles(Game.Dir);
        // A shrunk game is measured from its original, as the dialog's preview is.
        const FString Archive = PathAsOnDisk(GetPreviewSource(Files));
        if (FileSizeOf(Archive) < 0)
        {
            Exit = PrintFailure(Console, bJson, EPellmorError::NoGame,
                                FString::Printf(u"%s is a folder without %s", *ShellQuote(Src),
                                                *appWithSystemSeparators(u"Models\\gta3.img")),
                                u"Name the archive, or the game's folder (the one that holds Models).");
            return false;
        }
        if (!bJson)
            SayErr(Console, Archive.EqualsNoCase(*PathAsOnDisk(Files.Cur))
                                ? FString::Printf(u"pellmor: taking the game's archive %s", *ShellQuote(Archive))
                                : FString::Printf(u"pellmor: the game is shrunk; taking its original, kept as %s",
                                                  *ShellQuote(Archive)));
        Src = Archive;
    }
    if (FileSizeOf(Src) < 0)
    {
        char16_t Reason[512] = {};
        CoreOS::SystemErrorMessage(CoreOS::LastError(), Reason, 512);
        const FString Corrected = CorrectMistypedPath(Src);
        Exit = PrintFailure(
            Console, bJson, EPellmorError::CannotRead, FString::Printf(u"cannot read %s: %s", *ShellQuote(Src), Reason),
            Corrected.IsEmpty() ? FString() : FString::Printf(u"Did you mean %s?", *ShellQuote(Corrected)));
        return false;
    }
    if (bTxdToo && LooksLikeTxdFile(*Src))
        return true;
    // The same words as for an archive of the game's.
    const FGameArchive Archive = DescribeArchiveFile(Src);
    const FImgArchiveCheck Check = CheckImgArchive(*Src);
    if (Check.Result == EImgCheck::Damaged)
    {
        Exit = PrintFailure(Console, bJson, EPellmorError::Damaged, DescribeDamage(Archive.Shown, Check.Damage),
                            AdviceFor(EVerdict::Damaged, Archive));
        return false;
    }
    if (Check.Result != EImgCheck::Ok)
    {
        Exit = PrintFailure(
            Console, bJson, EPellmorError::NotAnArchive,
            FString::Printf(u"%s is no IMG archive of the kind the game loads (version 2).", *ShellQuote(Src)),
            FString());
        return false;
    }
    return true;
}

// Reads the skip rules the command will shrink with and warns about what it cannot read. False when a file
// the user named cannot be read.
// Without --skip-rules, the user's own file comes before the one beside the program.
void ChooseSkipRulesFile(FPellmorOptions& Options, bool bNamed)
{
    const FString UserFile = FSkipRules::UserFile();
    if (!bNamed && !UserFile.IsEmpty() && appPathExists(UserFile))
        Options.SkipRulesFile = UserFile;
}

bool CheckSkipRules(FPellmorConsole& Console, FPellmorOptions& Options, bool bNamed, int32_t& Exit)
{
    ChooseSkipRulesFile(Options, bNamed);
    Options.SkipRules = CheckSkipRulesFile(Options.SkipRulesFile);
    if (bNamed && !Options.SkipRules.bFileFound)
    {
        Exit = PrintFailure(Console, Options.bJson, EPellmorError::CannotRead,
                            FString::Printf(u"cannot read the skip rules file %s", *Options.SkipRulesFile), FString());
        return false;
    }
    // JSON carries the warnings as values.
    if (!Options.bJson)
        PrintSkipRulesWarnings(Console, Options.SkipRules);
    return true;
}

// The option of the table that Arg names ("--jobs", "--jobs=4"); null for none. Equals: where '=' is, or -1.
const FOptionSpec* FindOption(const FString& Arg, int32_t& Equals)
{
    Equals = Arg.InStr(u"=");
    const FString Name = Equals >= 0 ? Arg.Left(Equals) : Arg;
    for (const FOptionSpec& Option : Options)
        if (Name == OptionName(Option))
            return &Option;
    return nullptr;
}

// The flag of the option every command takes that Arg names; null for none.
bool* FindGeneralFlag(const FString& Arg, FCommandLine& Line)
{
    for (const auto& General : GeneralOptions)
        if (Arg == General.Name || (General.ShortName[0] && Arg == General.ShortName))
            return &(Line.*General.Flag);
    return nullptr;
}

// What a missing value is asked for as: "--jobs needs a number".
const char16_t* ValueNoun(EPellmorValue Value)
{
    switch (Value)
    {
        case EPellmorValue::Folder:
            return u"folder";
        case EPellmorValue::Archive:
            return u"name";
        case EPellmorValue::Number:
            return u"number";
        default:
            return u"file name";
    }
}

// The option Args[i] names, with its value: after '=', else the next argument (which i then passes). False after
// a usage error.
bool ReadOption(FPellmorConsole& Console, const TDynArray<FString>& Args, int32_t& i, FPellmorOptions& Options,
                FCommandLine& Line, int32_t& Exit)
{
    const FString& Arg = Args[i];
    if (bool* Flag = FindGeneralFlag(Arg, Line))
    {
        *Flag = true;
        return true;
    }
    int32_t Equals = -1;
    const FOptionSpec* Option = FindOption(Arg, Equals);
    if (!Option)
    {
        Exit = UsageError(Console, Options.bJson, UnknownOption(Arg));
        return false;
    }
    Line.Given |= Option->Option;
    FString Why = u"takes no value";
    if (!Option->Take && Equals < 0)
        return true;
    if (Option->Take)
    {
        const FString Value = Equals >= 0 ? Arg.Mid(Equals + 1) : (i + 1 < Args.Num() ? Args[++i] : FString());
        FString What = FString::Printf(u"a %s", ValueNoun(Option->Value));
        if (!Value.IsEmpty() && Option->Take(Options, Value, What))
            return true;
        // A missing value is told what the option takes as a wrong one is.
        if (Value.IsEmpty())
            Option->Take(Options, Value, What);
        Why = Value.IsEmpty() ? u"needs " + What : FString::Printf(u"takes %s, not %s", *What, *Value);
    }
    Exit = UsageError(Console, Options.bJson, OptionName(*Option) + u" " + Why);
    return false;
}

// Takes the options from Args. False after a usage error.
bool ReadOptions(FPellmorConsole& Console, const TDynArray<FString>& Args, FPellmorOptions& Options, FCommandLine& Line,
                 int32_t& Exit)
{
    bool bOptionsDone = false;
    for (int32_t i = 0; i < Args.Num(); ++i)
    {
        const FString& Arg = Args[i];
        if (bOptionsDone || Arg.Len() < 2 || Arg[0] != u'-')
            Line.Positional.AddItem(i);
        else if (Arg == u"--")
            bOptionsDone = true;
        else if (!ReadOption(Console, Args, i, Options, Line, Exit))
            return false;
    }
    Options.bReport = (Line.Given & OPTION_Report) != 0;
    Options.bAllArchives = (Line.Given & OPTION_All) != 0;
    Options.bProgress = (Line.Given & OPTION_Progress) != 0;
    Options.bVerbose = Line.bVerbose;
    Options.bCompare = (Line.Given & OPTION_Compare) != 0;
    Options.bDiscardChanges = (Line.Given & OPTION_DiscardChanges) != 0;
    const char16_t* Conflict =
        (Line.Given & OPTION_All) && (Line.Given & OPTION_Archive)       ? u"give --archive or --all, not both"
        : (Line.Given & OPTION_Smooth) && (Line.Given & OPTION_NoSmooth) ? u"give --smooth or --no-smooth, not both"
        : CountBits(Line.Given & (OPTION_MaxSide | OPTION_KeepQuality | OPTION_Fit)) > 1
            ? u"give one of --max-side, --keep-quality and --fit"
        : (Line.Given & OPTION_Compare) && (Line.Given & SettingsOptions)
            ? u"--compare estimates every choice itself: leave out --max-side, --keep-quality, --fit, --smooth and "
              u"--no-smooth"
            : nullptr;
    if (Conflict)
    {
        Exit = UsageError(Console, Options.bJson, FString(Conflict));
        return false;
    }
    if (Line.Given & (OPTION_Smooth | OPTION_NoSmooth))
        Options.Settings.Smooth = (Line.Given & OPTION_Smooth) ? ESmoothChoice::Smooth : ESmoothChoice::NoSmooth;
    return true;
}

// The options given that the command does not take: a usage error for the first.
bool CheckOptionsFit(FPellmorConsole& Console, const FCommandSpec& Spec, uint32_t Given, bool bJson, int32_t& Exit)
{
    for (const FOptionSpec& Option : Options)
        if ((Given & Option.Option) && !(Spec.Options & Option.Option))
        {
            const FString Name = OptionName(Option);
            Exit = UsageError(
                Console, bJson,
                FString::Printf(u"%s goes with %s, not %s", *Name, *CommandsWith(Option.Option), Spec.Name), Spec.Name);
            return false;
        }
    return true;
}

int32_t Help(FPellmorConsole& Console, bool bJson, const TDynArray<FString>& Args, const TDynArray<int32_t>& Positional)
{
    if (Positional.Num() > 2)
        return UsageError(Console, bJson, FString(u"help takes at most one command"));
    if (Positional.Num() == 1 || IsHelpCommand(Args[Positional[1]]))
    {
        Console.Out(WholeHelp());
        return PELLMOR_Done;
    }
    const FCommandSpec* Spec = FindCommand(Args[Positional[1]]);
    if (!Spec)
        return UsageError(Console, bJson, UnknownCommand(Args[Positional[1]]));
    Console.Out(CommandHelp(*Spec));
    return PELLMOR_Done;
}

// DST of shrink-img names a file to write in a folder that exists; anything else would only fail after the work.
bool CheckDestination(FPellmorConsole& Console, bool bJson, const FString& Dest, int32_t& Exit)
{
    const FString Trimmed = appWithoutTrailingSeparators(Dest);
    const FString Folder = appPathFolder(Trimmed);
    const uint32_t FolderAttributes = Folder.IsEmpty() ? 0 : CoreOS::FileGetAttributes(*Folder);
    if (FolderAttributes == CoreOS::FILEATTR_Invalid || !(FolderAttributes & CoreOS::FILEATTR_Directory))
    {
        Exit = PrintFailure(Console, bJson, EPellmorError::Usage,
                            FString::Printf(u"there is no folder %s for DST", *ShellQuote(PathAsOnDisk(Folder))),
                            FString(u"Make the folder first, or name a file in a folder that exists."));
        return false;
    }
    // A name ending with a separator means a folder, whether or not one is there.
    const uint32_t Attributes = CoreOS::FileGetAttributes(*Dest);
    const bool bFolder = Trimmed.Len() != Dest.Len() ||
                         (Attributes != CoreOS::FILEATTR_Invalid && (Attributes & CoreOS::FILEATTR_Directory));
    if (!bFolder)
        return true;
    const FString Example = appWithSystemSeparators(Trimmed + u"/gta3.img");
    Exit = PrintFailure(Console, bJson, EPellmorError::Usage, FString::Printf(u"DST %s is a folder", *ShellQuote(Dest)),
                        FString::Printf(u"Name the new archive's file, for example %s", *ShellQuote(Example)));
    return false;
}

// Everything about the arguments that can be told before the command runs. False after saying what is wrong.
bool PrepareOperands(FPellmorConsole& Console, const FCommandSpec& Spec, FPellmorOptions& Options, uint32_t Given,
                     int32_t& Exit)
{
    for (FString& Operand : Options.Operands)
    {
        if (Operand.IsEmpty())
        {
            Exit = UsageError(Console, Options.bJson, FString::Printf(u"an empty path for %s", Spec.Name), Spec.Name);
            return false;
        }
        Operand = appAbsolutePath(Operand, Options.WorkingDir);
    }
    if ((Given & OPTION_WinePrefix) && Options.Operands.Num() > 0)
    {
        Exit = UsageError(Console, Options.bJson,
                          FString::Printf(u"give either %s or --wine-prefix, not both", Spec.Operands[0]), Spec.Name);
        return false;
    }
    // With --archive or --all, SRC names the game folder whose archives are meant (the command finds it). Without
    // them, the archive; when none is named, the one of the game found as status finds it.
    FGameDir Game;
    const bool bArchive = Spec.First == EOperand::Archive || Spec.First == EOperand::ArchiveOrTxd;
    if (bArchive && !Options.NamesArchives() && Options.Operands.Num() == 0)
    {
        if (!ResolveGameDir(Options, Console, Game, Exit))
            return false;
        Options.Operands.AddItem(Game.Dir);
    }
    if (bArchive && !Options.NamesArchives() &&
        !ResolveArchive(Console, Options.bJson, Options.Operands[0], Spec.First == EOperand::ArchiveOrTxd, Exit))
        return false;
    if (Spec.Operands[1] && !CheckDestination(Console, Options.bJson, Options.Operands[1], Exit))
        return false;
    if ((Spec.Options & OPTION_SkipRules) && !CheckSkipRules(Console, Options, Given & OPTION_SkipRules, Exit))
        return false;
    if (Spec.bTellsSkipRules)
        ChooseSkipRulesFile(Options, false);
    return true;
}
} // namespace

int32_t RunPellmorCommand(const TDynArray<FString>& Args, FPellmorConsole& Console, const FString& WorkingDir)
{
    int32_t Exit = PELLMOR_Usage;
    if (RunPellmorDocs(Args, Console, Exit))
        return Exit;

    FPellmorOptions Options;
    Options.WorkingDir = WorkingDir.IsEmpty() ? appCurrentDirectory() : WorkingDir;
    // A script that asked for JSON gets it also for a mistake in the arguments after --json.
    for (int32_t i = 0; i < Args.Num() && Args[i] != u"--"; ++i)
        Options.bJson = Options.bJson || Args[i] == u"--json";

    FCommandLine Line;
    if (!ReadOptions(Console, Args, Options, Line, Exit))
        return Exit;
    const TDynArray<int32_t>& Positional = Line.Positional;
    if (Line.bVersion)
    {
        Console.Out(FString::Printf(u"pellmor %hs\n", PELLMOR_VERSION));
        return PELLMOR_Done;
    }
    if (Positional.Num() == 0)
    {
        if (Line.bHelp)
        {
            Console.Out(WholeHelp());
            return PELLMOR_Done;
        }
        return PrintFailure(Console, Options.bJson, EPellmorError::Usage, FString(u"no command given"),
                            Options.bJson ? FString(u"Run 'pellmor help' for the commands and options.") : WholeHelp());
    }
    if (IsHelpCommand(Args[Positional[0]]))
        return Help(Console, Options.bJson, Args, Positional);

    const FCommandSpec* Spec = FindCommand(Args[Positional[0]]);
    if (!Spec)
        return UsageError(Console, Options.bJson, UnknownCommand(Args[Positional[0]]));
    if (Line.bHelp)
    {
        Console.Out(CommandHelp(*Spec));
        return PELLMOR_Done;
    }
    if (!CheckOptionsFit(Console, *Spec, Line.Given, Options.bJson, Exit))
        return Exit;
    if (Positional.Num() - 1 < Spec->MinOperands || Positional.Num() - 1 > MaxOperands(*Spec))
        return OperandCountError(Console, Options, *Spec, Args, Positional);

    Options.Command = Spec->Name;
    for (int32_t i = 1; i < Positional.Num(); ++i)
        Options.Operands.AddItem(Args[Positional[i]]);
    if (!PrepareOperands(Console, *Spec, Options, Line.Given, Exit))
        return Exit;

    Console.SetVerbose(Line.bVerbose);
    const int32_t Result = Spec->Run(Options, Console);
    if (Line.bVerbose)
        Console.SetVerbose(false);
    return Result;
}
