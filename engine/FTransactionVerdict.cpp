// The verdict on a shrink or a restore, before it starts and after it ended.
#include "engine/FTransactionVerdict.h"

#include "Core/Inc/CoreOS.h"

namespace
{
FVerdict Make(EVerdict Kind, bool bRestore, EArchiveState State)
{
    FVerdict Verdict;
    Verdict.Kind = Kind;
    Verdict.bRestore = bRestore;
    Verdict.State = State;
    return Verdict;
}

// No file could be made in the folder: a folder the user may not change, or another failure of the system.
FVerdict WriteRefused(bool bRestore, EArchiveState State, uint32_t Error)
{
    FVerdict Verdict =
        Make(Error == CoreOS::OSERROR_AccessDenied ? EVerdict::AccessDenied : EVerdict::Failed, bRestore, State);
    Verdict.OsError = Error;
    return Verdict;
}

// What the state of the files alone says against a shrink; Done when the archive in use is the original.
EVerdict JudgeState(EArchiveState State)
{
    switch (State)
    {
        case EArchiveState::Busy:
            return EVerdict::Busy;
        case EArchiveState::Shrunk:
            return EVerdict::NothingToDo;
        case EArchiveState::Interrupted:
            return EVerdict::Interrupted;
        case EArchiveState::Missing:
            return EVerdict::NoFiles;
        case EArchiveState::Damaged:
            return EVerdict::Damaged;
        case EArchiveState::NotAnArchive:
            return EVerdict::NotAnArchive;
        case EArchiveState::Unreadable:
            return EVerdict::CannotRead;
        case EArchiveState::Original:
            break;
    }
    return EVerdict::Done;
}

// A rename or a delete that the system refused. The game holding the archive open gives a sharing or lock
// violation, and on some systems "access denied" too; "access denied" means a closed folder only when no file
// can be made there either, which a probe tells.
EVerdict JudgeRefusal(const FArchiveFiles& Files, uint32_t Error)
{
    if (Error == CoreOS::OSERROR_SharingViolation || Error == CoreOS::OSERROR_LockViolation)
        return EVerdict::InUse;
    if (Error != CoreOS::OSERROR_AccessDenied)
        return EVerdict::Failed;
    return CheckShrinkNeeds(Files, FArchiveStatus()).WriteError == CoreOS::OSERROR_AccessDenied ? EVerdict::AccessDenied
                                                                                                : EVerdict::InUse;
}

// The shrinker did not finish the new archive.
EVerdict JudgeBuild(const FArchiveFiles& Files, const FTransactionResult& Result)
{
    switch (Result.BuildFailure)
    {
        case EShrinkFailure::Damaged:
            return EVerdict::Damaged;
        case EShrinkFailure::NotAnArchive:
            return EVerdict::NotAnArchive;
        case EShrinkFailure::CannotCreateDest:
            return CheckShrinkNeeds(Files, FArchiveStatus()).WriteError == CoreOS::OSERROR_AccessDenied
                       ? EVerdict::AccessDenied
                       : EVerdict::Failed;
        default:
            return EVerdict::Failed;
    }
}

// The engine's own test refused: what the files are like now says why, else they changed while looked at.
FVerdict JudgeNotReady(const FArchiveFiles& Files, bool bRestore, const FShrinkSettings& Asked)
{
    const FArchiveStatus Status = InspectArchive(Files);
    const FShrinkNeeds Needs = CheckShrinkNeeds(Files, Status);
    FVerdict Verdict = bRestore ? JudgeRestore(Status, Needs) : JudgeShrink(Status, Needs, -1, Asked);
    if (Verdict.IsDone())
    {
        Verdict.Kind = EVerdict::Failed;
        Verdict.Step = ETransactionFailure::NotReady;
    }
    return Verdict;
}
} // namespace

FVerdict JudgeShrink(const FArchiveStatus& Status, const FShrinkNeeds& Needs, int32_t TextureDictionaries,
                     const FShrinkSettings& Asked)
{
    FVerdict Verdict = Make(JudgeState(Status.State), false, Status.State);
    if (Verdict.Kind == EVerdict::Damaged)
        Verdict.Damage = Status.Check.Damage;
    if (Status.State == EArchiveState::Shrunk && Status.RecordRead == ERecordRead::Read &&
        !Status.Record.Settings.MakesSameArchive(Asked))
    {
        Verdict.Kind = EVerdict::ShrunkOtherwise;
        Verdict.Made = Status.Record.Settings;
        Verdict.Asked = Asked;
    }
    Verdict.OsError = Verdict.Kind == EVerdict::CannotRead ? Status.ReadError : 0;
    if (!Verdict.IsDone())
        return Verdict;
    if (TextureDictionaries == 0)
        return Make(EVerdict::NothingToDo, false, Status.State);
    if (Needs.WriteError != 0)
        return WriteRefused(false, Status.State, Needs.WriteError);
    if (!Needs.HasSpace())
    {
        Verdict.Kind = EVerdict::NoSpace;
        Verdict.FreeBytes = Needs.FreeBytes;
        Verdict.NeededBytes = Needs.NeededBytes;
    }
    return Verdict;
}

FVerdict JudgeRestore(const FArchiveStatus& Status, const FShrinkNeeds& Needs)
{
    switch (Status.State)
    {
        case EArchiveState::Original:
            return Make(EVerdict::NothingToDo, true, Status.State);
        case EArchiveState::Shrunk:
        case EArchiveState::Interrupted:
            break;
        default:
        {
            // Busy, missing, damaged, not an archive, unreadable: what stops a shrink stops a restore.
            FVerdict Verdict = JudgeShrink(Status, Needs, -1, FShrinkSettings::Standard());
            Verdict.bRestore = true;
            return Verdict;
        }
    }
    if (Needs.WriteError != 0)
        return WriteRefused(true, Status.State, Needs.WriteError);
    return Make(EVerdict::Done, true, Status.State);
}

FVerdict JudgeTransaction(const FArchiveFiles& Files, bool bRestore, const FTransactionResult& Result)
{
    FVerdict Verdict;
    switch (Result.Failure)
    {
        case ETransactionFailure::None:
            break;
        case ETransactionFailure::NotReady:
            Verdict = JudgeNotReady(Files, bRestore, Result.Asked);
            Verdict.EngineText = Result.Message;
            return Verdict;
        case ETransactionFailure::Busy:
            Verdict.Kind = EVerdict::Busy;
            break;
        case ETransactionFailure::Cancelled:
            Verdict.Kind = EVerdict::Cancelled;
            break;
        case ETransactionFailure::Changed:
            Verdict.Kind = EVerdict::Changed;
            break;
        case ETransactionFailure::NoSpace:
            Verdict.Kind = EVerdict::NoSpace;
            break;
        case ETransactionFailure::BuildFailed:
            Verdict.Kind = JudgeBuild(Files, Result);
            break;
        case ETransactionFailure::DeleteFailed:
        case ETransactionFailure::RenameFailed:
            Verdict.Kind = JudgeRefusal(Files, Result.OsError);
            break;
    }
    Verdict.bRestore = bRestore;
    Verdict.State = Result.StateAfter;
    Verdict.Step = Result.Failure;
    Verdict.FreeBytes = Result.FreeBytes;
    Verdict.NeededBytes = Result.NeededBytes;
    Verdict.Damage = Result.Damage;
    Verdict.OsError = Verdict.OsError ? Verdict.OsError : Result.OsError;
    Verdict.Reason = Result.BuildReason;
    Verdict.EngineText = Result.Message;
    return Verdict;
}
