// What the dialog tells the player besides the engine's own texts: plain advice under a failed shrink or restore,
// and the status texts for game files that another transaction holds, that cannot be shrunk as they are, or that
// keep a stale shrunk archive. Chosen from the engine's typed results, never by reading its messages.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateString.h"
#include "engine/FGameFiles.h"
#include "engine/FShrinkEngineServer.h"

// The text of a failure's message box: Message, the engine's own text, first and unchanged; then, after a blank
// line, what the failure means for the player's files and what to do, chosen from Outcome. bRestore says the
// failure is a restore's (the box's caption, "Perform Shrink", is the same for both). Files is the set the
// transaction worked on. For a failed delete, rename or build it makes and removes a probe file in the archive's
// folder to tell a folder the user may not write to from an archive that is in use: call it on the UI thread,
// where it blocks on the disk for that moment.
FString DescribeFailure(const FString& Message, const FTransactionResult& Outcome, bool bRestore,
                        const FArchiveFiles& Files);

// The failure of an automatic run that waited Minutes for another shrink or restore to end.
FString DescribeWaitGivenUp(int32_t Minutes);

// The status text while another shrink or restore (another PellmorWin.exe, or pellmor) holds the game's files.
FString GetBusyElsewhereStatus();

// The status text in place of the standard files' one when the archive in use cannot be shrunk as it is (Seen
// says it is damaged, or no IMG version-2 archive); empty for any other state.
FString GetUnshrinkableStatus(const FArchiveStatus& Seen, const FString& ArchiveName);

// The line that the standard files' status adds when Seen found the kept shrunk archive stale; empty otherwise.
FString GetStaleKeptLine(const FArchiveStatus& Seen);
