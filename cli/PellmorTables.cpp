// The pellmor command's tables, and the help, the manual page's and the completion's data made of them.
#include "cli/PellmorTables.h"

#include "Core/Inc/CoreFormat.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "engine/FPreviewPage.h"
#include "shrinker/FSkipRules.h"

namespace PellmorTables
{
namespace
{
// Help lines stay below 80 columns, so that they never wrap in a terminal of the usual size.
const int32_t HelpWidth = 79;
// Where descriptions start in the lists of commands and options.
const int32_t ListColumn = 24;

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

// SHRINK_MinPsnr to SHRINK_MaxPsnr.
bool TakeKeepQuality(FPellmorOptions& Options, const FString& Value, FString& What)
{
    const int64_t Db = ReadCount(Value, SHRINK_MaxPsnr);
    What = NumberRange(SHRINK_MinPsnr, SHRINK_MaxPsnr);
    if (!FShrinkSettings::IsValidMinPsnr(Db))
        return false;
    Options.Settings = FShrinkSettings::KeepQuality(int32_t(Db));
    return true;
}

// The units of a size to fit in: those the sizes are shown in (decimal, or as Explorer counts on Windows).
int64_t SizeUnit(char16_t Letter)
{
    const int64_t Mega = int64_t(appBytesPerMegabyte());
    const int64_t Kilo = Mega == 1000000 ? 1000 : 1024;
    switch (Letter)
    {
        case u'B':
        case u'b':
            return 1;
        case u'K':
        case u'k':
            return Kilo;
        case u'M':
        case u'm':
            return Mega;
        case u'G':
        case u'g':
            return Mega * Kilo;
        default:
            return 0;
    }
}

// "600M", "1.2G", "800000K", "629145600B" (an optional "B" after K, M or G) in bytes; "55%" as a share of
// today's size, SHRINK_MinFitPercent to SHRINK_MaxFitPercent.
bool TakeFit(FPellmorOptions& Options, const FString& Value, FString& What)
{
    What = FString::Printf(u"a size such as 600M, 1.2G or 55%% (%d%% to %d%%)", int32_t(SHRINK_MinFitPercent),
                           int32_t(SHRINK_MaxFitPercent));
    FString Number = Value;
    if (Number.Len() >= 2 && (Number[Number.Len() - 1] == u'B' || Number[Number.Len() - 1] == u'b') &&
        SizeUnit(Number[Number.Len() - 2]) > 1)
        Number = Number.Left(Number.Len() - 1);
    if (Number.Len() < 2)
        return false;
    const char16_t Unit = Number[Number.Len() - 1];
    Number = Number.Left(Number.Len() - 1);
    if (Unit == u'%')
    {
        const int64_t Percent = ReadCount(Number, SHRINK_MaxFitPercent);
        if (!FShrinkSettings::IsValidFitPercent(Percent))
            return false;
        Options.Settings = FShrinkSettings::FitInPercent(int32_t(Percent));
        return true;
    }
    const int64_t Scale = SizeUnit(Unit);
    if (Scale == 0)
        return false;
    const int32_t Point = Number.InStr(u".");
    const FString Whole = Point < 0 ? Number : Number.Left(Point);
    const FString Fraction = Point < 0 ? FString() : Number.Mid(Point + 1);
    // Whole numbers up to a thousand terabytes, and at most three decimals.
    const int64_t Max = 999999999999999 / Scale;
    const int64_t Units = ReadCount(Whole, Max);
    const int64_t Thousandths = ReadCount(Fraction + FString(u"000").Left(3 - Fraction.Len()), 999);
    if (Whole.IsEmpty() || Units > Max || Fraction.Len() > 3 || (Point >= 0 && Fraction.IsEmpty()) || Thousandths > 999)
        return false;
    const int64_t Bytes = Units * Scale + Thousandths * Scale / 1000;
    if (Bytes <= 0)
        return false;
    Options.Settings = FShrinkSettings::FitIn(Bytes);
    return true;
}

FString OfferedFit()
{
    return FString(u"75% 50%");
}

// The dB of no visible change, offered first.
FString OfferedKeepQuality()
{
    return FString::Printf(u"%d 35 30", int32_t(SHRINK_NoVisibleChange));
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

} // namespace

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
    {OPTION_KeepQuality, u"--keep-quality DB",
     u"bring every texture down by whole halvings as far as what it loses close up stays at DB (20 to 60; PSNR, "
     u"higher keeps more) or better, never below 16 pixels on a side; 40 changes nothing a player sees; smooth "
     u"unless --no-smooth is given",
     EPellmorValue::Number, &TakeKeepQuality, &OfferedKeepQuality},
    {OPTION_Fit, u"--fit SIZE",
     u"bring the archive (with --all: the archives together) down to at most SIZE (600M, 1.2G, or 55% of today's "
     u"size) with the least loss close up: the textures that lose least for the bytes they save go first, never "
     u"below 16 pixels on a side; says so, and exits 1, when the rules cannot reach SIZE; smooth unless "
     u"--no-smooth is given",
     EPellmorValue::Number, &TakeFit, &OfferedFit},
    {OPTION_Smooth, u"--smooth",
     u"resample textures of one level smoothly instead of taking one pixel of four: a sharp filter for colour, a "
     u"2x2 box for alpha (cut-outs keep their coverage and clean edges); the default with --max-side",
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

// The options every command takes.
const FGeneralOption GeneralOptions[] = {
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
    u"too. Without GAME_DIR pellmor looks for the game in the current folder (or above it, in its Models folder), "
    u"in the folder PellmorWin.exe last showed, in pellmor's own "
    u"folder and the one above it, in the registry, on Linux in the Wine prefix $WINEPREFIX (else .wine in the "
    u"home folder) and in the Steam libraries and their Proton prefixes, and on Windows last in the default "
    u"install folder.";

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
     u"space for the new archive, as much as gta3.img takes (status says how much is free and needed). Ctrl-C (also "
     u"SIGTERM, or a closed terminal) cancels and leaves the files as they were. A "
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
     EOperand::ArchiveOrTxd,
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
     EOperand::ArchiveOrTxd,
     {u"SRC", u"DST"},
     {u"SRC, the archive to shrink (Models\\gta3.img, or the game folder that holds it), or a loose .txd",
      u"DST, the new file to write"},
     2,
     OPTION_SkipRules | OPTION_Report | OPTION_Jobs | SettingsOptions,
     u"shrink the archive SRC into the new file DST (no backups, no game folder)",
     u"Shrinks the archive SRC into the new file DST, without backups and without a game folder. SRC may also be "
     u"a game folder (its Models\\gta3.img), or a loose texture dictionary (a .txd file of a mod), which is "
     u"shrunk as the same dictionary is in an archive and written without an archive's padding (a damaged one is "
     u"copied as it is).",
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
     u"and loss of each choice (the standard shrink, smooth, at most 1024, 512, 256 and 128 pixels) as a chart, "
     u"a curve of the least loss at each size with every choice on it, the textures the choice saves the most "
     u"bytes on and those it loses the most on as pictures before and after, and how many textures stay as they "
     u"are and why. The page is DIR/index.html with one PNG file per picture; it needs no network. Prints "
     u"the page's path. Nothing is written in the game's folder. SRC and --archive or --all as for report.",
     &RunPreview},
};

static_assert(sizeof(Options) / sizeof(Options[0]) == NumOptionSpecs, "every option counted");
static_assert(sizeof(Commands) / sizeof(Commands[0]) == NumCommandSpecs, "every command counted");

// Command names are taken in any case: "Status" is status.
const FCommandSpec* FindCommand(const FString& Name)
{
    for (const FCommandSpec& Spec : Commands)
        if (Name.EqualsNoCase(Spec.Name) || (Spec.Alias && Name.EqualsNoCase(Spec.Alias)))
            return &Spec;
    return nullptr;
}

// "--jobs" of "--jobs N".
FString OptionName(const FOptionSpec& Option)
{
    const FString Synopsis = Option.Synopsis;
    const int32_t Blank = Synopsis.InStr(u" ");
    return Blank >= 0 ? Synopsis.Left(Blank) : Synopsis;
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

} // namespace PellmorTables

using namespace PellmorTables;

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

namespace
{
// The size of a fit as --fit takes it back: "55%", "600M", else in the largest unit that holds it whole.
FString FitSizeText(const FShrinkSettings& Settings)
{
    if (Settings.FitPercent > 0)
        return FString::Printf(u"%d%%", Settings.FitPercent);
    for (const char16_t Unit : {u'G', u'M', u'K'})
        if (Settings.FitBytes % SizeUnit(Unit) == 0)
            return FString::Printf(u"%lld%c", (long long)(Settings.FitBytes / SizeUnit(Unit)), Unit);
    return FString::Printf(u"%lldB", (long long)Settings.FitBytes);
}
} // namespace

void WriteFitAccount(FJsonWriter& Json, const FFitAccount& Fit)
{
    Json.BeginObject(FJsonWriter::Inline);
    Json.Key(u"targetBytes").Number(Fit.TargetBytes);
    Json.Key(u"bytes").Number(Fit.Bytes);
    Json.Key(u"met").Bool(Fit.IsMet());
    Json.EndObject();
}

FString ShrinkOptionsFor(const FShrinkSettings& Settings)
{
    const bool bStandard = Settings.Mode == EShrinkMode::Standard;
    FString Text = Settings.Mode == EShrinkMode::LargestSide ? FString::Printf(u" --max-side %d", Settings.MaxSide)
                   : Settings.Mode == EShrinkMode::KeepQuality
                       ? FString::Printf(u" --keep-quality %d", Settings.MinPsnr)
                   : Settings.Mode == EShrinkMode::Fit ? u" --fit " + FitSizeText(Settings)
                                                       : FString();
    // Smoothing is named only where it is not what the mode does by itself.
    if (Settings.IsSmooth() == bStandard)
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
