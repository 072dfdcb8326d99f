// What the pellmor command's parts share: the parsed command line, the failures and how they are printed, and
// small file and text helpers.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreTemplateString.h"
#include "cli/PellmorCommand.h"
#include "cli/PellmorConsole.h"
#include "cli/PellmorJson.h"
#include "engine/FGameDir.h"
#include "engine/FGameFiles.h"
#include "engine/FShrinkEngineServer.h"
#include "engine/FOutcomes.h"
#include "engine/FTransactionVerdict.h"
#include "shrinker/FShrinkSettings.h"
#include "shrinker/FSkipRulesCheck.h"

// The command line read: what a shrink makes and how (the base: --max-side, --smooth, --skip-rules, --jobs), and
// the rest.
struct FPellmorOptions : FShrinkChoice
{
    FString Command; // the command's own name (an alias is taken to it)
    // The folder the command was started in, absolute: every relative path on the command line is taken from it,
    // and a game there is found first.
    FString WorkingDir;
    TDynArray<FString> Operands;     // absolute paths; SRC is the archive itself, also when a game folder was named
    FSkipRulesCheck SkipRules;       // the rules a shrink will use, for the commands that shrink
    FString WinePrefix;              // absolute, or empty: where to look for a game no one named
    TDynArray<FString> ArchiveNames; // --archive, as given (below the game folder, or a name in Models)
    bool bAllArchives = false;       // --all
    bool bJson = false;
    bool bReport = false;
    bool bVerbose = false;
    bool bProgress = false;       // --progress: with bJson, JSON lines of progress on standard error
    bool bCompare = false;        // report --compare: a dry run of each choice a player has
    bool bDiscardChanges = false; // restore --discard-changes: restore although the shrunk archive changed
    FString OutDir;               // preview --out: absolute, or empty for pellmor-preview in the current folder
    int32_t Count = 0;            // preview --count: the textures shown in pictures; 0 the preview's default

    // --archive or --all: the command works on a list of archives and always answers with a list.
    bool NamesArchives() const { return bAllArchives || ArchiveNames.Num() > 0; }
};

// status (PellmorStatus.cpp), shrink and restore over the engine client (PellmorGame.cpp), clean
// (PellmorClean.cpp).
int32_t RunStatus(const FPellmorOptions& Options, FPellmorConsole& Console);
int32_t RunClean(const FPellmorOptions& Options, FPellmorConsole& Console);
int32_t RunShrink(const FPellmorOptions& Options, FPellmorConsole& Console);
int32_t RunRestore(const FPellmorOptions& Options, FPellmorConsole& Console);
// The game folder named on the command line (or the one around the Models folder or archive named), else the one
// found where the game is usually kept. False after telling the user what to do (Exit set).
bool ResolveGameDir(const FPellmorOptions& Options, FPellmorConsole& Console, FGameDir& Game, int32_t& Exit);
// report on archives and shrink-img on one (PellmorCommand.cpp).
int32_t RunReport(const FPellmorOptions& Options, FPellmorConsole& Console);
int32_t RunShrinkImg(const FPellmorOptions& Options, FPellmorConsole& Console);
// preview (PellmorPreview.cpp).
int32_t RunPreview(const FPellmorOptions& Options, FPellmorConsole& Console);

// ---- Failures ---------------------------------------------------------------------------------------------

// Why a command failed, for scripts: JSON's error.code (PellmorErrorCode names it).
enum class EPellmorError : int32_t
{
    Usage,           // wrong arguments or options
    NoGame,          // no game folder found, or no game files in it
    NoArchive,       // an archive named by --archive is not there
    NotAnArchive,    // the file is no IMG archive of the kind the game uses
    Damaged,         // the archive's entries lie past its end
    CannotRead,      // a file the command needs cannot be read
    NoSpace,         // too little free space for a shrink
    AccessDenied,    // the archive's folder may not be changed
    InUse,           // the game (or another program) has the archive open
    Busy,            // another shrink or restore is running on the archive
    Cancelled,       // Ctrl-C, SIGTERM, SIGHUP
    Changed,         // a restore refused: the shrunk archive in use changed after the shrink (a mod)
    ShrunkOtherwise, // a shrink refused: the archive is shrunk already with another choice
    Failed,          // the work itself failed; the message says why (stays the last)
};
const char16_t* PellmorErrorCode(EPellmorError Error);
// The engine's verdict that the failure stands for (its row of the outcomes' table, engine/FOutcomes.h); Done for
// those that only the command line knows (usage, no-archive).
EVerdict PellmorErrorVerdict(EPellmorError Error);
// What the code means, in a few words for the manual page: "too little free space for a shrink".
const char16_t* PellmorErrorMeaning(EPellmorError Error);
// The exit code of a command that ended with Error; a cancel's from what cancelled it (Ctrl-C when none did).
int32_t PellmorExitCode(EPellmorError Error, CoreOS::EInterrupt Interrupt);

// Members that a command's JSON object holds besides its "error" (status writes the archive's state there).
typedef std::function<void(FJsonWriter&)> FJsonMembers;

// Every failure of a command ends here. Plain: "pellmor: " + Message, then Advice (lines for people, may be
// empty) on standard error. With bJson: one object on standard output, Members (may be empty) followed by
// "error": {code, message, advice}. Returns the error's exit code (a cancel's from the console's interrupt).
int32_t PrintFailure(FPellmorConsole& Console, bool bJson, EPellmorError Error, const FString& Message,
                     const FString& Advice, const FJsonMembers& Members = FJsonMembers());
// {"code": ..., "message": ..., "advice": ... or null}: the error member of PrintFailure, as the next value.
void WriteJsonError(FJsonWriter& Json, EPellmorError Error, const FString& Message, const FString& Advice);
// The error code of a failed dry run of an archive, and its reason for people (a damaged archive in the words the
// game's commands use).
EPellmorError DryRunError(const FShrinkResult& Result);
FString DryRunFailureText(const FString& Src, const FShrinkResult& Result);

// ---- The archives a command works on (PellmorArchives.cpp) ------------------------------------------------

// One archive of the game, and how the command names it to people.
struct FGameArchive
{
    FGameDir Game;
    FArchiveFiles Files;
    FString Shown;      // below the game folder as the disk spells it, with the system's separators
    FString Folder;     // its folder, absolute, as the disk spells it, without a final separator
    bool bMain = false; // the game's own Models\gta3.img
    bool bAll = false;  // one of those --all takes: the commands suggested for it take --all too
};

// The archive at Path (its NAME.img), below Game's folder.
FGameArchive DescribeArchive(const FGameDir& Game, const FString& Path);
// An archive file that belongs to no game folder (report and shrink-img): shown as the path given.
FGameArchive DescribeArchiveFile(const FString& Path);
// One file of the archive's set as people see it: "models/gta3_ORIG_BAK.img".
FString ShownFile(const FGameArchive& Archive, const FString& Path);

// The archives the command works on: gta3.img alone, those --archive names, or with --all gta3.img and the
// archives of data\gta.dat that exist (with a warning line for each odd line of gta.dat). False after saying
// that an archive named does not exist or lies outside the game folder (exit 2).
bool ListCommandArchives(const FPellmorOptions& Options, const FGameDir& Game, FPellmorConsole& Console,
                         TDynArray<FGameArchive>& Archives, int32_t& Exit);
// The game's folder (ResolveGameDir) and the archives the command works on there (ListCommandArchives): the start
// of every command on a game. False after saying why not (Exit set).
bool FindGameArchives(const FPellmorOptions& Options, FPellmorConsole& Console, FGameDir& Game,
                      TDynArray<FGameArchive>& Archives, int32_t& Exit);
// The file a dry run of the game's Archive reads: its original, which a shrunk game keeps as NAME_ORIG_BAK.img, so
// that an estimate never measures a shrink of the shrunk archive. Says so on standard error (unless bJson) when
// it is the kept one.
FString MeasuredArchive(const FGameArchive& Archive, bool bJson, FPellmorConsole& Console);
// The archives a dry run reads (report --compare, preview): the file SRC names, or with --archive or --all those
// of the game folder found as ListCommandArchives finds them. False after saying why not (Exit set).
bool ListSourceArchives(const FPellmorOptions& Options, FPellmorConsole& Console, TDynArray<FGameArchive>& Archives,
                        int32_t& Exit);

// ---- What is wrong, in plain words (PellmorAdvice.cpp) ------------------------------------------------------

// What the files of an archive look like to a command, before or after a transaction.
struct FArchiveLook
{
    FArchiveStatus Status;
    FShrinkNeeds Needs;               // asked only where it matters (see LookAt)
    int32_t TextureDictionaries = -1; // of the archive in use; -1 when not known
};
// InspectArchive, with CheckShrinkNeeds when bNeeds (it makes and removes a probe file in the folder).
FArchiveLook LookAt(const FGameArchive& Archive, bool bNeeds);

// A verdict of the engine's (engine/FTransactionVerdict.h) in the pellmor command's words.
struct FArchiveVerdict
{
    EVerdict Problem = EVerdict::Done;
    FString Sentence;   // what is wrong or what happened, and what it means for the player's files
    FString Advice;     // what to do about it; may be empty
    FString EngineText; // the engine's own message (shown with --verbose); empty when the engine was not asked

    // Done, or nothing to do: the files are in the state asked for.
    bool EndedAsAsked() const { return Problem == EVerdict::Done || Problem == EVerdict::NothingToDo; }
};

// A verdict in the words that status, shrink and restore all use.
FArchiveVerdict SayVerdict(const FGameArchive& Archive, const FVerdict& Verdict);
// Whether a shrink with Asked or a restore of the archive can go ahead (Done when it can), in those words.
FArchiveVerdict CheckBeforeShrink(const FGameArchive& Archive, const FArchiveLook& Look, const FShrinkSettings& Asked);
FArchiveVerdict CheckBeforeRestore(const FGameArchive& Archive, const FArchiveLook& Look);
// What to do about a problem, for this archive and this system; empty for Done, NothingToDo and Cancelled.
FString AdviceFor(EVerdict Problem, const FGameArchive& Archive);
// Path with the first of its names that does not exist replaced by the nearest name there ("/games/gmae/x" for
// "/games/game/x"): a folder, or a file when it is the path's last name. Empty when none is that near, or the path
// exists. Looks at the disk.
FString CorrectMistypedPath(const FString& Path);
// What a folder named on the command line that holds no game turned out to be ("x does not exist", "x is a
// file"), and the game folder nearby that was probably meant, or a mistyped name corrected.
FString DescribeNamedGameDir(const FGameDir& Game);
// One line about a kept shrunk archive that no longer matches: Why as InspectArchive or the shrink gave it.
FString DescribeStaleKept(const FGameArchive& Archive, const FString& Why, bool bRebuilt);
// How a clean-up of the archive ended, in the same words: what it removed (Sentence, one line a file) or what
// kept it from removing anything, and what to do.
FArchiveVerdict SayClean(const FGameArchive& Archive, const FCleanResult& Clean);
// The JSON code of a problem (Done and NothingToDo have none: Failed is given).
EPellmorError ErrorFor(EVerdict Problem);
// A verdict that is a failure, the way PrintFailure prints one (the engine's text follows on standard error with
// --verbose). Returns its exit code.
int32_t PrintVerdict(FPellmorConsole& Console, const FPellmorOptions& Options, const FArchiveVerdict& Verdict,
                     const FJsonMembers& Members = FJsonMembers());

// ---- Texts for people and for JSON ------------------------------------------------------------------------

// Rows of cells as lines of aligned text: each column as wide as its widest cell, two blanks between columns,
// Indent blanks before each row; the columns whose bit (1 << column) is set in RightAligned are aligned right.
FString FormatTable(const TDynArray<TDynArray<FString>>& Rows, uint32_t RightAligned, int32_t Indent);
TDynArray<FString> TableRow(std::initializer_list<FString> Cells);
// The columns a table may fill: the terminal's (one short of it, so that no line wraps), else 79.
int32_t TableWidth(FPellmorConsole& Console);
// The columns sentences are broken at: a terminal's as for tables; for a script's log none, lines stay whole.
int32_t ProseWidth(FPellmorConsole& Console);
// Text broken at blanks into lines of at most Width columns, each line after the first, and each line of Text
// after its first, starting with Indent blanks. Ends with a line break. Never broken: a word (a file name) longer
// than that, which overflows; a quoted path; a command line within a sentence (from "pellmor" to the first word of
// prose after it); a line of Text after its first that starts with a blank (a command or an example on a line of
// its own). No line ends with an opening bracket.
FString WrapText(const FString& Text, int32_t Width, int32_t Indent);
// Lines for people, broken as WrapText does at ProseWidth, each ending with a line break (one is added when Text
// has none at its end): on standard output and on standard error. An empty Text writes nothing.
void SayOut(FPellmorConsole& Console, const FString& Text);
void SayErr(FPellmorConsole& Console, const FString& Text);
// The widest line of Text.
int32_t WidestLine(const FString& Text);
// The known name that Typed is a slip of the keys away from (one letter for short names, two for longer ones,
// regardless of ASCII case); empty when none is that close.
FString NearestName(const FString& Typed, const TDynArray<FString>& Known);
// The path written so that it can be pasted back into this system's shell: on Windows in double quotes when it
// holds blanks or the shell's special characters (without a trailing separator, which would escape the closing
// quote); elsewhere in single quotes when it holds anything but letters, digits and _@%+=:,./-.
FString ShellQuote(const FString& Path);
// "pellmor " + Command, then the folder quoted for the shell unless it was found rather than named.
FString CommandFor(const char16_t* Command, const FGameDir& Game);
// The same for one archive: "--all" follows for one of those --all took, else "--archive NAME" for any but the
// game's own gta3.img (NAME bare for an archive in Models).
FString CommandFor(const char16_t* Command, const FGameArchive& Archive);
// Whether this is Windows, whose advice differs (administrator rights, Program Files) from POSIX's (owners,
// permissions).
bool IsWindowsSystem();

// Where the game folder came from, for people ("the Wine prefix /home/me/.wine"); empty for an argument.
FString DescribeGameDirSource(const FGameDir& Game);
// {"path": ..., "from": "argument"|"registry"|"wine-prefix"|"steam"|"default", "detail": ... or null}
void WriteGameDir(FJsonWriter& Json, const FGameDir& Game);
// The members that say which archive an object is about: "gameDir", "archive" (as shown) and "path".
void WriteArchiveNames(FJsonWriter& Json, const FGameArchive& Archive);
// How the work on one archive ended: "result" ("done", "nothing-to-do") when it ended as asked, else "error".
void WriteArchiveEnd(FJsonWriter& Json, const FArchiveVerdict& Verdict);

// Where the skip rules come from, for people ("/x/rules.ini (12 rules)", "the built-in rules (218) ...").
FString DescribeSkipRules(const FSkipRulesCheck& Check);
// {"source": "file"|"builtin", "path": ... or null, "rules": N, "warnings": [{"line", "text", "why"}]}
void WriteSkipRules(FJsonWriter& Json, const FSkipRulesCheck& Check);
// One line on standard error for each line that gives no rule, and one when the section turns every rule off.
void PrintSkipRulesWarnings(FPellmorConsole& Console, const FSkipRulesCheck& Check);

// ---- Files ------------------------------------------------------------------------------------------------

// Size of a file that can be opened for reading, else -1.
int64_t FileSizeOf(const FString& Path);
// The path as the disk spells it (CoreOS::PathOnDisk).
FString PathAsOnDisk(const FString& Path);
// The options that ask for a shrink with Settings, each after a blank: "" for the standard shrink, " --smooth",
// " --max-side 512", " --max-side 512 --no-smooth".
FString ShrinkOptionsFor(const FShrinkSettings& Settings);

// {"targetBytes", "bytes", "met"}.
void WriteFitAccount(FJsonWriter& Json, const FFitAccount& Fit);
// "none", "current" or "stale".
const char16_t* KeptName(EKeptArchive Kept);
