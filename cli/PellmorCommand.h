// The pellmor command's work, apart from its process.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"

// Runs the command that Args name (the program's arguments after its own name):
//
//   shrink-img SRC DST    shrinks the IMG archive SRC into DST
//
// Returns the exit code: 0 when the command did its work, 1 when it failed (ErrorLine says why, in one line),
// 2 when the arguments are wrong (ErrorLine is the usage line). Relative paths are taken from the current
// directory at the call. Blocks until the command is done; the Core must be started.
int32_t RunPellmorCommand(const TDynArray<FString>& Args, FString& ErrorLine);
