// The transaction over the game's loose dictionaries: many files shrunk or restored as one, with a journal so that
// one cut off at any moment (a kill, a full disk, a power cut) is finished by the next run.
//
// The originals are kept in .pellmor\originals below the game folder, each under its path below the game folder.
// That folder is on the same disk as every loose file (a rename moves an original, nothing is copied), the game
// opens only the files its data names and the mod loader looks only in modloader, so neither ever loads what is
// kept there; and a mod deleted by the player leaves its originals there, to be named and removed only when
// asked. The journal, .pellmor\loose.journal, names each file shrunk: its path, its size and content digest before
// and after. It is written, whole and flushed, before any file is moved, and again once all have moved.
//
// Each transaction holds the game's transaction lock (that of Models\gta3.img), so that it never runs beside
// another. A file's state follows from what is on the disk: the new file beside it (NAME.pellmor-new) while a shrink
// moves files; the kept original; the file in use, and whether it holds the bytes the shrink wrote.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"
#include "engine/FModFolder.h"
#include "shrinker/FImgShrinker.h"

// One file of the journal.
struct FLooseEntry
{
    FString Relative; // below the game folder, with backslashes
    int64_t BytesBefore = 0;
    uint64_t DigestBefore = 0; // appHash64 of the whole file
    int64_t BytesAfter = 0;
    uint64_t DigestAfter = 0;
    bool bPending = false; // a shrink was moving it: its new file may still stand beside it
};

struct FLooseJournal
{
    TDynArray<FLooseEntry> Entries;
};

// Where a journaled file stands.
enum class ELooseState : int32_t
{
    Shrunk,     // the shrunk file in use, its original kept
    Changed,    // the file in use is no longer what the shrink wrote (a mod updated): a restore leaves it
    Removed,    // the file is gone (its mod deleted): only its kept original is left
    Unfinished, // a shrink was cut off while it moved this file; the next run finishes it
    Restored,   // the original is back in place (a restore cut off before it rewrote the journal)
    Lost,       // the kept original is missing and the file in use is not it: the file in use is all there is
};

// The journal's folder below the game folder Dir, ending with a separator.
FString GetLooseStore(const FString& Dir);
// The journal of the game at Dir; false when there is none (nothing shrunk) or it cannot be read (Why says so).
bool ReadLooseJournal(const FString& Dir, FLooseJournal& Journal, FString& Why);
// Where Entry stands now.
ELooseState GetLooseState(const FString& Dir, const FLooseEntry& Entry);

// What a transaction over loose files came to.
struct FLooseOutcome
{
    bool bOk = true; // false: a file failed or the journal could not be written (Failed, Reason)
    bool bBusy = false; // another transaction holds the game
    int32_t Done = 0;   // files shrunk, or put back
    int32_t Same = 0;   // files a shrink leaves as they are (nothing to shrink, or not a sound dictionary)
    int32_t Finished = 0; // files a transaction cut off before had left, finished first
    TDynArray<FString> Changed; // left by a restore: changed since the shrink (paths below the game folder)
    TDynArray<FString> Removed; // their files gone; the originals stay kept
    TDynArray<FString> Failed;  // could not be shrunk or put back, each as it was
    FString Reason;             // the first failure, for people
};

// Finishes what a shrink or restore cut off left in the journal of the game at Dir: new files are moved in where
// their originals are already kept, restored files leave the journal. Outcome.Finished counts the files finished.
FLooseOutcome FinishLooseJournal(const FString& Dir);

// Shrinks the loose dictionaries of Files drawn in the world (below the game folder Dir) with Options, each as
// ShrinkTxdFile would: the new files are made beside the old, the journal written, then each original moved into
// the store and its new file into its place. Files already shrunk are left as they are. A file that cannot be
// shrunk stays as it is (Failed); the others go on.
FLooseOutcome ShrinkLooseFiles(const FString& Dir, const TDynArray<FLooseDictionary>& Files,
                               const FShrinkOptions& Options);

// Puts every original of the journal back in place of its shrunk file, each in one step. A file changed since the
// shrink is left (Changed) unless bDiscardChanges; one whose file is gone keeps its original in the store
// (Removed). The journal keeps those two; it is deleted when none is left.
FLooseOutcome RestoreLooseFiles(const FString& Dir, bool bDiscardChanges);

// Deletes the kept originals of files that are gone (their mods deleted) and their journal lines.
FLooseOutcome ForgetRemovedLooseFiles(const FString& Dir);
