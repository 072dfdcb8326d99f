// The game's facts: the four files of an archive's set, the state they are in, what a shrink of them needs,
// and the lock that keeps two transactions off one game at once. Both front ends and the transactions ask here;
// nothing else forms these names or decides these states.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"
#include "engine/FShrinkRecord.h"
#include "shrinker/FImgArchive.h"

namespace CoreOS
{
typedef struct FOsLock* FLockHandle;
}

// The four files of one archive's set, all in the archive's folder: for DIR\NAME.img they are NAME.img,
// NAME_TEMP.img, NAME_ORIG_BAK.img and NAME_SHRUNK_BAK.img; beside them the shrink's record, NAME_SHRINK.ini. The
// game's main archive is Models\gta3.img below the game folder.
struct FArchiveFiles
{
    FString Cur;        // the archive the game loads
    FString Temp;       // the output of a build in progress
    FString OrigBak;    // the original while the shrunk archive is in use
    FString KeptShrunk; // a finished shrunk archive that is not in use
    FString Record;     // NAME_SHRINK.ini: what the shrunk archive (in use or kept) was built with and from
    FString Folder;     // the folder that holds them, ending with a separator
    FString Name;       // the archive's own file name, "gta3.img"
};

// The set of Dir + "Models\gta3.img". Dir must end with a separator (names are formed by concatenation).
FArchiveFiles GetGameArchiveFiles(const FString& Dir);
// The set of any archive DIR\NAME.img (either separator; the extension is kept as written).
FArchiveFiles GetArchiveFiles(const FString& ArchivePath);

// What the files of a set say, from the two tests' point of view.
enum class EArchiveState : int32_t
{
    Original,     // the game's own archive in use (a shrunk copy may be kept)
    Shrunk,       // the shrunk archive in use, the original kept
    Interrupted,  // no NAME.img but the original kept: a restore repairs it
    Missing,      // neither NAME.img nor the kept original
    Damaged,      // the original in use, but entries lie past its end: it must be copied again
    NotAnArchive, // the original in use, but it is no IMG version-2 archive
    Busy,         // another shrink or restore holds the folder's lock
    Unreadable,   // NAME.img is there but cannot be opened for reading (ReadError): a permission or a disk fault
};
const char16_t* GetArchiveStateName(EArchiveState State); // "original", "shrunk", ... "busy", "unreadable"

// Whether a kept shrunk archive will be taken over by the next shrink.
enum class EKeptArchive : int32_t
{
    None,    // there is none
    Current, // it was built from the archive now in use: the next shrink only swaps files
    Stale,   // the archive in use changed since (a mod, a copy): the next shrink deletes it and builds anew
};

struct FArchiveStatus
{
    EArchiveState State = EArchiveState::Missing;
    int64_t CurBytes = -1; // sizes; -1 when the file cannot be opened for reading
    int64_t OrigBytes = -1;
    int64_t KeptShrunkBytes = -1;
    int64_t TempBytes = -1;
    EKeptArchive Kept = EKeptArchive::None;
    FString KeptWhy;          // why a kept archive is stale, one plain line
    FImgArchiveCheck Check{}; // of NAME.img when it is in use as the original
    // The shrink's record, of the shrunk archive in use (State Shrunk) or kept (KeptShrunkBytes >= 0).
    ERecordRead RecordRead = ERecordRead::None;
    FShrinkRecord Record;
    // The shrunk archive in use is no longer what the shrink put in place (IsShrunkChanged): a mod was installed
    // while the game was shrunk, and a restore would throw it away. Known only with a record.
    bool bShrunkChanged = false;
    uint32_t ReadError = 0; // Unreadable: the system's error on opening NAME.img (5: access denied)
};

// Looks at the files (sizes, the lock, the current archive's header and directory, the kept archive's). Reads
// only; any thread; blocks on the file system for a few reads.
FArchiveStatus InspectArchive(const FArchiveFiles& Files);
// The state from which files exist alone, as the transactions decide: original, shrunk, interrupted or missing.
EArchiveState GetStateFromFiles(const FArchiveFiles& Files);

// What the set's files hold on the disk beyond the original archive alone: the shrunk archive in use beside the
// kept original, a kept shrunk archive, a leftover of a build. 0 when only the original is there, or nothing.
int64_t GetBytesBeyondOriginal(const FArchiveStatus& Status);

// Whether the kept shrunk archive beside a set in State (bKept: NAME_SHRUNK_BAK.img is there) holds a change made
// after its shrink, by the set's record: the only copy of that change, which a clean-up keeps unless told. The
// second form asks it of what status saw.
bool IsKeptArchiveChanged(EArchiveState State, bool bKept, ERecordRead RecordRead, const FShrinkRecord& Record);
bool IsKeptArchiveChanged(const FArchiveStatus& Status);

// What is asked of the kept shrunk archive: whether it may be taken over by a shrink.
struct FKeptQuestion
{
    // The shrink's choice and the digest of its skip rules; without them, whether it was built from the archive
    // in use at all (status: what any shrink would find).
    const FShrinkSettings* Settings = nullptr;
    uint64_t SkipRulesDigest = 0;
    // Also by content: the archive in use read whole and compared with what the kept one was built from (a copy
    // keeps the file's time). A transaction asks so; status affords the cheap look only.
    bool bByContent = false;
    // The fit mode planned over several archives: this archive's share of the plan (FShrinkRecord::FitShare); 0
    // planned alone.
    int64_t FitShare = 0;
};

// The one verdict on the kept shrunk archive of Files, with its record as RecordRead and Record give it: taken
// over as it is (true), or built anew, Why saying what differs in one plain line. With a record: not changed by
// a restore told to discard a change, made with the same choice and skip rules, unchanged since it was made, and
// built from NAME.img as it is now (its size and time, and by content when asked). Without one (a shrink made
// before records were kept): taken as made by the standard shrink with the built-in rules, and built from NAME.img
// when NAME.img was last modified no later than it and both directories hold the same entry names in the same
// order. Reads only; any thread; by content it reads NAME.img whole.
bool JudgeKeptArchive(const FArchiveFiles& Files, ERecordRead RecordRead, const FShrinkRecord& Record,
                      const FKeptQuestion& Question, FString& Why);

// Whether a shrink with Settings and the skip rules of SkipRulesFile (empty: the usual ones) looks as if it will
// take the kept shrunk archive of Status's set as it is, by the cheap look: for progress totals and space checks.
// Reads the skip rules file.
bool LooksTakenAsItIs(const FArchiveStatus& Status, const FArchiveFiles& Files, const FShrinkSettings& Settings,
                      const FString& SkipRulesFile);
// The digest of the skip rules a shrink with SkipRulesFile (empty: the usual ones) would use.
uint64_t GetSkipRulesDigest(const FString& SkipRulesFile);

// How many entries of NAME.img are texture dictionaries (a name with the extension txd): an archive without any
// has nothing to shrink. -1 when its directory cannot be read (missing, damaged, no IMG version-2 archive). Reads
// only; any thread.
int32_t CountTextureDictionaries(const FArchiveFiles& Files);

// ---- What a shrink needs ------------------------------------------------------------------------------------

// A build needs more than 768 MiB free on the archive's volume, counted in whole MiB: at least 769 MiB.
const int64_t GShrinkNeedsFreeBytes = int64_t(769) << 20;
// The free space that a build of an archive of SourceBytes needs on its volume: more than the larger of 768 MiB
// and the archive's size, which bounds what the build writes.
int64_t GetShrinkNeededBytes(int64_t SourceBytes);

struct FShrinkNeeds
{
    uint32_t WriteError = 0; // 0 when files can be made in the folder, else the OS error (5: access denied)
    int64_t FreeBytes = -1;  // free for the user on the folder's volume; -1 when it cannot be told
    int64_t NeededBytes = GShrinkNeedsFreeBytes; // GetShrinkNeededBytes of the archive in use
    bool bNeedsBuild = true;                     // false when a current kept archive makes the build unnecessary

    bool HasSpace() const { return !bNeedsBuild || FreeBytes >= NeededBytes; }
};
// Makes and removes a probe file in the folder and asks for its free space. Any thread.
FShrinkNeeds CheckShrinkNeeds(const FArchiveFiles& Files, const FArchiveStatus& Status);

// ---- One transaction per folder at a time ---------------------------------------------------------------------

// The lock file of the transactions on the archives of a folder; it is only ever locked, never tested for.
FString GetTransactionLockFile(const FArchiveFiles& Files);

// Holds the folder's transaction lock for its lifetime, when it could be had. The OS drops it if the process
// dies, so a kill never leaves a stale lock.
class FTransactionLock
{
public:
    // Tries for up to WaitMs (a status probe holds the lock for a moment only); never waits longer.
    explicit FTransactionLock(const FArchiveFiles& Files, int32_t WaitMs = 1000);
    ~FTransactionLock();
    FTransactionLock(const FTransactionLock&) = delete;
    FTransactionLock& operator=(const FTransactionLock&) = delete;

    // Another shrink or restore (this process or another) holds the lock.
    bool IsBusy() const { return bBusy; }

private:
    CoreOS::FLockHandle Handle = nullptr;
    bool bBusy = false;
};

// Whether another transaction holds the folder's lock right now (takes and drops it at once when free).
bool IsTransactionRunning(const FArchiveFiles& Files);
