// The one verdict on a shrink or a restore: what stands in its way before it starts, or how it ended. The engine
// reaches it from the files and the transaction's typed result; the front ends only put it into words.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateString.h"
#include "engine/FGameFiles.h"
#include "shrinker/FImgShrinker.h"

// The step at which a transaction stopped, as the engine ran it.
enum class ETransactionFailure : int32_t
{
    None,
    NotReady,     // a prerequisite test failed; StateBefore says what state the files were in
    Busy,         // another shrink or restore holds the folder's lock; nothing was touched
    DeleteFailed, // a leftover could not be deleted (OsError)
    NoSpace,      // too little free space to build (FreeBytes, NeededBytes)
    BuildFailed,  // the shrinker did not finish the archive (BuildFailure, BuildReason, Damage)
    Cancelled,    // the build was cancelled; the files are as they were
    RenameFailed, // a rename failed (OsError: the file is in use, access is denied)
    Changed,      // a restore would throw away a change made to the shrunk archive after the shrink
};

enum class EVerdict : int32_t
{
    Done,         // done; before a transaction: nothing stands in its way
    NothingToDo,  // the files are in the state asked for already, or the archive holds nothing to shrink
    // A shrink asked of an archive that is shrunk already with another choice (Made): it is left as it is, and a
    // restore must come first.
    ShrunkOtherwise,
    NoFiles,      // neither the archive nor its kept original is there
    Interrupted,  // the archive is missing, but its original is kept: a restore comes first
    Busy,         // another shrink or restore holds the folder; nothing was touched
    InUse,        // the game or another program holds the archive open
    AccessDenied, // the folder may not be changed
    NoSpace,      // too little free space to build (FreeBytes, NeededBytes)
    Damaged,      // entries lie past the end of the archive (Damage)
    NotAnArchive, // the archive is no IMG version-2 archive
    CannotRead,   // the archive is there but cannot be read (OsError)
    Cancelled,    // the build was cancelled; the files are as they were
    Changed,      // the shrunk archive in use changed after the shrink (a mod): a restore would lose the change
    Failed,       // the work itself failed (OsError, Reason, EngineText)
};

struct FVerdict
{
    EVerdict Kind = EVerdict::Done;
    bool bRestore = false; // about a restore (else a shrink)
    // The state the files are in: before a transaction, as looked at; after one, as it left them.
    EArchiveState State = EArchiveState::Missing;
    int64_t FreeBytes = -1; // NoSpace: free on the archive's volume (-1: cannot be told) and needed
    int64_t NeededBytes = 0;
    FImgDamage Damage;    // Damaged
    FShrinkSettings Made;  // ShrunkOtherwise: what the shrunk archive in use was made with
    FShrinkSettings Asked; // ShrunkOtherwise: what the shrink asked for
    uint32_t OsError = 0; // the system's error behind InUse, AccessDenied, CannotRead or Failed; 0 when none
    // Where a transaction stopped; None before one, and when its own test refused (the verdict then says what
    // stands in the way, as before a transaction). Failed at NotReady: that test refused although the files look
    // ready now (they changed meanwhile, or could not be read for a moment); nothing was changed. Failed at None:
    // no file can be made in the folder (OsError).
    ETransactionFailure Step = ETransactionFailure::None;
    FString Reason;     // Failed in the build: why, as the shrinker said it
    FString EngineText; // the transaction's own message (empty on success, and before a transaction)

    bool IsDone() const { return Kind == EVerdict::Done; }
    // Done, or nothing to do: the files are in the state asked for.
    bool EndedAsAsked() const { return Kind == EVerdict::Done || Kind == EVerdict::NothingToDo; }
    // After a failed restore, or with the archive missing: the original is still kept as NAME_ORIG_BAK.img.
    bool IsOriginalKept() const { return State == EArchiveState::Shrunk || State == EArchiveState::Interrupted; }
};

// How a transaction ran, as values: the engine's facts, and its verdict on them for the front ends.
struct FTransactionResult
{
    FString Message; // the engine's own text; empty on success
    ETransactionFailure Failure = ETransactionFailure::None;
    EArchiveState StateBefore = EArchiveState::Missing;
    // The state the files are left in (from which files exist): after a failed last rename of a shrink it is
    // Interrupted, and a restore repairs it.
    EArchiveState StateAfter = EArchiveState::Missing;
    uint32_t OsError = 0;
    int64_t FreeBytes = -1;
    int64_t NeededBytes = 0;
    EShrinkFailure BuildFailure = EShrinkFailure::None;
    FString BuildReason;
    FImgDamage Damage;
    // What became of a kept shrunk archive: taken over (Current), or deleted and built anew (Stale, KeptWhy).
    EKeptArchive Kept = EKeptArchive::None;
    FString KeptWhy;
    int64_t BytesBefore = -1; // size of the archive in use before and after
    int64_t BytesAfter = -1;
    // The last rename of a shrink failed and the first was undone: the original is in use again (the shrunk
    // archive is kept for the next shrink).
    bool bRolledBack = false;
    // What a shrink was asked to make (a shrunk game made otherwise is told apart by it).
    FShrinkSettings Asked;
    // What the front ends say: JudgeTransaction of the above, made by the transaction itself.
    FVerdict Verdict;
};

// What stands in the way of a shrink with Asked of the files that Status, Needs and TextureDictionaries (of the
// archive in use; 0 means nothing to shrink, -1 not known) describe; Done when nothing does. A shrunk archive is
// nothing to do when its record says it was made as Asked (or cannot say), else ShrunkOtherwise.
FVerdict JudgeShrink(const FArchiveStatus& Status, const FShrinkNeeds& Needs, int32_t TextureDictionaries,
                     const FShrinkSettings& Asked);
// The same for a restore: the original must be kept, and the folder writable.
FVerdict JudgeRestore(const FArchiveStatus& Status, const FShrinkNeeds& Needs);
// How a transaction on Files ended. A refused rename or delete is told apart as the game holding the archive
// (InUse) or a folder the user may not change (AccessDenied): it makes and removes a probe file in the folder
// when the system's error alone does not tell. Blocks on the disk for that moment; any thread.
FVerdict JudgeTransaction(const FArchiveFiles& Files, bool bRestore, const FTransactionResult& Result);
