// The dialog's own log: one file, PellmorWin.log, that keeps what each run found, did and saw fail (with the
// system's error), for a player to attach to a bug report. It is no trace of the Core's (whose log device stays
// off): the dialog writes it, line by line, in UTF-8 with CR LF, so that Notepad shows it.
#pragma once

#include <cstdint>
#include <string>

#include "Core/Inc/CoreTemplateString.h"

// The log's file name, beside PellmorWin.ini.
extern const char16_t* const GDialogLogFileName;

class FDialogLog
{
public:
    // The file keeps to about this size: a new run drops the oldest runs first, and one run stops writing at half.
    static constexpr int64_t CapBytes = 256 * 1024;

    // Where the log goes: PellmorWin.log in ProgramDir (beside PellmorWin.ini) when a file can be written there,
    // else in TempDir (a game in Program Files under UAC); empty when neither takes it. Makes the file (empty)
    // when it is missing.
    static FString ChoosePath(const FString& ProgramDir, const FString& TempDir);
    // The same for the running program: its own folder, else the user's temporary folder.
    static FString ChoosePath();

    // Starts a run in the file at InPath (empty: the log is off): drops the oldest runs while the file is past
    // CapBytes, then writes the run's first line, "==== PellmorWin ... ====" with the local time and What.
    // Blocks on the disk; the user-interface thread.
    void BeginRun(const FString& InPath, const FString& What);
    // Appends Text (split at CR LF, empty lines left out), each line after the local time. Once the run has written
    // half of CapBytes it says so once and writes no more. A file that cannot be written is left as it is.
    void Write(const FString& Text);
    // Where the log is; empty while it is off.
    const FString& GetPath() const { return Path; }

private:
    bool Append(const std::string& Bytes);

    FString Path;
    int64_t RunBytes = 0;
    bool bFull = false;
};
