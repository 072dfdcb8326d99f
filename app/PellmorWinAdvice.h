// What the dialog tells the player besides the engine's own texts: plain advice under a failed shrink or restore,
// and the status texts for game files that another transaction holds, that cannot be shrunk as they are, or that
// keep a stale shrunk archive. Chosen from the engine's typed results, never by reading its messages.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateString.h"
#include "engine/FGameFiles.h"
#include "engine/FTransactionVerdict.h"

// The text of a failure's message box: Message, the engine's own text, first and unchanged; then, after a blank
// line, what the failure means for the player's files and what to do, as the engine's Verdict gives it. A
// restore's failure says whose it is (the box's caption, "Perform Shrink", is the same for both). Files is the
// set the transaction worked on.
FString DescribeFailure(const FString& Message, const FVerdict& Verdict, const FArchiveFiles& Files);

// The failure of an automatic run that waited Minutes for another shrink or restore to end.
FString DescribeWaitGivenUp(int32_t Minutes);

// The status text while another shrink or restore (another PellmorWin.exe, or pellmor) holds the game's files.
FString GetBusyElsewhereStatus();

// The status text in place of the standard files' one when the archive in use cannot be shrunk as it is (Seen
// says it is damaged, or no IMG version-2 archive); empty for any other state.
FString GetUnshrinkableStatus(const FArchiveStatus& Seen, const FString& ArchiveName);

// The line that the standard files' status adds when Seen found the kept shrunk archive stale; empty otherwise.
FString GetStaleKeptLine(const FArchiveStatus& Seen);
