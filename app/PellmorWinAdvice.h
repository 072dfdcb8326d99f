// What the dialog tells the player besides the engine's own texts: plain advice under a failed shrink or restore,
// the status texts for game files that another transaction holds, that cannot be shrunk as they are, or that
// keep a stale shrunk archive, the line on the texture size chosen, and the questions and answers of Exit, the
// preview and the clean-up. Chosen from the engine's typed results, never by reading its messages.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateString.h"
#include "engine/FGameDir.h"
#include "engine/FGameFiles.h"
#include "engine/FShrinkEngineClient.h"
#include "engine/FOutcomes.h"
#include "engine/FTransactionVerdict.h"

// The text of a failure's message box: Message, the engine's own text, first and unchanged; then, after a blank
// line, what the failure means for the player's files and what to do, as the engine's Verdict gives it. A
// restore's failure says whether the original is still kept. Files is the set the transaction worked on.
FString DescribeFailure(const FString& Message, const FVerdict& Verdict, const FArchiveFiles& Files);
// What an automatic shrink says of the archive Name that is shrunk already with another choice (a
// ShrunkOtherwise Verdict): how it was made, what was asked, and that a restore comes first.
FString DescribeShrunkOtherwise(const FString& Name, const FVerdict& Verdict);
// The system's error number with the system's text for it: "system error 32: The process cannot access ...".
FString DescribeSystemError(uint32_t Error);
// The line under a failure, the About box's text aside, that says where the log of the run is; empty without one.
FString DescribeLogPlace(const FString& LogPath);

// The message for a flag on the command line that PellmorWin does not know (Flag as given, "/x"), naming those
// it knows.
FString DescribeUnknownFlag(const FString& Flag);

// The failure of an automatic run that waited Minutes for another shrink or restore to end.
FString DescribeWaitGivenUp(int32_t Minutes);

// The status text while another shrink or restore (another PellmorWin.exe, or pellmor) holds the game's files.
FString GetBusyElsewhereStatus();

// The status text in place of the standard files' one when the archive in use cannot be shrunk as it is (Seen
// says it is damaged, or no IMG version-2 archive); empty for any other state.
FString GetUnshrinkableStatus(const FArchiveStatus& Seen, const FString& ArchiveName);

// The line that the standard files' status adds when Seen found the kept shrunk archive stale; empty otherwise.
FString GetStaleKeptLine(const FArchiveStatus& Seen);

// The status's line on where the folder in the box came from: "Found through Steam.", "The folder this program is
// in." ...; for a folder picked with Browse, only when the game's folder was found from it. bAboveProgram: the
// folder above the program's own.
FString GetGameDirSourceLine(const FGameDir& Origin, bool bAboveProgram);

// What the status adds when the folder in the box holds no game: what the folder is, and the game folder nearby
// or where the game usually is. Given is what InterpretGameDirArgument made of the folder; empty when it names
// the game's files after all.
FString DescribeNoGameHere(const FGameDir& Given);

// An archive's line in the status: its size ("gta3.img: 908 MB"), or once shrunk the sizes before and after
// ("gta3.img: 908 MB -> 476 MB, 432 MB less"); with bState its state comes first ("gta_int.img: original,
// 12.1 MB"), as when several archives are listed. Empty for an archive in neither state without bState.
FString DescribeArchiveLine(const FArchiveOutcome& Archive, bool bState);
// "gta3.img: 908.4 MB -> 476.2 MB, 432.2 MB less".
FString DescribeShrunkSizes(const FString& Name, int64_t Before, int64_t After);
// What a failed shrink's box adds for the archives that the shrink did make smaller before it stopped; empty when
// there are none.
FString DescribeShrunkBefore(const TDynArray<FArchiveOutcome>& Archives);

// The status's lines on the settings (each without its line break; empty when it has nothing to say):
// "Shrunk at most 512 pixels, smooth." for the shrunk archive in use that Seen found, after its record;
FString DescribeShrunkSettings(const FArchiveStatus& Seen);
// that the archive Name changed after the shrink, and a restore would lose the change;
FString DescribeShrunkChanged(const FString& Name);
// what a shrink with the choice makes of the archives that an estimate estimated: "With this choice gta3.img
// becomes about 476.2 MB (from 908.4 MB).", or of several together;
FString DescribeEstimate(const TDynArray<FArchiveOutcome>& Estimate);
// the kept shrunk archive that Seen found, the next shrink would take, and Choice would not make.
FString DescribeKeptSettings(const FArchiveStatus& Seen, const FShrinkSettings& Choice);
// that a shrink with the choice shown asks for a restore first (the shrunk archive was made otherwise).
FString DescribeRestoreFirst();
// The question before a restore of the archives Names ("gta3.img, mod.img") that changed after their shrink.
FString DescribeDiscardQuestion(const FString& Names);

// The line under the texture size and Smooth: what the choice Settings does to the game, in plain words.
FString DescribeChoice(const FShrinkSettings& Settings);
// The status's line in place of the estimate when the megabytes typed for a fit (Megabytes: 0 for none, -1 for
// what is no number) are not from 1 to the size today (TodayBytes, of several archives together with bSeveral)
// in whole megabytes: what to type instead. Empty when they are.
FString DescribeFitHint(int64_t Megabytes, int64_t TodayBytes, bool bSeveral);
// What a shrink's box says when a fit (Fit) did not come down to the size asked: how far it came and why, and
// that the game keeps what was shrunk all the same.
FString DescribeUnmetFit(const FFitAccount& Fit);

// The question before Exit stops a running shrink (bShrink) or ends the program after a running restore.
FString DescribeStopQuestion(bool bShrink);

// The status's line on the preview page Page: where it is, and whether it went to the browser (bOpened).
FString DescribePreviewLine(const FString& Page, bool bOpened);
// The message when the system opened no program for the page Page (Error, the system's error number).
FString DescribePreviewNotOpened(const FString& Page, uint32_t Error);

// What the shrinks keep beside the archives that status saw (the shrunk copy a restore keeps, the leftover of a
// build), which a clean-up removes: whether there is any, and the question before it, naming each file with its
// size and that the originals stay.
bool HasKeptFiles(const TDynArray<FArchiveOutcome>& Archives);
FString DescribeCleanQuestion(const TDynArray<FArchiveOutcome>& Archives);
// The archives whose kept shrunk copy holds a change made after the shrink (IsKeptArchiveChanged), "gta3.img,
// mod.img"; and the question whether to remove those copies too.
FString GetKeptChangedNames(const TDynArray<FArchiveOutcome>& Archives);
FString DescribeKeptChangeQuestion(const FString& Names);
// What a clean-up of the archives did: each file removed, what it kept and why, what failed with the system's
// error, and the space freed.
FString DescribeCleanResult(const TDynArray<FArchiveOutcome>& Archives);

// How a shrink or a restore ended on each archive that ran, for the log: its sizes, the engine's text, the
// system's error.
FString DescribeOutcomeForLog(const TDynArray<FArchiveOutcome>& Archives);

// The progress window's line under the bar: the archive, MB done of MB and the time left
// ("gta_int.img (2 of 3)\r\n512.0 MB of 930.2 MB, 0:42 left"); empty before the first archive's turn.
FString DescribeProgress(const FShrinkProgressInfo& Info);
