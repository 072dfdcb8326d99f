// The game's facts: archive file sets, their state, what a shrink needs, and the transaction lock.
#include "engine/FGameFiles.h"

#include <chrono>
#include <thread>

#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreUtil.h"
#include "engine/FGameDisk.h"
#include "shrinker/FSkipRules.h"

namespace
{
// The four names from the folder (with its separator), the base name and the extension (with its dot).
FArchiveFiles MakeFiles(const FString& Folder, const FString& Base, const FString& Extension)
{
    FArchiveFiles Files;
    Files.Folder = Folder;
    Files.Name = Base + Extension;
    Files.Cur = Folder + Base + Extension;
    Files.Temp = Folder + Base + u"_TEMP" + Extension;
    Files.OrigBak = Folder + Base + u"_ORIG_BAK" + Extension;
    Files.KeptShrunk = Folder + Base + u"_SHRUNK_BAK" + Extension;
    Files.Record = Folder + Base + u"_SHRINK.ini";
    return Files;
}

// Without a record: NAME.img was last modified no later than the kept archive, and both directories hold the
// same entry names in the same order.
bool LooksBuiltFrom(const FArchiveFiles& Files, FString& Why)
{
    const FFileStamp Cur = StampOf(Files.Cur);
    const FFileStamp Kept = StampOf(Files.KeptShrunk);
    if (Cur.Time < 0 || Kept.Time < 0)
    {
        Why = u"the time of the last change cannot be read";
        return false;
    }
    if (Cur.Time > Kept.Time)
    {
        Why = FString::Printf(u"%s changed after the kept shrunk archive was built", *Files.Name);
        return false;
    }
    TDynArray<FImgDirEntry> CurDir;
    TDynArray<FImgDirEntry> KeptDir;
    if (!ReadImgDirectory(*Files.Cur, CurDir) || !ReadImgDirectory(*Files.KeptShrunk, KeptDir))
    {
        Why = u"a directory cannot be read";
        return false;
    }
    if (CurDir.Num() != KeptDir.Num())
    {
        Why = FString::Printf(u"%s holds %d entries, the kept shrunk archive %d", *Files.Name, CurDir.Num(),
                              KeptDir.Num());
        return false;
    }
    for (int32_t i = 0; i < CurDir.Num(); ++i)
        if (!HaveSameName(CurDir[i], KeptDir[i]))
        {
            Why = FString::Printf(u"entry %d of %s is not the one the kept shrunk archive holds", i + 1, *Files.Name);
            return false;
        }
    return true;
}
} // namespace

FArchiveFiles GetGameArchiveFiles(const FString& Dir)
{
    return MakeFiles(Dir + u"Models\\", FString(u"gta3"), FString(u".img"));
}

FArchiveFiles GetArchiveFiles(const FString& ArchivePath)
{
    const FString Folder = appPathFolder(ArchivePath);
    const FString Name = appPathFileName(ArchivePath);
    const char16_t* Dot = appStrrchr(*Name, u'.');
    if (!Dot)
        return MakeFiles(Folder, Name, FString());
    const int32_t DotAt = int32_t(Dot - *Name);
    return MakeFiles(Folder, Name.Left(DotAt), Name.Mid(DotAt));
}

const char16_t* GetArchiveStateName(EArchiveState State)
{
    switch (State)
    {
        case EArchiveState::Original:
            return u"original";
        case EArchiveState::Shrunk:
            return u"shrunk";
        case EArchiveState::Interrupted:
            return u"interrupted";
        case EArchiveState::Missing:
            return u"missing";
        case EArchiveState::Damaged:
            return u"damaged";
        case EArchiveState::NotAnArchive:
            return u"not-an-archive";
        case EArchiveState::Busy:
            return u"busy";
        case EArchiveState::Unreadable:
            return u"unreadable";
    }
    return u"";
}

namespace
{
// What the record says against taking the kept archive over, by the question asked; empty when nothing does.
FString RecordedReason(const FArchiveFiles& Files, const FShrinkRecord& Record, const FKeptQuestion& Question)
{
    if (Record.bChanged)
        return u"it was changed after it was made, and a restore kept it so";
    if (Question.Settings && !Record.Settings.MakesSameArchive(*Question.Settings))
        return u"the kept archive was made " + Record.Settings.Describe() + u"; this shrink is " +
               Question.Settings->Describe();
    if (Question.Settings && Record.FitShare != Question.FitShare)
        return Question.FitShare == 0 ? u"the kept archive was planned to fit together with other archives; this "
                                        u"shrink plans it alone"
               : Record.FitShare == 0 ? u"the kept archive was planned to fit alone; this shrink plans it together "
                                        u"with other archives"
                                      : u"the kept archive's part of the plan over several archives differs from this "
                                        u"shrink's";
    if (Question.Settings && Record.SkipRulesDigest != Question.SkipRulesDigest)
        return u"the kept archive was made with other skip rules";
    if (StampOf(Files.KeptShrunk) != Record.Shrunk)
        return u"the kept archive changed after it was made";
    if (StampOf(Files.Cur) != Record.Source)
        return FString::Printf(u"%s changed after the kept shrunk archive was built", *Files.Name);
    uint64_t Digest = 0;
    if (Question.bByContent && (!DigestImgArchive(*Files.Cur, Digest) || Digest != Record.SourceDigest))
        return FString::Printf(u"%s is not the archive the kept one was built from", *Files.Name);
    return FString();
}

// A kept archive made before shrinks kept a record: taken as a standard shrink with rules unknown, so it is taken
// over only by a standard shrink with the built-in rules, and only when it looks built from the archive in use.
FString UnrecordedReason(const FArchiveFiles& Files, const FKeptQuestion& Question)
{
    if (Question.Settings && !Question.Settings->MakesSameArchive(FShrinkSettings::Standard()))
        return u"the kept archive was made by the standard shrink; this shrink is " + Question.Settings->Describe();
    if (Question.Settings && Question.SkipRulesDigest != FSkipRules::DefaultDigest())
        return u"the kept archive was made with skip rules that are not known, and these are not the built-in ones";
    FString Why;
    return LooksBuiltFrom(Files, Why) ? FString() : Why;
}
} // namespace

bool JudgeKeptArchive(const FArchiveFiles& Files, ERecordRead RecordRead, const FShrinkRecord& Record,
                      const FKeptQuestion& Question, FString& Why)
{
    switch (RecordRead)
    {
        case ERecordRead::None:
            Why = UnrecordedReason(Files, Question);
            break;
        case ERecordRead::Unreadable:
            Why = u"its record cannot be read";
            break;
        case ERecordRead::Read:
            Why = RecordedReason(Files, Record, Question);
            break;
    }
    return Why.IsEmpty();
}

uint64_t GetSkipRulesDigest(const FString& SkipRulesFile)
{
    FSkipRules Rules;
    Rules.Load(SkipRulesFile.IsEmpty() ? FSkipRules::DefaultFile() : *SkipRulesFile);
    return Rules.Digest();
}

bool LooksTakenAsItIs(const FArchiveStatus& Status, const FArchiveFiles& Files, const FShrinkSettings& Settings,
                      const FString& SkipRulesFile)
{
    if (Status.Kept != EKeptArchive::Current)
        return false;
    FKeptQuestion Question;
    Question.Settings = &Settings;
    Question.SkipRulesDigest = GetSkipRulesDigest(SkipRulesFile);
    FString Why;
    return JudgeKeptArchive(Files, Status.RecordRead, Status.Record, Question, Why);
}

bool IsKeptArchiveChanged(EArchiveState State, bool bKept, ERecordRead RecordRead, const FShrinkRecord& Record)
{
    return bKept && State != EArchiveState::Shrunk && RecordRead == ERecordRead::Read && Record.bChanged;
}

bool IsKeptArchiveChanged(const FArchiveStatus& Status)
{
    return IsKeptArchiveChanged(Status.State, Status.KeptShrunkBytes >= 0, Status.RecordRead, Status.Record);
}

EArchiveState GetStateFromFiles(const FArchiveFiles& Files)
{
    const bool bCur = FGameDisk::FileSize(Files.Cur) >= 0;
    if (FGameDisk::FileSize(Files.OrigBak) >= 0)
        return bCur ? EArchiveState::Shrunk : EArchiveState::Interrupted;
    return bCur ? EArchiveState::Original : EArchiveState::Missing;
}

FArchiveStatus InspectArchive(const FArchiveFiles& Files)
{
    FArchiveStatus Status;
    Status.CurBytes = FGameDisk::FileSize(Files.Cur);
    // A file that is there but cannot be opened is no missing file: a restore must not put another in its place.
    const uint32_t CurError = Status.CurBytes < 0 ? FGameDisk::LastError() : 0;
    if (CurError != 0 && CurError != CoreOS::OSERROR_FileNotFound && CurError != CoreOS::OSERROR_PathNotFound)
        Status.ReadError = CurError;
    Status.OrigBytes = FGameDisk::FileSize(Files.OrigBak);
    Status.KeptShrunkBytes = FGameDisk::FileSize(Files.KeptShrunk);
    Status.TempBytes = FGameDisk::FileSize(Files.Temp);

    if (IsTransactionRunning(Files))
        Status.State = EArchiveState::Busy;
    else if (Status.ReadError != 0)
        Status.State = EArchiveState::Unreadable;
    else if (Status.OrigBytes >= 0)
        Status.State = Status.CurBytes >= 0 ? EArchiveState::Shrunk : EArchiveState::Interrupted;
    else if (Status.CurBytes < 0)
        Status.State = EArchiveState::Missing;
    else
    {
        Status.Check = CheckImgArchive(*Files.Cur);
        if (Status.Check.Result == EImgCheck::Damaged)
            Status.State = EArchiveState::Damaged;
        else if (Status.Check.Result == EImgCheck::NotAnArchive)
            Status.State = EArchiveState::NotAnArchive;
        else
            Status.State = EArchiveState::Original;
    }

    if (Status.State == EArchiveState::Shrunk || Status.KeptShrunkBytes >= 0)
        Status.RecordRead = ReadShrinkRecord(Files, Status.Record);
    Status.bShrunkChanged = Status.State == EArchiveState::Shrunk && Status.RecordRead == ERecordRead::Read &&
                            IsShrunkChanged(Files, Status.Record);
    if (Status.KeptShrunkBytes >= 0)
    {
        // Only the archive in use as the original can be compared with what was built from it.
        const bool bCurrent =
            Status.State != EArchiveState::Original ||
            JudgeKeptArchive(Files, Status.RecordRead, Status.Record, FKeptQuestion(), Status.KeptWhy);
        Status.Kept = bCurrent ? EKeptArchive::Current : EKeptArchive::Stale;
    }
    return Status;
}

int64_t GetBytesBeyondOriginal(const FArchiveStatus& Status)
{
    int64_t Total = 0;
    for (const int64_t Bytes : {Status.CurBytes, Status.OrigBytes, Status.KeptShrunkBytes, Status.TempBytes})
        Total += Bytes > 0 ? Bytes : 0;
    // The original is the kept one while there is one, else the archive in use.
    const int64_t Original = Status.OrigBytes >= 0 ? Status.OrigBytes : Status.CurBytes;
    return Original > 0 ? Total - Original : 0;
}

int32_t CountTextureDictionaries(const FArchiveFiles& Files)
{
    TDynArray<FImgDirEntry> Directory;
    if (!ReadImgDirectory(*Files.Cur, Directory))
        return -1;
    int32_t Count = 0;
    FString TxdName;
    for (const FImgDirEntry& Entry : Directory)
        Count += GetImgTxdName(Entry, TxdName) ? 1 : 0;
    return Count;
}

int64_t GetShrinkNeededBytes(int64_t SourceBytes)
{
    const int64_t MiB = int64_t(1) << 20;
    return SourceBytes + MiB > GShrinkNeedsFreeBytes ? SourceBytes + MiB : GShrinkNeedsFreeBytes;
}

FShrinkNeeds CheckShrinkNeeds(const FArchiveFiles& Files, const FArchiveStatus& Status)
{
    FShrinkNeeds Needs;
    Needs.bNeedsBuild = Status.Kept != EKeptArchive::Current;
    Needs.NeededBytes = GetShrinkNeededBytes(Status.CurBytes);
    Needs.FreeBytes = FGameDisk::FreeSpace(Files.Folder);

    // Another program's probe, open or made again this very moment, proves nothing either way.
    const uint32_t Error = FGameDisk::TryCreate(Files.Folder + u"PellmorWin-write-test.tmp");
    const bool bOthers = Error == CoreOS::OSERROR_SharingViolation || Error == CoreOS::OSERROR_FileExists ||
                         Error == CoreOS::OSERROR_AlreadyExists;
    Needs.WriteError = bOthers ? 0 : Error;
    return Needs;
}

// ---- The transaction lock -------------------------------------------------------------------------------------

FString GetTransactionLockFile(const FArchiveFiles& Files)
{
    return Files.Folder + u"PellmorWin.lock";
}

FTransactionLock::FTransactionLock(const FArchiveFiles& Files, int32_t WaitMs)
{
    const FString Path = GetTransactionLockFile(Files);
    for (int32_t Waited = 0;; Waited += 20)
    {
        Handle = FGameDisk::AcquireLock(Path);
        if (Handle)
            return;
        if (FGameDisk::LastError() != CoreOS::OSERROR_LockViolation)
        {
            // No lock file can be made here (a folder the user may not write to): nothing can be changed in the
            // folder either, and the transaction's own steps will say so.
            EngineTrace(u"No transaction lock in %s", *Files.Folder);
            return;
        }
        if (Waited >= WaitMs)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    bBusy = true;
}

FTransactionLock::~FTransactionLock()
{
    FGameDisk::ReleaseLock(Handle);
}

bool IsTransactionRunning(const FArchiveFiles& Files)
{
    // Looking makes no file: without a lock file no transaction can be running.
    const FString Path = GetTransactionLockFile(Files);
    if (!FGameDisk::Exists(Path))
        return false;
    // Another program's look holds the lock for a moment only; a transaction holds it for as long as it runs.
    for (int32_t Try = 0; Try < 5; ++Try)
    {
        if (Try > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        CoreOS::FLockHandle Handle = FGameDisk::AcquireLock(Path);
        if (Handle)
        {
            FGameDisk::ReleaseLock(Handle);
            return false;
        }
        if (FGameDisk::LastError() != CoreOS::OSERROR_LockViolation)
            return false;
    }
    return true;
}
