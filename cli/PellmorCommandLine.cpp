// The pellmor command line: the commands and their options, help, and what the arguments mean before a command
// runs (missing or extra ones, paths cut at blanks, game folders named for an archive).
#include "cli/PellmorCommand.h"

#include <algorithm>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "cli/PellmorCommands.h"
#include "engine/FPreviewPage.h"
#include "engine/FShrinkEngineServer.h"
#include "shrinker/FSkipRules.h"

namespace
{
// Help lines stay below 80 columns, so that they never wrap in a terminal of the usual size.
const int32_t HelpWidth = 79;
// Where descriptions start in the lists of commands and options.
const int32_t ListColumn = 24;

enum EOption : uint32_t
{
    OPTION_Json = 1,
    OPTION_SkipRules = 2,
    OPTION_WinePrefix = 4,
    OPTION_Report = 8,
    OPTION_Archive = 16,
    OPTION_All = 32,
    OPTION_Jobs = 64,
    OPTION_Progress = 128,
    OPTION_MaxSide = 256,
    OPTION_Smooth = 512,
    OPTION_NoSmooth = 1024,
    OPTION_Compare = 2048,
    OPTION_DiscardChanges = 4096,
    OPTION_Out = 8192,
    OPTION_Count = 16384,
};

// Stores an option's value; false when it is none the option takes. What is what the option takes, for the usage
// error ("--jobs takes a number from 1 to 16, not x"): as the option's kind of value says it ("a file name")
// unless the option narrows it. A missing value is passed as the empty text, only to learn What.
typedef bool (*FTakeValue)(FPellmorOptions& Options, const FString& Value, FString& What);

bool TakeSkipRules(FPellmorOptions& Options, const FString& Value, FString&)
{
    Options.SkipRulesFile = appAbsolutePath(Value, Options.WorkingDir);
    return true;
}

bool TakeWinePrefix(FPellmorOptions& Options, const FString& Value, FString&)
{
    Options.WinePrefix = appAbsolutePath(Value, Options.WorkingDir);
    return true;
}

// An archive's name is below the game folder, not the current directory: kept as given.
bool TakeArchive(FPellmorOptions& Options, const FString& Value, FString&)
{
    Options.ArchiveNames.AddItem(Value);
    return true;
}

// Value's digits as a number, Max + 1 when it holds anything else or is larger than Max.
int64_t ReadCount(const FString& Value, int64_t Max)
{
    int64_t Count = 0;
    for (int32_t i = 0; i < Value.Len() && Count <= Max; ++i)
        Count = Value[i] >= u'0' && Value[i] <= u'9' ? Count * 10 + (Value[i] - u'0') : Max + 1;
    return Count;
}

// The range a number option takes, for its usage errors.
FString NumberRange(int32_t Min, int32_t Max)
{
    return FString::Printf(u"a number from %d to %d", Min, Max);
}

// 1 to SHRINK_MaxJobs.
bool TakeJobs(FPellmorOptions& Options, const FString& Value, FString& What)
{
    const int64_t Count = ReadCount(Value, SHRINK_MaxJobs);
    What = NumberRange(1, int32_t(SHRINK_MaxJobs));
    Options.Jobs = int32_t(Count);
    return Count >= 1 && Count <= SHRINK_MaxJobs;
}

// SHRINK_MinSide to SHRINK_MaxSide. The smoothing asked for is added once every option is read.
bool TakeMaxSide(FPellmorOptions& Options, const FString& Value, FString& What)
{
    const int64_t Side = ReadCount(Value, SHRINK_MaxSide);
    What = NumberRange(SHRINK_MinSide, SHRINK_MaxSide);
    if (!FShrinkSettings::IsValidMaxSide(Side))
        return false;
    Options.Settings = FShrinkSettings::LargestSide(int32_t(Side));
    return true;
}

bool TakeOut(FPellmorOptions& Options, const FString& Value, FString&)
{
    Options.OutDir = appWithoutTrailingSeparators(appAbsolutePath(Value, Options.WorkingDir));
    return true;
}

// 1 to PREVIEW_MaxCount.
bool TakeCount(FPellmorOptions& Options, const FString& Value, FString& What)
{
    const int64_t Count = ReadCount(Value, PREVIEW_MaxCount);
    What = NumberRange(1, int32_t(PREVIEW_MaxCount));
    Options.Count = int32_t(Count);
    return Count >= 1 && Count <= PREVIEW_MaxCount;
}

// The largest sides a player is shown as choices, as the dialog offers them: "1024 512 256 128".
FString OfferedMaxSides()
{
    FString Sides;
    for (const FShrinkSettings& Choice : FShrinkSettings::Choices())
        if (Choice.Mode == EShrinkMode::LargestSide)
            Sides += FString::Printf(Sides.IsEmpty() ? u"%d" : u" %d", Choice.MaxSide);
    return Sides;
}

struct FOptionSpec
{
    EOption Option;
    const char16_t* Synopsis;
    const char16_t* Help;
    EPellmorValue Value;            // what its value is: how a missing one is asked for, and shell completion
    FTakeValue Take;                // stores the value; null for an option without one
    FString (*Choices)() = nullptr; // the values offered for it (Tab), when there is a short list of usual ones
};

const FOptionSpec Options[] = {
    {OPTION_Json, u"--json", u"print one JSON object, also on failure", EPellmorValue::None, nullptr},
    {OPTION_Progress, u"--progress",
     u"with --json: one JSON line on standard error at every step of the work ({\"archive\", \"percent\", "
     u"\"bytesDone\", \"bytesTotal\", \"secondsLeft\"}); without --json the progress shows anyway",
     EPellmorValue::None, nullptr},
    {OPTION_SkipRules, u"--skip-rules FILE", u"take the skip rules from FILE instead of SkipRules.ini beside pellmor",
     EPellmorValue::File, &TakeSkipRules},
    {OPTION_WinePrefix, u"--wine-prefix DIR", u"look for the game in this Wine prefix only", EPellmorValue::Folder,
     &TakeWinePrefix},
    {OPTION_Report, u"--report", u"print the texture statistics", EPellmorValue::None, nullptr},
    {OPTION_Archive, u"--archive NAME",
     u"work on the archive NAME instead of gta3.img: a path below the game folder (Models\\gta_int.img) or a name "
     u"in Models (gta_int); may be given more than once",
     EPellmorValue::Archive, &TakeArchive},
    {OPTION_All, u"--all", u"work on every texture archive the game loads: gta3.img and those data\\gta.dat names",
     EPellmorValue::None, nullptr},
    {OPTION_Jobs, u"--jobs N",
     u"process N texture dictionaries at once; 1 works on one thread (default: as many as the machine runs at "
     u"once)",
     EPellmorValue::Number, &TakeJobs},
    {OPTION_MaxSide, u"--max-side N",
     u"bring every texture whose larger side is above N (16 to 8192) down by whole halvings to N or less, and "
     u"leave the others as they are; smooth unless --no-smooth is given (default: the standard shrink)",
     EPellmorValue::Number, &TakeMaxSide, &OfferedMaxSides},
    {OPTION_Smooth, u"--smooth",
     u"halve textures of one level with a 2x2 box filter instead of taking one pixel of four (cut-outs keep their "
     u"coverage); the default with --max-side",
     EPellmorValue::None, nullptr},
    {OPTION_NoSmooth, u"--no-smooth", u"take one pixel of four, as the standard shrink does, also with --max-side",
     EPellmorValue::None, nullptr},
    {OPTION_Compare, u"--compare",
     u"estimate the size after each choice: the standard shrink, smooth or not, and at most 1024, 512, 256 and 128 "
     u"pixels",
     EPellmorValue::None, nullptr},
    {OPTION_DiscardChanges, u"--discard-changes",
     u"restore even though the shrunk archive changed after the shrink (a mod installed meanwhile is then gone "
     u"from the game); clean: remove a kept shrunk copy that holds such a change too",
     EPellmorValue::None, nullptr},
    {OPTION_Out, u"--out DIR",
     u"write the page into DIR (default: pellmor-preview in the current folder); a folder that is there is only "
     u"replaced when it holds a preview page",
     EPellmorValue::Folder, &TakeOut},
    {OPTION_Count, u"--count K", u"show the K textures that the choice saves the most bytes on (default 24)",
     EPellmorValue::Number, &TakeCount},
};

// The options that choose what a shrink makes.
const uint32_t SettingsOptions = OPTION_MaxSide | OPTION_Smooth | OPTION_NoSmooth;

// The command line apart from what a command takes in FPellmorOptions.
struct FCommandLine
{
    TDynArray<int32_t> Positional; // indices into the arguments: the command, then its operands
    uint32_t Given = 0;            // EOption bits
    bool bHelp = false;
    bool bVersion = false;
    bool bVerbose = false;
};

// The options every command takes.
const struct
{
    const char16_t* Name;
    const char16_t* ShortName;
    const char16_t* Help;
    bool FCommandLine::*Flag;
} GeneralOptions[] = {
    {u"--verbose", u"-v", u"trace lines of the engine and the shrinker on standard error", &FCommandLine::bVerbose},
    {u"--help", u"-h", u"print the commands and options; after a command, what it does and its options",
     &FCommandLine::bHelp},
    {u"--version", u"", u"print the version", &FCommandLine::bVersion},
};

const char16_t* const Purpose =
    u"Makes the texture archive of GTA San Andreas (Models\\gta3.img) smaller, and undoes that.";
const char16_t* const HelpCommandSummary = u"this text, or more about one command";

const char16_t* const GameDirHelp =
    u"GAME_DIR is the game's folder, the one that holds Models; the Models folder or Models\\gta3.img will do "
    u"too. Without GAME_DIR pellmor looks for the game in the folder PellmorWin.exe last showed, in pellmor's own "
    u"folder and the one above it, in the registry, on Linux in the Wine prefix $WINEPREFIX (else .wine in the "
    u"home folder) and in the Steam libraries and their Proton prefixes, and on Windows last in the default "
    u"install folder.";

typedef int32_t (*FRunCommand)(const FPellmorOptions& Options, FPellmorConsole& Console);

// A failure that a command ends with by itself, beyond those of every command (a wrong option, no game folder),
// and when, in words that follow "Exits with N when": the command's help names its exit code from the table of
// exit codes, so that the two never disagree.
struct FCommandExit
{
    EPellmorError Error;
    const char16_t* When; // "there are no game files"; null after the last
};

// What the first operand names.
enum class EOperand : int32_t
{
    GameDir, // the game folder, or where to look for one
    Archive, // an archive, or a game folder for its Models\gta3.img
};

struct FCommandSpec
{
    const char16_t* Name;
    const char16_t* Alias; // another name, or null
    EOperand First;
    const char16_t* Operands[2];
    const char16_t* OperandHelp[2]; // what a missing operand is, for the message that asks for it
    int32_t MinOperands;
    uint32_t Options;
    const char16_t* Summary;
    const char16_t* Help;
    FRunCommand Run;
    FCommandExit Exits[4] = {};
    // It says which skip rules a shrink would take although it takes no --skip-rules (status): the file is chosen
    // here, and read by the command.
    bool bTellsSkipRules = false;
};

const FCommandSpec Commands[] = {
    {u"status",
     nullptr,
     EOperand::GameDir,
     {u"GAME_DIR", nullptr},
     {nullptr, nullptr},
     0,
     OPTION_Json | OPTION_WinePrefix | OPTION_Archive | OPTION_All,
     u"the state of the game files and what to do next",
     u"Shows the state of the game files (original, shrunk, interrupted, missing, damaged, not-an-archive or "
     u"busy), their sizes, whether a shrink has what it needs (write access, free space), which skip rules it "
     u"would take, and what to do next.",
     &RunStatus,
     {{EPellmorError::NoGame, u"there are no game files"},
      {EPellmorError::Damaged, u"the archive is damaged"},
      {EPellmorError::NotAnArchive, u"is no IMG archive"},
      {EPellmorError::CannotRead, u"cannot be read"}},
     true},
    {u"shrink",
     nullptr,
     EOperand::GameDir,
     {u"GAME_DIR", nullptr},
     {nullptr, nullptr},
     0,
     OPTION_Json | OPTION_Progress | OPTION_SkipRules | OPTION_WinePrefix | OPTION_Archive | OPTION_All | OPTION_Jobs |
         SettingsOptions,
     u"shrink Models\\gta3.img; the original is kept as Models\\gta3_ORIG_BAK.img",
     u"Shrinks Models\\gta3.img as the dialog's Shrink button does: it builds Models\\gta3_TEMP.img, keeps the "
     u"original as Models\\gta3_ORIG_BAK.img and puts the shrunk archive in its place. A shrunk archive kept by "
     u"an earlier restore (Models\\gta3_SHRUNK_BAK.img) is taken as it is while it matches gta3.img. Needs free "
     u"space for the new archive, as much as gta3.img takes (status says how much is free and needed). Ctrl-C (also SIGTERM, or a closed terminal) cancels and leaves the files as they were. A "
     u"game that is shrunk already is nothing to do (exit code 0).",
     &RunShrink},
    {u"restore",
     u"unshrink",
     EOperand::GameDir,
     {u"GAME_DIR", nullptr},
     {nullptr, nullptr},
     0,
     OPTION_Json | OPTION_WinePrefix | OPTION_Archive | OPTION_All | OPTION_DiscardChanges,
     u"put the original archive back (also: unshrink)",
     u"Puts the original archive back, as the dialog's Restore button does, and keeps the shrunk one as "
     u"Models\\gta3_SHRUNK_BAK.img, so that the next shrink takes seconds. It also repairs a shrink or restore "
     u"that was interrupted. When gta3.img changed after the shrink (a mod was installed into it), the restore "
     u"refuses, since the original lacks that change, unless --discard-changes is given. A game that is the original "
     u"already is nothing to do (exit code 0).",
     &RunRestore},
    {u"clean",
     nullptr,
     EOperand::GameDir,
     {u"GAME_DIR", nullptr},
     {nullptr, nullptr},
     0,
     OPTION_Json | OPTION_WinePrefix | OPTION_Archive | OPTION_All | OPTION_DiscardChanges,
     u"remove the shrunk copy kept for the next shrink; never an original",
     u"Removes what shrinks keep beside the archive that the game does not need: the shrunk copy a restore keeps "
     u"for the next shrink (Models\\gta3_SHRUNK_BAK.img) and the leftover of an interrupted shrink "
     u"(Models\\gta3_TEMP.img), and says what it removed. The archive in use and the kept original "
     u"(Models\\gta3_ORIG_BAK.img) are never touched. A kept copy that holds a change made after the shrink (a mod "
     u"installed into the shrunk archive) is removed only with --discard-changes. The next shrink builds its "
     u"archive anew.",
     &RunClean},
    {u"report",
     nullptr,
     EOperand::Archive,
     {u"SRC", nullptr},
     {nullptr, nullptr},
     0,
     OPTION_Json | OPTION_Progress | OPTION_SkipRules | OPTION_WinePrefix | OPTION_Archive | OPTION_All | OPTION_Jobs |
         SettingsOptions | OPTION_Compare,
     u"what a shrink would do to the archive SRC (else the game's); writes nothing",
     u"Tells what a shrink would do to the archive SRC: how many textures would be made smaller, how many the "
     u"skip rules leave alone, and the size afterwards. Nothing is written. SRC may also be a game folder: its "
     u"Models\\gta3.img. Without SRC pellmor looks for the game as status does. With --archive or --all SRC is "
     u"the game folder, and the report covers each archive named and the saving of them all. With --compare it "
     u"estimates every choice (the standard shrink, smooth or not, and at most 1024, 512, 256 and 128 pixels) "
     u"side by side.",
     &RunReport},
    {u"shrink-img",
     nullptr,
     EOperand::Archive,
     {u"SRC", u"DST"},
     {u"SRC, the archive to shrink (Models\\gta3.img, or the game folder that holds it)",
      u"DST, the new file to write"},
     2,
     OPTION_SkipRules | OPTION_Report | OPTION_Jobs | SettingsOptions,
     u"shrink the archive SRC into the new file DST (no backups, no game folder)",
     u"Shrinks the archive SRC into the new file DST, without backups and without a game folder. SRC may also be "
     u"a game folder: its Models\\gta3.img.",
     &RunShrinkImg},
    {u"preview",
     nullptr,
     EOperand::Archive,
     {u"SRC", nullptr},
     {nullptr, nullptr},
     0,
     OPTION_Json | OPTION_SkipRules | OPTION_WinePrefix | OPTION_Archive | OPTION_All | OPTION_Jobs | SettingsOptions |
         OPTION_Out | OPTION_Count,
     u"a page of pictures: the textures before and after a shrink of SRC (else the game's); writes nothing there",
     u"Writes a page that shows what a shrink would make of the archive SRC: today's size and the estimated size "
     u"of each choice (the standard shrink, smooth, at most 1024, 512, 256 and 128 pixels) as a chart, the "
     u"textures the choice saves the most bytes on as pictures before and after, and how many textures stay as "
     u"they are and why. The page is DIR/index.html with one PNG file per picture; it needs no network. Prints "
     u"the page's path. Nothing is written in the game's folder. SRC and --archive or --all as for report.",
     &RunPreview},
};

// Command names are taken in any case: "Status" is status.
const FCommandSpec* FindCommand(const FString& Name)
{
    for (const FCommandSpec& Spec : Commands)
        if (Name.EqualsNoCase(Spec.Name) || (Spec.Alias && Name.EqualsNoCase(Spec.Alias)))
            return &Spec;
    return nullptr;
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

// "--jobs" of "--jobs N".
FString OptionName(const FOptionSpec& Option)
{
    const FString Synopsis = Option.Synopsis;
    const int32_t Blank = Synopsis.InStr(u" ");
    return Blank >= 0 ? Synopsis.Left(Blank) : Synopsis;
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

int32_t MaxOperands(const FCommandSpec& Spec)
{
    return Spec.Operands[1] ? 2 : (Spec.Operands[0] ? 1 : 0);
}

// ---- Help -------------------------------------------------------------------------------------------------

// Text broken at blanks into lines of at most HelpWidth columns. The first line goes on after Lead columns
// already written; the others start with Indent blanks. Ends with a line break.
FString Wrap(const FString& Text, int32_t Lead, int32_t Indent)
{
    // The help writes the game's paths as this system spells them (Models/gta3.img on Linux).
    TDynArray<FString> Words;
    appWithSystemSeparators(Text).Split(u" ", &Words);
    FString Result;
    int32_t Column = Lead;
    bool bLineStart = true;
    for (const FString& Word : Words)
    {
        if (!bLineStart && Column + 1 + Word.Len() > HelpWidth)
        {
            Result += u"\n";
            for (int32_t i = 0; i < Indent; ++i)
                Result += u' ';
            Column = Indent;
            bLineStart = true;
        }
        if (!bLineStart)
        {
            Result += u' ';
            ++Column;
        }
        Result += Word;
        Column += Word.Len();
        bLineStart = false;
    }
    return Result + u"\n";
}

// "  NAME        help", the help wrapped in its column.
FString ListItem(const FString& Name, const FString& Help)
{
    FString Line = u"  " + Name;
    if (Line.Len() >= ListColumn)
        Line += u"\n";
    const int32_t Column = Line.EndsWith(u"\n") ? 0 : Line.Len();
    for (int32_t i = Column; i < ListColumn; ++i)
        Line += u' ';
    return Line + Wrap(Help, ListColumn, ListColumn);
}

FString CommandSynopsis(const FCommandSpec& Spec)
{
    FString Synopsis = Spec.Name;
    for (int32_t i = 0; i < MaxOperands(Spec); ++i)
        Synopsis += FString::Printf(i < Spec.MinOperands ? u" %s" : u" [%s]", Spec.Operands[i]);
    return Synopsis;
}

// The commands that take Option: "status, report".
FString CommandsWith(EOption Option)
{
    FString List;
    for (const FCommandSpec& Spec : Commands)
        if (Spec.Options & Option)
            List += FString(List.IsEmpty() ? u"" : u", ") + Spec.Name;
    return List;
}

FString WholeHelp()
{
    FString Text = u"usage: pellmor COMMAND [ARGUMENTS] [OPTIONS]\n\n";
    Text += Wrap(Purpose, 0, 0);
    Text += u"\ncommands:\n";
    for (const FCommandSpec& Spec : Commands)
        Text += ListItem(CommandSynopsis(Spec), Spec.Summary);
    Text += ListItem(u"help [COMMAND]", HelpCommandSummary);
    Text += u"\noptions:\n";
    for (const FOptionSpec& Option : Options)
        Text += ListItem(Option.Synopsis, FString(Option.Help) + u" (" + CommandsWith(Option.Option) + u")");
    Text += ListItem(GeneralOptions[0].Name, GeneralOptions[0].Help);
    Text += ListItem(u"--help, --version", u"this text, or the version");
    Text += u"\n" + Wrap(GameDirHelp, 0, 0);
    FString Exits = u"exit codes:";
    for (const FPellmorExitDoc& Exit : GetPellmorExitDocs())
        Exits += FString::Printf(u"%s %d %s", Exits.EndsWith(u":") ? u"" : u";", Exit.Exit, *Exit.Meaning);
    return Text + u"\n" + Wrap(Exits, 0, 0);
}

// The exit code of the command's own failures that end with Exit, in words: "the archive is damaged, is no IMG
// archive or cannot be read".
FString ExitCases(const FCommandSpec& Command, int32_t Exit)
{
    TDynArray<FString> Cases;
    for (const FCommandExit& Case : Command.Exits)
        if (Case.When && PellmorExitCode(Case.Error, CoreOS::INTERRUPT_None) == Exit)
            Cases.AddItem(FString(Case.When));
    FString Text;
    for (int32_t i = 0; i < Cases.Num(); ++i)
        Text += (i == 0 ? u"" : i + 1 == Cases.Num() ? u" or " : u", ") + Cases[i];
    return Text;
}

// What the command does, then the exit codes of its own failures: "Exits with 2 when there are no game files,
// and with 1 when the archive is damaged, ...". The help and the manual page both say it so.
FString CommandHelpText(const FCommandSpec& Command)
{
    FString Exits;
    TDynArray<int32_t> Named;
    for (const FCommandExit& Case : Command.Exits)
    {
        const int32_t Exit = PellmorExitCode(Case.Error, CoreOS::INTERRUPT_None);
        if (!Case.When || Named.FindItemIndex(Exit) >= 0)
            continue;
        Named.AddItem(Exit);
        Exits += FString::Printf(Exits.IsEmpty() ? u" Exits with %d when %s" : u", and with %d when %s", Exit,
                                 *ExitCases(Command, Exit));
    }
    return FString(Command.Help) + Exits + (Exits.IsEmpty() ? u"" : u".");
}

FString CommandHelp(const FCommandSpec& Spec)
{
    FString Usage = u"usage: pellmor " + CommandSynopsis(Spec);
    for (const FOptionSpec& Option : Options)
        if (Spec.Options & Option.Option)
            Usage += FString::Printf(u" [%s]", Option.Synopsis);
    FString Text = Wrap(Usage, 0, 7) + u"\n" + Wrap(CommandHelpText(Spec), 0, 0);
    if (Spec.Alias)
        Text += Wrap(FString::Printf(u"Also called %s.", Spec.Alias), 0, 0);
    if (Spec.First == EOperand::GameDir)
        Text += u"\n" + Wrap(GameDirHelp, 0, 0);
    Text += u"\noptions:\n";
    for (const FOptionSpec& Option : Options)
        if (Spec.Options & Option.Option)
            Text += ListItem(Option.Synopsis, Option.Help);
    return Text + ListItem(GeneralOptions[0].Name, GeneralOptions[0].Help);
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

// SRC of report and shrink-img: an archive, or a game folder (or its Models folder) for its Models\gta3.img.
// False after saying what is wrong with it.
bool ResolveArchive(FPellmorConsole& Console, bool bJson, FString& Src, int32_t& Exit)
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
        : (Line.Given & OPTION_Compare) && (Line.Given & SettingsOptions)
            ? u"--compare estimates every choice itself: leave out --max-side, --smooth and "
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
    if (Spec.First == EOperand::Archive && !Options.NamesArchives() && Options.Operands.Num() == 0)
    {
        if (!ResolveGameDir(Options, Console, Game, Exit))
            return false;
        Options.Operands.AddItem(Game.Dir);
    }
    if (Spec.First == EOperand::Archive && !Options.NamesArchives() &&
        !ResolveArchive(Console, Options.bJson, Options.Operands[0], Exit))
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

FString GetPellmorHelp(const FString& Command)
{
    if (Command.IsEmpty())
        return WholeHelp();
    const FCommandSpec* Spec = FindCommand(Command);
    return Spec ? CommandHelp(*Spec) : FString();
}

TDynArray<FString> GetPellmorCommands()
{
    TDynArray<FString> Names;
    for (const FCommandSpec& Spec : Commands)
        Names.AddItem(FString(Spec.Name));
    return Names;
}

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

FString ShrinkOptionsFor(const FShrinkSettings& Settings)
{
    const bool bLargestSide = Settings.Mode == EShrinkMode::LargestSide;
    FString Text = bLargestSide ? FString::Printf(u" --max-side %d", Settings.MaxSide) : FString();
    // Smoothing is named only where it is not what the mode does by itself.
    if (Settings.IsSmooth() != bLargestSide)
        Text += Settings.IsSmooth() ? u" --smooth" : u" --no-smooth";
    return Text;
}

// ---- The tables described, for the manual page and shell completion ----------------------------------------

FString GetPellmorPurpose()
{
    return appWithSystemSeparators(Purpose);
}

FString GetPellmorGameDirHelp()
{
    return appWithSystemSeparators(GameDirHelp);
}

TDynArray<FPellmorCommandDoc> GetPellmorCommandDocs()
{
    TDynArray<FPellmorCommandDoc> Docs;
    for (const FCommandSpec& Spec : Commands)
    {
        FPellmorCommandDoc Doc;
        Doc.Name = Spec.Name;
        Doc.Alias = Spec.Alias ? Spec.Alias : u"";
        for (int32_t i = 0; i < MaxOperands(Spec); ++i)
        {
            Doc.OperandNames.AddItem(FString(Spec.Operands[i]));
            // The first operand names a game folder or an archive (or the game folder that holds it); a second
            // one is the file to write.
            Doc.Operands.AddItem(i > 0                             ? EPellmorValue::File
                                 : Spec.First == EOperand::GameDir ? EPellmorValue::Folder
                                                                   : EPellmorValue::Path);
        }
        Doc.MinOperands = Spec.MinOperands;
        Doc.Summary = appWithSystemSeparators(Spec.Summary);
        Doc.Help = appWithSystemSeparators(CommandHelpText(Spec));
        Doc.bGameDir = Spec.First == EOperand::GameDir;
        for (const FOptionSpec& Option : Options)
            if (Spec.Options & Option.Option)
                Doc.Options.AddItem(OptionName(Option));
        Docs.AddItem(Doc);
    }
    FPellmorCommandDoc Help;
    Help.Name = u"help";
    Help.OperandNames.AddItem(FString(u"COMMAND"));
    Help.Operands.AddItem(EPellmorValue::Command);
    Help.Summary = HelpCommandSummary;
    Help.Help = u"Shows the commands and the options, or what COMMAND does and the options it takes (as "
                u"'pellmor COMMAND --help' does).";
    Docs.AddItem(Help);
    return Docs;
}

TDynArray<FPellmorOptionDoc> GetPellmorOptionDocs()
{
    TDynArray<FPellmorOptionDoc> Docs;
    for (const FOptionSpec& Option : Options)
    {
        FPellmorOptionDoc Doc;
        const FString Synopsis = Option.Synopsis;
        const int32_t Blank = Synopsis.InStr(u" ");
        Doc.Name = Blank >= 0 ? Synopsis.Left(Blank) : Synopsis;
        Doc.ValueName = Blank >= 0 ? Synopsis.Mid(Blank + 1) : FString();
        Doc.Value = Option.Value;
        Doc.Choices = Option.Choices ? Option.Choices() : FString();
        Doc.Help = appWithSystemSeparators(Option.Help);
        for (const FCommandSpec& Spec : Commands)
            if (Spec.Options & Option.Option)
                Doc.Commands.AddItem(FString(Spec.Name));
        Docs.AddItem(Doc);
    }
    for (const auto& Option : GeneralOptions)
    {
        FPellmorOptionDoc Doc;
        Doc.Name = Option.Name;
        Doc.ShortName = Option.ShortName;
        Doc.Help = Option.Help;
        Docs.AddItem(Doc);
    }
    return Docs;
}
