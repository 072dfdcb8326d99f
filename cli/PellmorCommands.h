// What the pellmor command's parts share: the parsed command line and small file and text helpers.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"
#include "cli/PellmorCommand.h"
#include "cli/PellmorConsole.h"

struct FPellmorOptions
{
    FString Command;
    TDynArray<FString> Operands; // absolute paths
    FString SkipRulesFile;       // absolute, or empty for the usual rules
    bool bJson = false;
    bool bReport = false;
    int32_t Jobs = 0; // --jobs: texture dictionaries processed at once; 0 as many as the machine runs
};

// status, shrink and restore over the engine client (PellmorGame.cpp).
int32_t RunStatus(const FPellmorOptions& Options, FPellmorConsole& Console);
int32_t RunShrink(const FPellmorOptions& Options, FPellmorConsole& Console);
int32_t RunRestore(const FPellmorOptions& Options, FPellmorConsole& Console);

// The path as given when it is absolute, else joined to the current directory.
FString AbsolutePath(const FString& Path);
// Size of a file that can be opened for reading, else -1.
int64_t FileSizeOf(const FString& Path);
// The entry count in an IMG version-2 archive's header, or 0 when the file is none.
int32_t ReadImgEntryCount(const FString& Path);
// Text as a JSON string, quotes included.
FString JsonString(const FString& Text);
// "pellmor: " + Text + line break, to standard error.
void PrintError(FPellmorConsole& Console, const FString& Text);
