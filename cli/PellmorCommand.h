// The pellmor command's work, apart from its process.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"
#include "cli/PellmorConsole.h"

// Exit codes of the command. Each JSON error code has one of them (PellmorExitCode); a cancel's says what
// cancelled it, as a shell's 128 + the signal's number does.
enum EPellmorExit : int32_t
{
    PELLMOR_Done = 0,
    PELLMOR_Failed = 1,       // the work failed; the reason went to standard error
    PELLMOR_Usage = 2,        // the command must be told something else: wrong usage, no game, no such archive
    PELLMOR_HungUp = 129,     // the terminal closed (SIGHUP; a closed console window); the files are as they were
    PELLMOR_Cancelled = 130,  // Ctrl-C (SIGINT); the files are as they were
    PELLMOR_Terminated = 143, // SIGTERM; the files are as they were
};

// Runs the command that Args name (the program's arguments after its own name):
//
//   status [GAME_DIR]            the state of the game files and what to do next
//   shrink [GAME_DIR]            the shrink transaction of the dialog's Shrink button
//   restore [GAME_DIR]           the restore transaction of the dialog's Restore button (also: unshrink)
//   report SRC                   what a shrink would do to the archive SRC, writing nothing
//   shrink-img SRC DST           shrinks one archive into another, no transaction
//   help [COMMAND]               the help of all commands, or of one
//
// with the options of GetPellmorHelp. Writes to Console and returns the exit code; with --json every outcome,
// failures too, is one JSON object on standard output. Relative paths are taken from WorkingDir (absolute), the
// folder the user started the program in, which the program must ask for before the Core's file manager makes
// the program's own folder the current one; empty: the current directory at the call. Blocks until the command
// is done; the Core must be started, and no engine client may exist.
int32_t RunPellmorCommand(const TDynArray<FString>& Args, FPellmorConsole& Console,
                          const FString& WorkingDir = FString());

// The help of all commands (Command empty) or of one, lines below 80 columns, ending with a line break. Empty
// for a command that does not exist.
FString GetPellmorHelp(const FString& Command);
// The names of the commands, help left out.
TDynArray<FString> GetPellmorCommands();

// ---- The command line described: for the manual page and shell completion ----------------------------------

// What an option's value or a command's operand is.
enum class EPellmorValue : int32_t
{
    None,    // the option takes no value
    File,    // a file's path
    Folder,  // a folder's path
    Path,    // a file's or a folder's path (an archive, or the game folder that holds it)
    Archive, // an archive of the game folder on the command line: a name in Models or a path below the game folder
    Number,  // a number; the option's Choices are the usual ones, when there are few
    Command, // the name of a command
};

struct FPellmorOptionDoc
{
    FString Name;      // "--skip-rules"
    FString ShortName; // "-h", or empty
    FString ValueName; // "FILE"; empty when the option takes no value
    EPellmorValue Value = EPellmorValue::None;
    FString Choices; // the usual values, offered first, separated by blanks ("1024 512 256 128"); may be empty
    FString Help;
    TDynArray<FString> Commands; // the commands that take it; empty when every command does
};

// One exit code and what it means, with the JSON error codes that end with it.
struct FPellmorExitDoc
{
    int32_t Exit = 0;
    FString Meaning;          // "failed"
    TDynArray<FString> Codes; // "no-space", ...; empty for 0
};

struct FPellmorCommandDoc
{
    FString Name;
    FString Alias; // another name, or empty
    TDynArray<FString> OperandNames;
    TDynArray<EPellmorValue> Operands; // what each operand is
    int32_t MinOperands = 0;           // those after are optional
    FString Summary;                   // one line, as in the list of commands
    FString Help;                      // what `pellmor help COMMAND` says the command does
    bool bGameDir = false;             // the first operand is a game folder, looked for when it is left out
    TDynArray<FString> Options;        // the options it takes besides those every command takes
};

// Every command, help last.
TDynArray<FPellmorCommandDoc> GetPellmorCommandDocs();
// Every option of the commands, then those every command takes (--verbose, --help, --version).
TDynArray<FPellmorOptionDoc> GetPellmorOptionDocs();
// Every exit code, in increasing order (PellmorOutput.cpp).
TDynArray<FPellmorExitDoc> GetPellmorExitDocs();
// What pellmor does, in one sentence, and what GAME_DIR is and where pellmor looks when it is left out: the
// paragraphs of the help.
FString GetPellmorPurpose();
FString GetPellmorGameDirHelp();

// Roff for the sections of the manual page that the command's own tables give: SYNOPSIS, DESCRIPTION, COMMANDS,
// OPTIONS, EXIT STATUS and JSON ERRORS (PellmorManual.cpp). The page's title, name line and the sections written by
// hand are the packaging's.
FString GetPellmorManual();
// A bash script that completes pellmor's commands, options and their values (PellmorCompletion.cpp).
FString GetPellmorBashCompletion();
// The two above, for the packaging: `pellmor --man-page` and `pellmor --completion bash` print them. True when
// Args asked for one of them (Exit set), false for any other command line. They are left out of the help.
bool RunPellmorDocs(const TDynArray<FString>& Args, FPellmorConsole& Console, int32_t& Exit);
