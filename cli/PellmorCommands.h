// What the pellmor command's parts share: the parsed command line, the failures and how they are printed, and
// small file and text helpers.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"
#include "cli/PellmorCommand.h"
#include "cli/PellmorConsole.h"
#include "engine/FGameDir.h"
#include "shrinker/FSkipRulesCheck.h"

struct FPellmorOptions
{
    FString Command;             // the command's own name (an alias is taken to it)
    TDynArray<FString> Operands; // absolute paths; SRC is the archive itself, also when a game folder was named
    FString SkipRulesFile;       // absolute, or empty for the usual rules
    FSkipRulesCheck SkipRules;   // the rules a shrink will use, for the commands that shrink
    FString WinePrefix;          // absolute, or empty: where to look for a game no one named
    bool bJson = false;
    bool bReport = false;
};

// status, shrink and restore over the engine client (PellmorGame.cpp).
int32_t RunStatus(const FPellmorOptions& Options, FPellmorConsole& Console);
int32_t RunShrink(const FPellmorOptions& Options, FPellmorConsole& Console);
int32_t RunRestore(const FPellmorOptions& Options, FPellmorConsole& Console);
// report and shrink-img, on one archive (PellmorCommand.cpp).
int32_t RunReport(const FPellmorOptions& Options, FPellmorConsole& Console);
int32_t RunShrinkImg(const FPellmorOptions& Options, FPellmorConsole& Console);

// ---- Failures ---------------------------------------------------------------------------------------------

// Why a command failed, for scripts: JSON's error.code (PellmorErrorCode names it).
enum class EPellmorError : int32_t
{
    Usage,        // wrong arguments or options
    NoGame,       // no game folder found, or no game files in it
    NotAnArchive, // the file is no IMG archive of the kind the game uses
    CannotRead,   // a file the command needs cannot be read
    Cancelled,    // Ctrl-C
    Failed,       // the work itself failed; the message says why
};
const char16_t* PellmorErrorCode(EPellmorError Error);

// Every failure of a command ends here. Plain: "pellmor: " + Message, then Advice (lines for people, may be
// empty) on standard error. With bJson: one object on standard output, JsonMembers (members already written as
// "  \"key\": value,\n" lines, may be empty) followed by "error": {code, message, advice}. Returns Exit.
int32_t PrintFailure(FPellmorConsole& Console, bool bJson, EPellmorError Error, const FString& Message,
                     const FString& Advice, int32_t Exit, const FString& JsonMembers = FString());

// ---- Texts for people and for JSON ------------------------------------------------------------------------

// Text as a JSON string, quotes included.
FString JsonString(const FString& Text);
// The path written so that it can be pasted back into this system's shell: on Windows in double quotes when it
// holds blanks or the shell's special characters (without a trailing separator, which would escape the closing
// quote); elsewhere in single quotes when it holds anything but letters, digits and _@%+=:,./-.
FString ShellQuote(const FString& Path);
// "pellmor " + Command, then the folder quoted for the shell unless it was found rather than named.
FString CommandFor(const char16_t* Command, const FGameDir& Game);

// Where the game folder came from, for people ("the Wine prefix /home/me/.wine"); empty for an argument.
FString DescribeGameDirSource(const FGameDir& Game);
// {"path": ..., "from": "argument"|"registry"|"wine-prefix"|"steam"|"default", "detail": ... or null}
FString GameDirJson(const FGameDir& Game);

// Where the skip rules come from, for people ("/x/rules.ini (12 rules)", "the built-in rules (218) ...").
FString DescribeSkipRules(const FSkipRulesCheck& Check);
// {"source": "file"|"builtin", "path": ... or null, "rules": N, "warnings": [{"line", "text", "why"}]}
FString SkipRulesJson(const FSkipRulesCheck& Check);
// One line on standard error for each line that gives no rule, and one when the section turns every rule off.
void PrintSkipRulesWarnings(FPellmorConsole& Console, const FSkipRulesCheck& Check);

// ---- Files ------------------------------------------------------------------------------------------------

// The path as given when it is absolute, else joined to the current directory; written with the system's
// separators.
FString AbsolutePath(const FString& Path);
// Size of a file that can be opened for reading, else -1.
int64_t FileSizeOf(const FString& Path);
// The entry count in an IMG version-2 archive's header, or 0 when the file is none.
int32_t ReadImgEntryCount(const FString& Path);
// Whether the file starts as an IMG version-2 archive does.
bool IsImgArchive(const FString& Path);
