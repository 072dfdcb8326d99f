// The game file set, its shrink and restore transactions, and the job server that runs them.
#include "engine/FShrinkEngineServer.h"

#include <chrono>

#include "Core/Inc/CorePath.h"
#include "engine/FGameArchives.h"
#include "engine/FGameDisk.h"
#include "engine/FPreviewPage.h"
#include "shrinker/FImgShrinker.h"
#include "shrinker/FSkipRules.h"

namespace
{
// A name as the one-element list that the set routines pair up element by element.
TDynArray<FString> AsFileSet(const FString& Name)
{
    TDynArray<FString> Set;
    Set.AddItem(Name);
    return Set;
}

} // namespace

TDynArray<FString> GetFileSet(const FString& Dir, const char16_t* Suffix)
{
    return AsFileSet(Dir + u"Models\\gta3" + Suffix + u".img");
}

int32_t CountExistingFiles(const TDynArray<FString>& List)
{
    int32_t Count = 0;
    for (const FString& Name : List)
        if (FGameDisk::FileSize(Name) >= 0)
            ++Count;
    return Count;
}

int32_t DeleteFiles(const TDynArray<FString>& List)
{
    int32_t Count = 0;
    for (const FString& Name : List)
    {
        if (!FGameDisk::Remove(Name))
            return -1;
        ++Count;
    }
    return Count;
}

int32_t RenameFiles(const TDynArray<FString>& NewList, const TDynArray<FString>& OldList)
{
    appCheck(OldList.Num() == NewList.Num());
    int32_t Count = 0;
    for (int32_t i = 0; i < OldList.Num(); ++i)
    {
        if (FGameDisk::Rename(OldList[i], NewList[i], ERename::Replacing) != CoreOS::OSERROR_None)
            return -1;
        ++Count;
    }
    return Count;
}

int32_t BuildShrunkFiles(const TDynArray<FString>& SrcList, const TDynArray<FString>& DestList)
{
    FShrinkResult Last;
    return BuildShrunkFiles(SrcList, DestList, FShrinkOptions(), Last);
}

int32_t BuildShrunkFiles(const TDynArray<FString>& SrcList, const TDynArray<FString>& DestList,
                         const FShrinkOptions& Options, FShrinkResult& Last)
{
    appCheck(SrcList.Num() == DestList.Num());
    int32_t Count = 0;
    for (int32_t i = 0; i < SrcList.Num(); ++i)
    {
        Last = ShrinkImgFile(*DestList[i], *SrcList[i], Options);
        if (!Last.bOk)
            return -1;
        // A finished archive reaches the disk before any rename makes it the one the game loads, so a power cut
        // cannot leave a truncated gta3.img behind.
        if (!FGameDisk::FlushToDisk(DestList[i]))
        {
            EngineTrace(u"Could not flush %s to the disk", *DestList[i]);
            FGameDisk::Remove(DestList[i]);
            Last.bOk = false;
            Last.Failure = EShrinkFailure::WriteFailed;
            Last.Reason = FString::Printf(u"%s could not be written to the disk", *DestList[i]);
            return -1;
        }
        ++Count;
    }
    return Count;
}

uint32_t GetFreeDiskSpaceMB(const FString& Dir)
{
    const int64_t Bytes = FGameDisk::FreeSpace(Dir);
    if (Bytes <= 0)
        return 0;
    const int64_t MB = Bytes / 1048576;
    return MB > int64_t(UINT32_MAX) ? UINT32_MAX : uint32_t(MB);
}

// ---- Tests and transactions ---------------------------------------------------------------------------------

// The two tests in the engine's own words, over the state the files are in.
FString CheckCanShrink(const FArchiveFiles& Files)
{
    switch (GetStateFromFiles(Files))
    {
        case EArchiveState::Original:
            return FString();
        case EArchiveState::Shrunk:
            return FString(u"Perform Unshrink - Prerequisite fail - All Bak Files already exist");
        default:
            return FString(u"Perform Unshrink - Prerequisite fail - Not all Cur Files exist");
    }
}

FString CheckCanUnshrink(const FArchiveFiles& Files)
{
    const EArchiveState State = GetStateFromFiles(Files);
    if (State == EArchiveState::Shrunk || State == EArchiveState::Interrupted)
        return FString();
    return FString(u"Perform Unshrink - Prerequisite fail - Not all Bak Files exist");
}

FString CheckCanShrink(const FString& Dir)
{
    return CheckCanShrink(GetGameArchiveFiles(Dir));
}

FString CheckCanUnshrink(const FString& Dir)
{
    return CheckCanUnshrink(GetGameArchiveFiles(Dir));
}

bool CanUnshrink(const FString& Dir)
{
    return CheckCanUnshrink(Dir).IsEmpty();
}

TDynArray<FArchiveFiles> GetJobArchiveSets(const FString& Dir, const FShrinkJobOptions& Options)
{
    TDynArray<FArchiveFiles> Sets;
    for (const FString& Path : Options.ArchivePaths)
        Sets.AddItem(GetArchiveFiles(Path));
    if (Sets.Num() > 0)
        return Sets;
    if (!Options.bAllArchives)
    {
        Sets.AddItem(GetGameArchiveFiles(Dir));
        return Sets;
    }
    // Each set is named as the disk spells its archive, so that the backups follow it ("MODELS\GTA_INT.IMG" in
    // gta.dat for models/gta_int.img makes models/gta_int_ORIG_BAK.img) and a restore gives it its own name back.
    for (const FString& Path : ListGameArchives(Dir).Archives)
        Sets.AddItem(GetArchiveFiles(FGameDisk::SpelledOnDisk(Path)));
    return Sets;
}

namespace
{
const char16_t* const BusyMessage = u"Another shrink or restore is running on these files";

// Whether a file is there under Name although it could not be opened for reading; Error says why it could not.
bool IsThereUnread(const FString& Name, uint32_t& Error)
{
    if (!FGameDisk::Exists(Name))
        return false;
    Error = FGameDisk::TryRead(Name);
    EngineTrace(u"%s is there but could not be read: left alone", *Name);
    return true;
}

FTransactionResult Failed(FTransactionResult Result, ETransactionFailure Failure, const char16_t* Message)
{
    Result.Failure = Failure;
    Result.Message = Message;
    return Result;
}

// What the new shrunk archive in Files.Temp was built with and from, written before it takes the kept name: a
// kept archive is never without the record that says what it is. A record that could not be filled (a file's
// size, time or directory could not be read) is not written: it would later call the archive changed.
bool RecordBuild(const FArchiveFiles& Files, const FShrinkJobOptions& Options, const FShrinkResult& Build)
{
    FShrinkRecord Record;
    Record.Settings = Options.Settings;
    Record.SkipRulesDigest = Build.SkipRulesDigest;
    Record.bBuiltInRules = Build.SkipRulesDigest == FSkipRules::DefaultDigest();
    Record.FitShare = Options.FitPlan ? Options.FitPlan->PlannedBytes : 0;
    Record.Source = StampOf(Files.Cur);
    Record.SourceDigest = Build.SourceDigest;
    Record.Shrunk = StampOf(Files.Temp);
    Record.ShrunkDigest = Build.OutputDigest;
    Record.ShrunkDirectoryDigest = DigestImgDirectory(Files.Temp);
    const bool bFilled = Record.Source.Time >= 0 && Record.Shrunk.Time >= 0 && Record.ShrunkDirectoryDigest != 0;
    return bFilled && WriteShrinkRecord(Files, Record);
}

// Builds a new shrunk archive into the kept name: the long part of a shrink, and the only one that cancel stops.
FTransactionResult BuildKeptArchive(const FArchiveFiles& Files, const FShrinkJobOptions& Options,
                                    FTransactionResult Result)
{
    // The kept archive goes before its record: an archive left without its record would be taken for one made
    // before records were kept.
    if (DeleteFiles(AsFileSet(Files.KeptShrunk)) == -1 || !DeleteShrinkRecord(Files))
    {
        Result.OsError = FGameDisk::LastError();
        return Failed(Result, ETransactionFailure::DeleteFailed,
                      u"Perform Shrink - Failed while trying to delete BakModFiles");
    }
    Result.FreeBytes = FGameDisk::FreeSpace(Files.Folder);
    Result.NeededBytes = GetShrinkNeededBytes(Result.BytesBefore);
    if (Result.FreeBytes < Result.NeededBytes)
        return Failed(Result, ETransactionFailure::NoSpace, u"Not enough disk space to do shrink");

    FShrinkOptions Build;
    Build.Cancel = Options.Cancel;
    Build.Choice() = Options.Choice();
    Build.FitPlan = Options.FitPlan;
    // The measures of a plan over several archives filled the first half of each one's progress.
    if (Options.FitPlan)
        Build.ProgressBase = Build.ProgressSpan = 50;
    FShrinkResult Last;
    if (BuildShrunkFiles(AsFileSet(Files.Cur), AsFileSet(Files.Temp), Build, Last) == -1)
    {
        Result.BuildFailure = Last.Failure;
        Result.BuildReason = Last.Reason;
        Result.Damage = Last.Damage;
        return Failed(Result,
                      Last.Failure == EShrinkFailure::Cancelled ? ETransactionFailure::Cancelled
                                                                : ETransactionFailure::BuildFailed,
                      u"Perform Shrink - Failed while building TempShrinkFiles");
    }
    if (!RecordBuild(Files, Options, Last))
    {
        FGameDisk::Remove(Files.Temp);
        Result.BuildFailure = EShrinkFailure::WriteFailed;
        Result.BuildReason = FString::Printf(u"%s could not be written", *appPathFileName(Files.Record));
        return Failed(Result, ETransactionFailure::BuildFailed,
                      u"Perform Shrink - Failed while building TempShrinkFiles");
    }
    Result.OsError = FGameDisk::Rename(Files.Temp, Files.KeptShrunk, ERename::Replacing);
    if (Result.OsError != CoreOS::OSERROR_None)
    {
        return Failed(Result, ETransactionFailure::RenameFailed,
                      u"Perform Shrink - Failed renaming TempShrinkFiles to BakModFiles");
    }
    return Result;
}

// The two renames that put the shrunk archive in place. When the second fails the first is undone, so that the
// game always has its archive: the original is in use again and the shrunk one stays kept.
FTransactionResult SwapIn(const FArchiveFiles& Files, FTransactionResult Result)
{
    // The one move that must never replace what is there: the game's own archive going to the kept original's
    // name. Whatever holds that name now (unread, or there a moment after it was looked at) stays.
    Result.OsError = FGameDisk::Rename(Files.Cur, Files.OrigBak, ERename::NeverReplacing);
    if (Result.OsError != CoreOS::OSERROR_None)
    {
        return Failed(Result, ETransactionFailure::RenameFailed,
                      u"Perform Shrink - Failed renaming CurFiles to BakOrigFiles");
    }
    Result.OsError = FGameDisk::Rename(Files.KeptShrunk, Files.Cur, ERename::Replacing);
    if (Result.OsError != CoreOS::OSERROR_None)
    {
        Result.bRolledBack =
            FGameDisk::Rename(Files.OrigBak, Files.Cur, ERename::NeverReplacing) == CoreOS::OSERROR_None;
        EngineTrace(Result.bRolledBack ? u"The original is back in place"
                                       : u"The original stays kept: a restore "
                                         u"puts it back");
        return Failed(Result, ETransactionFailure::RenameFailed,
                      u"Perform Shrink - Failed renaming TempFiles to CurFiles");
    }
    Result.BytesAfter = FGameDisk::FileSize(Files.Cur);
    return Result;
}

// The steps of a shrink once the folder's lock is held.
FTransactionResult ShrinkLocked(const FArchiveFiles& Files, const FShrinkJobOptions& Options)
{
    FTransactionResult Result;
    Result.StateBefore = GetStateFromFiles(Files);
    const FString Check = CheckCanShrink(Files);
    if (!Check.IsEmpty())
    {
        Result.Message = Check;
        Result.Failure = ETransactionFailure::NotReady;
        return Result;
    }
    Result.BytesBefore = FGameDisk::FileSize(Files.Cur);
    if (DeleteFiles(AsFileSet(Files.Temp)) == -1)
    {
        Result.OsError = FGameDisk::LastError();
        return Failed(Result, ETransactionFailure::DeleteFailed,
                      u"Perform Shrink - Failed while trying to delete TempShrinkFiles");
    }
    // The test above found no kept original it could read. A file that is there all the same (held open
    // without read sharing, no read permission, a failing disk) may well be the only copy of the game's own
    // archive: it is never deleted, and the shrink stops.
    if (IsThereUnread(Files.OrigBak, Result.OsError))
        return Failed(Result, ETransactionFailure::DeleteFailed,
                      u"Perform Shrink - Failed while trying to delete BakOrigFiles");

    // A shrunk archive kept from an earlier shrink is reused as it is, but only when it is what this shrink would
    // build: after a mod was installed it would silently take the mod away again.
    if (CountExistingFiles(AsFileSet(Files.KeptShrunk)) != 0)
    {
        FShrinkRecord Record;
        const ERecordRead Read = ReadShrinkRecord(Files, Record);
        FKeptQuestion Question;
        Question.Settings = &Options.Settings;
        Question.SkipRulesDigest = GetSkipRulesDigest(Options.SkipRulesFile);
        Question.bByContent = true;
        Question.FitShare = Options.FitPlan ? Options.FitPlan->PlannedBytes : 0;
        Result.Kept = JudgeKeptArchive(Files, Read, Record, Question, Result.KeptWhy) ? EKeptArchive::Current
                                                                                      : EKeptArchive::Stale;
        if (Result.Kept == EKeptArchive::Stale)
            EngineTrace(u"The kept shrunk archive is stale (%s): building a new one", *Result.KeptWhy);
    }
    if (Result.Kept != EKeptArchive::Current)
    {
        Result = BuildKeptArchive(Files, Options, Result);
        if (Result.Failure != ETransactionFailure::None)
            return Result;
    }
    return SwapIn(Files, Result);
}

// A restore would throw away a change made to the shrunk archive in use after the shrink (a mod installed while
// the game was shrunk): it is refused unless told to discard the change, and then the changed archive it keeps
// is marked never to be taken over. A game shrunk before records were kept is never refused.
bool ChangeStandsInTheWay(const FArchiveFiles& Files, const FShrinkJobOptions& Options, FTransactionResult& Result)
{
    FShrinkRecord Record;
    if (Result.StateBefore != EArchiveState::Shrunk || ReadShrinkRecord(Files, Record) != ERecordRead::Read)
        return false;
    if (!IsShrunkChanged(Files, Record))
        return false;
    Record.bChanged = true;
    if (Options.bDiscardChanges && WriteShrinkRecord(Files, Record))
        return false;
    Result.Failure = ETransactionFailure::Changed;
    Result.Message = FString::Printf(u"Perform Unshrink - %s changed after the shrink", *Files.Name);
    return true;
}

FTransactionResult RestoreLocked(const FArchiveFiles& Files, const FShrinkJobOptions& Options)
{
    FTransactionResult Result;
    Result.StateBefore = GetStateFromFiles(Files);
    const FString Check = CheckCanUnshrink(Files);
    if (!Check.IsEmpty())
    {
        Result.Message = Check;
        Result.Failure = ETransactionFailure::NotReady;
        return Result;
    }
    Result.BytesBefore = FGameDisk::FileSize(Files.Cur);
    if (ChangeStandsInTheWay(Files, Options, Result))
        return Result;
    // Keeping the shrunk archive is a bonus: without a current archive this move fails and the restore goes on.
    FGameDisk::Rename(Files.Cur, Files.KeptShrunk, ERename::Replacing);
    Result.OsError = FGameDisk::Rename(Files.OrigBak, Files.Cur, ERename::Replacing);
    if (Result.OsError != CoreOS::OSERROR_None)
    {
        return Failed(Result, ETransactionFailure::RenameFailed,
                      u"Perform Unshrink - Failed renaming BakOrigFiles to CurFiles");
    }
    Result.BytesAfter = FGameDisk::FileSize(Files.Cur);
    return Result;
}

FTransactionResult BusyResult(const FArchiveFiles& Files)
{
    FTransactionResult Result;
    Result.StateBefore = GetStateFromFiles(Files);
    return Failed(Result, ETransactionFailure::Busy, BusyMessage);
}

// One transaction under the set's lock (or Busy without it), judged once the lock is given back: telling why may
// look at the files as status does.
FTransactionResult RunTransaction(const FArchiveFiles& Files, const FShrinkJobOptions& Options, bool bRestore)
{
    FTransactionResult Result;
    {
        FTransactionLock Lock(Files);
        Result = Lock.IsBusy() ? BusyResult(Files)
                 : bRestore    ? RestoreLocked(Files, Options)
                               : ShrinkLocked(Files, Options);
        Result.StateAfter = GetStateFromFiles(Files);
    }
    Result.Asked = Options.Settings;
    Result.Verdict = JudgeTransaction(Files, bRestore, Result);
    return Result;
}
} // namespace

FTransactionResult ShrinkArchive(const FArchiveFiles& Files, const FShrinkJobOptions& Options)
{
    return RunTransaction(Files, Options, false);
}

FTransactionResult RestoreArchive(const FArchiveFiles& Files, const FShrinkJobOptions& Options)
{
    return RunTransaction(Files, Options, true);
}

namespace
{
// Deletes one file of the set when it is there, counting it into Result; false when it stays.
bool RemoveKept(const FString& Path, FCleanResult& Result)
{
    const int64_t Bytes = FGameDisk::FileSize(Path);
    if (!FGameDisk::Exists(Path))
        return true;
    if (!FGameDisk::Remove(Path))
    {
        Result.Outcome = ECleanOutcome::Failed;
        Result.FailedFile = Path;
        Result.OsError = FGameDisk::LastError();
        return false;
    }
    Result.Removed.AddItem(Path);
    Result.FreedBytes += Bytes > 0 ? Bytes : 0;
    return true;
}

FCleanResult CleanLocked(const FArchiveFiles& Files, bool bDiscardChanges)
{
    FCleanResult Result;
    const EArchiveState State = GetStateFromFiles(Files);
    if (State == EArchiveState::Interrupted)
    {
        Result.Outcome = ECleanOutcome::Interrupted;
        return Result;
    }
    // The record describes the shrunk archive in use while there is one, else the kept one.
    FShrinkRecord Record;
    const bool bKept = FGameDisk::Exists(Files.KeptShrunk);
    const ERecordRead Read =
        bKept && State != EArchiveState::Shrunk ? ReadShrinkRecord(Files, Record) : ERecordRead::None;
    if (IsKeptArchiveChanged(State, bKept, Read, Record) && !bDiscardChanges)
    {
        Result.Outcome = ECleanOutcome::Changed;
        return Result;
    }
    // The kept archive goes before its record, as a shrink deletes them: an archive without its record would be
    // taken for one made before records were kept.
    if (!RemoveKept(Files.KeptShrunk, Result) || !RemoveKept(Files.Temp, Result))
        return Result;
    // A record outlives no shrunk archive it could describe.
    if (State != EArchiveState::Shrunk && !RemoveKept(Files.Record, Result))
        return Result;
    Result.Outcome = Result.Removed.Num() > 0 ? ECleanOutcome::Done : ECleanOutcome::NothingToDo;
    return Result;
}
} // namespace

FCleanResult CleanArchive(const FArchiveFiles& Files, bool bDiscardChanges)
{
    FTransactionLock Lock(Files);
    if (Lock.IsBusy())
    {
        FCleanResult Result;
        Result.Outcome = ECleanOutcome::Busy;
        return Result;
    }
    return CleanLocked(Files, bDiscardChanges);
}

FString PerformShrink(const FString& Dir)
{
    return ShrinkArchive(GetGameArchiveFiles(Dir), FShrinkJobOptions()).Message;
}

FString PerformUnshrink(const FString& Dir)
{
    return RestoreArchive(GetGameArchiveFiles(Dir)).Message;
}

// ---- Job server ---------------------------------------------------------------------------------------------

FShrinkEngineServer::FShrinkEngineServer() : StopFlag(0) {}

FShrinkEngineServer::~FShrinkEngineServer()
{
    for (auto& Pair : Vars.JobMap)
        delete Pair.Value;
    Vars.JobMap.Empty();
    Vars.PendingQueue.Empty();
    Vars.FinishedList.Empty();
    Vars.DeleteList.Empty();
}

FShrinkEngineServerBase* CreateEngineServer()
{
    FShrinkEngineServer* Server = new FShrinkEngineServer;
    Server->ThreadHandle = std::thread([Server] { Server->ThreadLoop(); });
    return Server;
}

int32_t FShrinkEngineServer::QueueJob(const FString& Command)
{
    return QueueJob(ReadJobLine(Command));
}

int32_t FShrinkEngineServer::QueueJob(const FJobRequest& Request)
{
    std::lock_guard<std::mutex> Guard(VarsLock);
    const int32_t Id = ++Vars.NextJobId;
    FShrinkJob* Job = new FShrinkJob{Id, Request, FJobOutcome(), FJobProgress(), false};
    Job->Request.Options.Cancel = &Job->Cancel;
    Vars.JobMap.Set(Id, Job);
    Vars.PendingQueue.AddItem(Id);
    return Id;
}

bool FShrinkEngineServer::GetJobResult(int32_t Id, FString& Result)
{
    FJobOutcome Outcome;
    if (!GetJobOutcome(Id, Outcome))
        return false;
    Result = Outcome.Result;
    return true;
}

bool FShrinkEngineServer::GetJobOutcome(int32_t Id, FJobOutcome& Outcome)
{
    std::lock_guard<std::mutex> Guard(VarsLock);
    if (Vars.FinishedList.FindItemIndex(Id) < 0)
        return false;
    FShrinkJob** Job = Vars.JobMap.Find(Id);
    if (!Job)
        return false;
    Outcome = (*Job)->Outcome;
    return true;
}

bool FShrinkEngineServer::GetJobProgress(int32_t Id, FJobProgress& Progress)
{
    std::lock_guard<std::mutex> Guard(VarsLock);
    FShrinkJob** Job = Vars.JobMap.Find(Id);
    if (!Job || !(*Job)->bHasProgress)
        return false;
    Progress = (*Job)->Progress;
    return true;
}

void FShrinkEngineServer::CancelJob(int32_t Id)
{
    std::lock_guard<std::mutex> Guard(VarsLock);
    if (FShrinkJob** Job = Vars.JobMap.Find(Id))
        (*Job)->Cancel.store(1);
}

int32_t FShrinkEngineServer::DeleteJob(int32_t Id)
{
    std::lock_guard<std::mutex> Guard(VarsLock);
    Vars.DeleteList.AddItem(Id);
    // Nobody wants its result: a job whose result is all it makes (an estimate) stops early. A transaction that
    // changes the files runs to its end; only CancelJob stops it.
    FShrinkJob** Job = Vars.JobMap.Find(Id);
    if (Job && (*Job)->Request.Kind == EJobKind::Estimate)
        (*Job)->Cancel.store(1);
    return 0;
}

bool FShrinkEngineServer::IsBusy()
{
    std::lock_guard<std::mutex> Guard(VarsLock);
    return Vars.CurrentJob != 0 || Vars.PendingQueue.Num() != 0;
}

void FShrinkEngineServer::ThreadLoop()
{
    if (!StopFlag.load())
    {
        for (;;)
        {
            Iterate();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (StopFlag.load())
                break;
        }
    }
    std::lock_guard<std::mutex> Guard(DoneLock);
    bThreadDone = true;
    DoneSignal.notify_all();
}

void FShrinkEngineServer::Iterate()
{
    FShrinkJob* Job = nullptr;
    {
        std::lock_guard<std::mutex> Guard(VarsLock);
        appCheck(Vars.CurrentJob == 0);
        while (Vars.DeleteList.Num() > 0)
        {
            const int32_t Id = Vars.DeleteList.Pop();
            for (int32_t i = Vars.PendingQueue.Num() - 1; i >= 0; --i)
                if (Vars.PendingQueue[i] == Id)
                    Vars.PendingQueue.Remove(i);
            for (int32_t i = Vars.FinishedList.Num() - 1; i >= 0; --i)
                if (Vars.FinishedList[i] == Id)
                    Vars.FinishedList.Remove(i);
            if (FShrinkJob** Found = Vars.JobMap.Find(Id))
            {
                FShrinkJob* Record = *Found;
                Vars.JobMap.Remove(Id);
                delete Record;
            }
        }
    }
    {
        std::lock_guard<std::mutex> Guard(VarsLock);
        if (Vars.PendingQueue.Num() == 0)
            return;
        Vars.CurrentJob = Vars.PendingQueue[0];
        Vars.PendingQueue.Remove(0);
        FShrinkJob** Found = Vars.JobMap.Find(Vars.CurrentJob);
        Job = Found ? *Found : nullptr;
    }
    // The job runs without the lock: its record cannot go away before this thread handles a DeleteJob.
    if (Job)
        Job->Outcome = RunJob(Job->Request,
                              [this, Job](const FJobProgress& Progress)
                              {
                                  std::lock_guard<std::mutex> Guard(VarsLock);
                                  Job->Progress = Progress;
                                  Job->bHasProgress = true;
                              });
    std::lock_guard<std::mutex> Guard(VarsLock);
    Vars.FinishedList.AddItem(Vars.CurrentJob);
    Vars.CurrentJob = 0;
}

FString FShrinkEngineServer::RunCommand(const FString& Command)
{
    return RunJob(ReadJobLine(Command)).Result;
}

FJobRequest ReadJobLine(const FString& Line)
{
    static const struct
    {
        const char16_t* Name;
        EJobKind Kind;
    } Names[] = {
        {u"CanShrink", EJobKind::CanShrink},  {u"CanUnshrink", EJobKind::CanUnshrink},
        {u"PerformShrink", EJobKind::Shrink}, {u"PerformUnshrink", EJobKind::Restore},
        {u"Estimate", EJobKind::Estimate},    {u"MakePreview", EJobKind::Preview},
        {u"CleanKept", EJobKind::Clean},
    };
    const int32_t Comma = Line.InStr(u",");
    FJobRequest Request;
    Request.CommandName = Comma >= 0 ? Line.Left(Comma) : Line;
    Request.Dir = Comma >= 0 ? Line.Mid(Comma + 1) : FString();
    for (const auto& Name : Names)
        if (Request.CommandName.EqualsNoCase(Name.Name))
            Request.Kind = Name.Kind;
    return Request;
}

namespace
{
FArchiveOutcome NameArchive(const FArchiveFiles& Files)
{
    FArchiveOutcome Archive;
    Archive.Path = Files.Cur;
    Archive.Name = Files.Name;
    return Archive;
}

// A test on every set: "busy" when another transaction holds one of them, else "true" when one of them passes.
FJobOutcome AnswerTest(const TDynArray<FArchiveFiles>& Sets, bool bShrink)
{
    FJobOutcome Outcome;
    bool bBusy = false;
    bool bAnyPasses = false;
    for (const FArchiveFiles& Files : Sets)
    {
        FArchiveOutcome Archive = NameArchive(Files);
        if (bShrink)
        {
            Archive.Status = InspectArchive(Files);
            bBusy = bBusy || Archive.Status.State == EArchiveState::Busy;
        }
        else
            bBusy = bBusy || IsTransactionRunning(Files);
        Archive.bPasses = (bShrink ? CheckCanShrink(Files) : CheckCanUnshrink(Files)).IsEmpty();
        bAnyPasses = bAnyPasses || Archive.bPasses;
        Outcome.Archives.AddItem(Archive);
    }
    Outcome.Status = Outcome.Archives[0].Status;
    Outcome.Answer = bBusy ? ETestAnswer::Busy : bAnyPasses ? ETestAnswer::Passes : ETestAnswer::Fails;
    Outcome.Result = bBusy ? FString(u"busy") : FString(bAnyPasses);
    return Outcome;
}

// What the build in a shrink of Files reads: nothing when the shrunk archive kept there looks as if it will be
// taken as it is.
int64_t GetBuildBytes(const FArchiveFiles& Files, const FShrinkJobOptions& Options)
{
    const FArchiveStatus Status = InspectArchive(Files);
    if (LooksTakenAsItIs(Status, Files, Options.Settings, Options.SkipRulesFile))
        return 0;
    return Status.CurBytes > 0 ? Status.CurBytes : 0;
}

// What a shrink of Files (in its original state, as Status saw it) would make: the kept shrunk archive when the
// shrink looks as if it will take it over, else what a dry run writes; -1 when the dry run failed (bStopped when
// it was stopped).
int64_t EstimateArchive(const FArchiveFiles& Files, const FArchiveStatus& Status, const FShrinkJobOptions& Options,
                        std::atomic<int32_t>& Stop, bool& bStopped)
{
    const int64_t Kept = FGameDisk::FileSize(Files.KeptShrunk);
    if (Kept >= 0 && LooksTakenAsItIs(Status, Files, Options.Settings, Options.SkipRulesFile))
        return Kept;
    // A cancel flag and a progress value of its own: the shrinks' are the client's, which it publishes.
    std::atomic<int32_t> Progress(0);
    FShrinkOptions DryRun;
    DryRun.bDryRun = true;
    DryRun.Choice() = Options.Choice();
    DryRun.Cancel = &Stop;
    DryRun.Progress = &Progress;
    const FShrinkResult Result = ShrinkImgFile(u"", *Files.Cur, DryRun);
    bStopped = Result.Failure == EShrinkFailure::Cancelled;
    return Result.bOk ? Result.OutputBytes : -1;
}

// The fit mode over several archives in their original state: what the plan over all of them makes of each
// (the plan's sizes are exact: no second pass is needed). False when one could not be measured (bStopped when
// that was the stop).
bool EstimateTogether(TDynArray<FArchiveOutcome>& Archives, const TDynArray<FArchiveFiles>& Sets,
                      const FShrinkJobOptions& Options, std::atomic<int32_t>& Stop, bool& bStopped)
{
    TDynArray<FString> Sources;
    TDynArray<int32_t> Places;
    for (int32_t i = 0; i < Sets.Num(); ++i)
        if (Archives[i].Status.State == EArchiveState::Original)
        {
            Sources.AddItem(Sets[i].Cur);
            Places.AddItem(i);
        }
    if (Sources.Num() < 2)
        return false;
    std::atomic<int32_t> Progress(0);
    FShrinkOptions Measuring;
    Measuring.Choice() = Options.Choice();
    Measuring.Cancel = &Stop;
    Measuring.Progress = &Progress;
    FFitPlan Plan;
    int32_t Failed = -1;
    const FShrinkResult Result = PlanFitTogether(Sources, Measuring, Plan, Failed);
    bStopped = Result.Failure == EShrinkFailure::Cancelled;
    if (!Result.bOk)
        return false;
    for (int32_t i = 0; i < Places.Num(); ++i)
        Archives[Places[i]].EstimatedBytes = Plan.Archives[i].PlannedBytes;
    return true;
}

FJobOutcome EstimateShrink(const TDynArray<FArchiveFiles>& Sets, const FShrinkJobOptions& Options)
{
    FJobOutcome Outcome;
    std::atomic<int32_t> NoStop(0);
    std::atomic<int32_t>& Stop = Options.Cancel ? *Options.Cancel : NoStop;
    bool bStopped = false;
    for (const FArchiveFiles& Files : Sets)
    {
        FArchiveOutcome Archive = NameArchive(Files);
        Archive.Status = InspectArchive(Files);
        Outcome.Archives.AddItem(Archive);
    }
    const bool bTogether =
        Options.Settings.Mode == EShrinkMode::Fit && EstimateTogether(Outcome.Archives, Sets, Options, Stop, bStopped);
    int64_t Total = 0;
    for (int32_t i = 0; i < Sets.Num(); ++i)
    {
        FArchiveOutcome& Archive = Outcome.Archives[i];
        if (!bTogether && Archive.Status.State == EArchiveState::Original && !bStopped)
            Archive.EstimatedBytes = EstimateArchive(Sets[i], Archive.Status, Options, Stop, bStopped);
        Total += Archive.EstimatedBytes > 0 ? Archive.EstimatedBytes : 0;
    }
    Outcome.Result = bStopped ? FString(u"Estimate canceled") : FString::Printf(u"%lld", (long long)Total);
    return Outcome;
}

bool IsCancelAsked(const FShrinkJobOptions& Options)
{
    return Options.Cancel && Options.Cancel->load() != 0;
}

// A shrink whose turn came after the cancel: it did not start, and the files are as they were.
FTransactionResult NotStarted(const FArchiveFiles& Files)
{
    FTransactionResult Result;
    Result.StateBefore = GetStateFromFiles(Files);
    Result.StateAfter = Result.StateBefore;
    Result = Failed(Result, ETransactionFailure::Cancelled, u"Shrink canceled");
    Result.Verdict = JudgeTransaction(Files, false, Result);
    return Result;
}

// A shrink whose archive could not be measured for a plan over several archives: as a build that failed (a
// cancel: as a turn that did not start), the files as they were.
FTransactionResult NotMeasured(const FArchiveFiles& Files, const FShrinkResult& Measured)
{
    if (Measured.Failure == EShrinkFailure::Cancelled)
        return NotStarted(Files);
    FTransactionResult Result;
    Result.StateBefore = GetStateFromFiles(Files);
    Result.StateAfter = Result.StateBefore;
    Result.BuildFailure = Measured.Failure;
    Result.BuildReason = Measured.Reason;
    Result.Damage = Measured.Damage;
    Result =
        Failed(Result, ETransactionFailure::BuildFailed, u"Perform Shrink - Failed while building TempShrinkFiles");
    Result.Verdict = JudgeTransaction(Files, false, Result);
    return Result;
}

// The fit mode over the archives of several turns: each measured in its turn's name (the first half of its
// progress), then one plan over all of them. False when one could not be measured: its outcome then says why.
bool PlanTurnsTogether(const TDynArray<FArchiveFiles>& Sets, const TDynArray<int32_t>& Turns,
                       const FShrinkJobOptions& Options, const FJobProgressSink& Sink, FJobProgress Progress,
                       FJobOutcome& Outcome, FFitPlan& Plan)
{
    TDynArray<FString> Sources;
    for (int32_t Set : Turns)
        Sources.AddItem(Sets[Set].Cur);
    FShrinkOptions Measuring;
    Measuring.Choice() = Options.Choice();
    Measuring.Cancel = Options.Cancel;
    Measuring.ProgressSpan = 50;
    int32_t Failed = -1;
    const FShrinkResult Result = PlanFitTogether(Sources, Measuring, Plan, Failed,
                                                 [&](int32_t Turn)
                                                 {
                                                     Progress.Archive = Sets[Turns[Turn]].Name;
                                                     Progress.ArchiveIndex = Turn + 1;
                                                     if (GShrinkProgress)
                                                         GShrinkProgress->store(0);
                                                     if (Sink)
                                                         Sink(Progress);
                                                 });
    if (Result.bOk)
        return true;
    FArchiveOutcome& Archive = Outcome.Archives[Turns[Failed]];
    Archive.Transaction = NotMeasured(Sets[Turns[Failed]], Result);
    Archive.bRan = Result.Failure != EShrinkFailure::Cancelled;
    return false;
}

// Runs the transaction on each set whose test passes, in order, until a cancel. When none passes, the first
// set's transaction tells why, as a lone archive's does.
void RunTurns(const TDynArray<FArchiveFiles>& Sets, bool bShrink, const FShrinkJobOptions& Options,
              const FJobProgressSink& Sink, FJobOutcome& Outcome)
{
    TDynArray<int32_t> Turns;
    for (int32_t i = 0; i < Sets.Num(); ++i)
    {
        FArchiveOutcome Archive = NameArchive(Sets[i]);
        Archive.bPasses = (bShrink ? CheckCanShrink(Sets[i]) : CheckCanUnshrink(Sets[i])).IsEmpty();
        if (Archive.bPasses)
            Turns.AddItem(i);
        Outcome.Archives.AddItem(Archive);
    }
    if (Turns.Num() == 0)
        Turns.AddItem(0);
    FJobProgress Progress;
    Progress.ArchiveCount = Turns.Num();
    TDynArray<int64_t> Bytes;
    for (int32_t Set : Turns)
    {
        Bytes.AddItem(bShrink ? GetBuildBytes(Sets[Set], Options) : 0);
        Progress.TotalBytes += Bytes.Last();
    }
    // The fit mode over several archives plans them together first; each turn then makes its part of the plan.
    FFitPlan Plan;
    FShrinkJobOptions TurnOptions = Options;
    if (bShrink && Options.Settings.Mode == EShrinkMode::Fit && Turns.Num() > 1 &&
        !PlanTurnsTogether(Sets, Turns, Options, Sink, Progress, Outcome, Plan))
        return;
    for (int32_t Turn = 0; Turn < Turns.Num(); ++Turn)
    {
        const FArchiveFiles& Files = Sets[Turns[Turn]];
        TurnOptions.FitPlan = Plan.Archives.Num() > 0 ? &Plan.Archives[Turn] : nullptr;
        FArchiveOutcome& Archive = Outcome.Archives[Turns[Turn]];
        if (bShrink && IsCancelAsked(Options))
        {
            Archive.Transaction = NotStarted(Files);
            return;
        }
        Progress.Archive = Files.Name;
        Progress.ArchiveIndex = Turn + 1;
        Progress.ArchiveBytes = Bytes[Turn];
        if (GShrinkProgress)
            GShrinkProgress->store(0);
        if (Sink)
            Sink(Progress);
        Archive.Transaction = bShrink ? ShrinkArchive(Files, TurnOptions) : RestoreArchive(Files, TurnOptions);
        Archive.bRan = true;
        if (Archive.Transaction.Failure == ETransactionFailure::Cancelled)
            return;
        Progress.BytesBefore += Bytes[Turn];
    }
}

// A transaction on every set; the first that did not end as asked speaks for the whole, else the last that ran.
FJobOutcome RunTransaction(const TDynArray<FArchiveFiles>& Sets, bool bShrink, const FShrinkJobOptions& Options,
                           const FJobProgressSink& Sink)
{
    FJobOutcome Outcome;
    RunTurns(Sets, bShrink, Options, Sink, Outcome);
    const FArchiveOutcome* Speaker = nullptr;
    for (const FArchiveOutcome& Archive : Outcome.Archives)
    {
        const bool bEnded = Archive.bRan || Archive.Transaction.Failure == ETransactionFailure::Cancelled;
        if (bEnded && (!Speaker || Speaker->Transaction.Verdict.EndedAsAsked()))
            Speaker = &Archive;
    }
    Outcome.Transaction = Speaker ? Speaker->Transaction : FTransactionResult();
    // Only a cancelled build stands for the cancel: a cancel that came after it does not hide how the renames
    // ended.
    Outcome.Result = bShrink && Outcome.Transaction.Failure == ETransactionFailure::Cancelled
                         ? FString(u"Shrink canceled")
                         : Outcome.Transaction.Message;
    return Outcome;
}
} // namespace

namespace
{
FJobOutcome RunCleanJob(const TDynArray<FArchiveFiles>& Sets, const FShrinkJobOptions& Options)
{
    FJobOutcome Outcome;
    for (const FArchiveFiles& Files : Sets)
    {
        FArchiveOutcome Archive = NameArchive(Files);
        Archive.Clean = CleanArchive(Files, Options.bDiscardChanges);
        const ECleanOutcome End = Archive.Clean.Outcome;
        if (Outcome.Result.IsEmpty() && End != ECleanOutcome::Done && End != ECleanOutcome::NothingToDo)
            Outcome.Result = FString::Printf(u"Clean up - %s was left as it was", *Files.Name);
        Outcome.Archives.AddItem(Archive);
    }
    return Outcome;
}

// The preview page of the archives' originals; the files of the game are only read.
FJobOutcome RunPreviewJob(const TDynArray<FArchiveFiles>& Sets, const FShrinkJobOptions& Options)
{
    FPreviewRequest Request;
    for (const FArchiveFiles& Files : Sets)
    {
        Request.Archives.AddItem(GetPreviewSource(Files));
        Request.Shown.AddItem(Files.Name);
    }
    Request.Choice() = Options.Choice();
    Request.Cancel = Options.Cancel;
    // Its own progress: the shrink's value is the shrink's alone.
    FPreviewProgress Progress;
    Request.Progress = &Progress;
    const FPreviewResult Result = MakePreviewPage(Request, Options.PreviewDir);
    FJobOutcome Outcome;
    Outcome.PreviewPage = Result.PagePath;
    if (Result.bOk)
        Outcome.Result = u"Preview made";
    else if (Result.bCancelled)
        Outcome.Result = u"Preview canceled";
    else if (!Result.FailedArchive.IsEmpty())
        Outcome.Result =
            FString::Printf(u"The preview could not read %s: %s", *Result.FailedArchive, *Result.Shrink.Reason);
    else
        Outcome.Result = Result.Reason;
    return Outcome;
}
} // namespace

FJobOutcome FShrinkEngineServer::RunJob(const FJobRequest& Request, const FJobProgressSink& Progress)
{
    const FShrinkJobOptions& Options = Request.Options;
    const TDynArray<FArchiveFiles> Sets = GetJobArchiveSets(Request.Dir, Options);
    switch (Request.Kind)
    {
        case EJobKind::CanShrink:
        case EJobKind::CanUnshrink:
            return AnswerTest(Sets, Request.Kind == EJobKind::CanShrink);
        case EJobKind::Shrink:
        case EJobKind::Restore:
            return RunTransaction(Sets, Request.Kind == EJobKind::Shrink, Options, Progress);
        case EJobKind::Estimate:
            return EstimateShrink(Sets, Options);
        case EJobKind::Preview:
            return RunPreviewJob(Sets, Options);
        case EJobKind::Clean:
            return RunCleanJob(Sets, Options);
        case EJobKind::Unknown:
            break;
    }
    EngineTrace(u"Unknown Cmd: %s", *Request.CommandName);
    return FJobOutcome();
}

void FShrinkEngineServer::Shutdown()
{
    StopFlag.store(1);
    bool bFinished = false;
    {
        std::unique_lock<std::mutex> Lock(DoneLock);
        for (int32_t Attempt = 0; Attempt < 5 && !bFinished; ++Attempt)
        {
            EngineTrace(u"Waiting for thread to finish");
            bFinished = DoneSignal.wait_for(Lock, std::chrono::milliseconds(1000), [this] { return bThreadDone; });
            EngineTrace(bFinished ? u"Thread finished" : u"Thread NOT finished");
        }
        // A job can still be running (a long shrink): the server is never destroyed under its worker.
        while (!bFinished)
        {
            bFinished = DoneSignal.wait_for(Lock, std::chrono::milliseconds(1000), [this] { return bThreadDone; });
            if (!bFinished)
                EngineTrace(u"Thread NOT finished");
        }
    }
    if (ThreadHandle.joinable())
        ThreadHandle.join();
    delete this;
}
