// Every way a shrink, a restore or a clean-up can be refused or end, in one table: the code that scripts read,
// the command's exit code, a few words for the manual page, and what the command line and the dialog tell the
// player. The verdict itself is the engine's (FTransactionVerdict.h); this is only what it is called.
#pragma once

#include <cstdint>
#include <functional>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"
#include "engine/FTransactionVerdict.h"

// How a command ends for the program that ran it.
enum class EOutcomeExit : int32_t
{
    Done = 0,
    Failed = 1,       // the work failed
    Usage = 2,        // the command must be told something else
    Cancelled = 130,  // Ctrl-C; the files are as they were
};

// One archive as a front end names it, for the words of an outcome. The dialog fills the first five; the command
// line all of them.
struct FOutcomeNames
{
    FString Archive;  // as the front end shows it: "models/gta3.img" on the command line, "gta3.img" in the dialog
    FString File;     // its file name: "gta3.img"
    FString Folder;   // its folder as shown (quoted for the shell on the command line)
    FString Original; // the kept original as shown
    bool bMain = false; // the game's own gta3.img
    bool bWindows = false; // the command line runs on Windows (rights and paths are told otherwise)
    FString GameDir;       // the game's folder, quoted for the shell
    FString NamedGameDir;  // what the folder named turned out to be, when the game's own files are not there
    FString DiskPath;      // the archive's path as the disk spells it, quoted for the shell
    FString AskedOptions;  // the options that ask for the verdict's Asked shrink: "", " --max-side 512"
    // The command line that runs Command on this archive ("pellmor restore --archive gta_int.img"), or with bGame
    // on the whole game ("pellmor status --all").
    std::function<FString(const FString& Command, bool bGame)> Command;
};

typedef FString (*FOutcomeWords)(const FOutcomeNames& Names, const FVerdict& Verdict);

struct FOutcome
{
    EVerdict Kind;
    const char16_t* Code;    // JSON's error.code; null for the two outcomes that are no failure
    EOutcomeExit Exit;
    const char16_t* Meaning; // a few words for the manual page: "too little free space for a shrink"
    FOutcomeWords CommandSentence; // what is wrong or what happened, and what it means for the player's files
    FOutcomeWords CommandAdvice;   // what to do about it; null: nothing to add
    FOutcomeWords DialogAdvice;    // the dialog's paragraph under the engine's message; null: nothing to add
};

// The row of Kind.
const FOutcome& GetOutcome(EVerdict Kind);

// The words of Verdict's outcome that Words names (&FOutcome::CommandAdvice); empty where its row has none.
FString SayOutcome(FOutcomeWords FOutcome::*Words, const FOutcomeNames& Names, const FVerdict& Verdict);

// The sentence both front ends use for a damaged archive: "gta3.img is damaged: 12 entries lie past the end of
// the file, which is 3.2 MB short." Archive is the archive's name as the front end shows it.
FString DescribeDamage(const FString& Archive, const FImgDamage& Damage);
// The dialog's sentences for an archive that cannot be shrunk as it is: "gta3.img is not an IMG version-2
// archive, as the game's own is." and "Copy gta3.img again from the game's install or a backup."
FString DescribeNotAnArchiveForDialog(const FString& File);
FString DescribeCopyAgainForDialog(const FString& File);

// The fit mode's outcome: the size asked of the archives together and what they came to.
struct FFitAccount
{
    bool bAsked = false;     // a fit was asked and something was made to fit
    int64_t TargetBytes = 0; // the size asked, in bytes
    int64_t Bytes = 0;       // what the archives came to

    bool IsMet() const { return Bytes <= TargetBytes; }
};
// What the fit that Settings asks made of the archives whose shrinks ended with Shrinks: those that were done count,
// their sizes before and after added up. Not asked in the other modes, nor when none was done.
FFitAccount AccountFit(const TDynArray<FTransactionResult>& Shrinks, const FShrinkSettings& Settings);
// The sentence both front ends end a fit with: "It fits: 598 MB, of the 600 MB asked.", or that it does not and
// why, in plain words.
FString DescribeFitAccount(const FFitAccount& Fit);
