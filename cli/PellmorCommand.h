// The pellmor command's work, apart from its process.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"
#include "cli/PellmorConsole.h"

// Exit codes of the command.
enum EPellmorExit : int32_t
{
    PELLMOR_Done = 0,
    PELLMOR_Failed = 1,     // the work failed; the reason went to standard error
    PELLMOR_Usage = 2,      // wrong arguments, or no game folder to work on
    PELLMOR_Cancelled = 130 // Ctrl-C; the files are as they were
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
// failures too, is one JSON object on standard output. Relative paths are taken from the current directory at
// the call. Blocks until the command is done; the Core must be started, and no engine client may exist.
int32_t RunPellmorCommand(const TDynArray<FString>& Args, FPellmorConsole& Console);

// The help of all commands (Command empty) or of one, lines below 80 columns, ending with a line break. Empty
// for a command that does not exist.
FString GetPellmorHelp(const FString& Command);
// The names of the commands, help left out.
TDynArray<FString> GetPellmorCommands();
