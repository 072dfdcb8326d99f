// What the pellmor command says about an archive that cannot be shrunk or restored, and about how a shrink or
// restore ended: a plain sentence for each kind of problem, and what to do about each kind, written once here so
// that status, shrink and restore use the same words.
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "cli/PellmorCommands.h"

namespace
{
FArchiveVerdict Verdict(EArchiveProblem Problem, const FGameArchive& Archive, const FString& Sentence)
{
    FArchiveVerdict Result;
    Result.Problem = Problem;
    Result.Sentence = Sentence;
    Result.Advice = AdviceFor(Problem, Archive);
    return Result;
}

// What to do about a folder named on the command line that holds no game: what the name turned out to be, and
// the game folder nearby that was probably meant.
FString NamedGameDirAdvice(const FGameDir& Game)
{
    const FString Named = appWithoutTrailingSeparators(Game.Dir);
    const FString Nearby = ShellQuote(Game.Nearby);
    switch (Game.Given)
    {
        case EGameDirGiven::Missing:
            if (Game.Nearby.IsEmpty())
                return FString::Printf(u"%s does not exist: is the game's folder (the one that holds Models) "
                                       u"spelled right?",
                                       *ShellQuote(Named));
            return FString::Printf(u"%s does not exist. Did you mean %s?", *ShellQuote(Named), *Nearby);
        case EGameDirGiven::OtherFile:
        {
            FString Advice = FString::Printf(u"%s is a file; name the game's folder (the one that holds Models)",
                                             *ShellQuote(Named));
            if (Game.Nearby.IsEmpty())
                return Advice + u".";
            Advice += FString::Printf(u", here %s", *Nearby);
            // Another archive of that game: the folder, and the archive by its name below it.
            const FString Below = Named.Mid(Game.Nearby.Len());
            if (Named.Left(Game.Nearby.Len()).EqualsNoCase(*Game.Nearby) && Named.Right(4).EqualsNoCase(u".img"))
                Advice += FString::Printf(u", and this archive with --archive %s", *ShellQuote(Below));
            return Advice + u".";
        }
        case EGameDirGiven::OtherFolder:
            if (!Game.Nearby.IsEmpty())
                return FString::Printf(u"The game's folder (the one that holds Models) seems to be %s.", *Nearby);
            break;
        default:
            break;
    }
    return FString(u"Is this the game's folder (the one that holds Models)?");
}

FString SystemMessage(uint32_t Error)
{
    char16_t Text[512] = {};
    CoreOS::SystemErrorMessage(Error, Text, 512);
    return FString(Text);
}

// No file can be made in the archive's folder: nothing was changed.
FArchiveVerdict WriteVerdict(const FGameArchive& Archive, uint32_t Error)
{
    if (Error == CoreOS::OSERROR_AccessDenied)
        return Verdict(EArchiveProblem::AccessDenied, Archive,
                       FString::Printf(u"You may not change the files in %s (access denied).", *Archive.Folder));
    return Verdict(EArchiveProblem::Failed, Archive,
                   FString::Printf(u"No file can be made in %s (%s).", *Archive.Folder, *SystemMessage(Error)));
}

FArchiveVerdict BusyVerdict(const FGameArchive& Archive)
{
    return Verdict(EArchiveProblem::Busy, Archive,
                   FString::Printf(u"Another shrink or restore is running on %s (another pellmor, or PellmorWin.exe).",
                                   *Archive.Shown));
}

// Whether the space a build needs is there; the sentence when it is not.
FString SpaceFailure(const FGameArchive& Archive, int64_t FreeBytes, int64_t NeededBytes)
{
    if (FreeBytes < 0)
        return FString::Printf(u"A shrink of %s needs %s free on the drive that holds it, and how much is free "
                               u"cannot be told.",
                               *Archive.Shown, *appFormatMegabytes(NeededBytes));
    return FString::Printf(u"A shrink of %s needs %s free on the drive that holds it; %s are free.", *Archive.Shown,
                           *appFormatMegabytes(NeededBytes), *appFormatMegabytes(FreeBytes));
}

// What a failed transaction left, for the player: the files as they were, or what a restore must repair.
FString DescribeFilesAfter(const FGameArchive& Archive, bool bShrink, const FArchiveLook& After)
{
    switch (After.Status.State)
    {
        case EArchiveState::Original:
        case EArchiveState::Damaged:
        case EArchiveState::NotAnArchive:
            return bShrink ? FString(u" The game's files are as they were.") : FString();
        case EArchiveState::Shrunk:
            return bShrink ? FString()
                           : FString::Printf(u" The shrunk archive is still in use; the original is kept as %s.",
                                             *ShownFile(Archive, Archive.Files.OrigBak));
        case EArchiveState::Interrupted:
            return FString::Printf(u" %s is missing now, but the original is safe as %s: %s puts it back.",
                                   *Archive.Shown, *ShownFile(Archive, Archive.Files.OrigBak),
                                   *CommandFor(u"restore", Archive));
        default:
            return FString();
    }
}

// A rename or a delete that the system refused: the game holding the archive open, or a folder the user may not
// change.
FArchiveVerdict FileStepFailure(const FGameArchive& Archive, bool bShrink, uint32_t Error, const FArchiveLook& After)
{
    const bool bHeld = Error == CoreOS::OSERROR_SharingViolation || Error == CoreOS::OSERROR_LockViolation ||
                       (Error == CoreOS::OSERROR_AccessDenied && After.Needs.WriteError == 0);
    const FString Files = DescribeFilesAfter(Archive, bShrink, After);
    if (bHeld)
        return Verdict(EArchiveProblem::InUse, Archive,
                       FString::Printf(u"%s is in use: the game or another program has it open, so it could not be "
                                       u"renamed.%s",
                                       *Archive.Shown, *Files));
    if (Error == CoreOS::OSERROR_AccessDenied)
        return Verdict(
            EArchiveProblem::AccessDenied, Archive,
            FString::Printf(u"You may not change the files in %s (access denied).%s", *Archive.Folder, *Files));
    return Verdict(EArchiveProblem::Failed, Archive,
                   FString::Printf(u"The %s of %s failed: %s%s", bShrink ? u"shrink" : u"restore", *Archive.Shown,
                                   *SystemMessage(Error), *Files));
}

// The shrinker did not finish the new archive.
FArchiveVerdict BuildFailure(const FGameArchive& Archive, const FTransactionResult& Result, const FArchiveLook& After)
{
    const FString Files = DescribeFilesAfter(Archive, true, After);
    switch (Result.BuildFailure)
    {
        case EShrinkFailure::Damaged:
            return Verdict(EArchiveProblem::Damaged, Archive, DescribeDamage(Archive, Result.Damage) + Files);
        case EShrinkFailure::NotAnArchive:
            return Verdict(EArchiveProblem::NotAnArchive, Archive,
                           FString::Printf(u"%s is no IMG archive of the kind the game loads (version 2).%s",
                                           *Archive.Shown, *Files));
        case EShrinkFailure::CannotCreateDest:
            if (After.Needs.WriteError == CoreOS::OSERROR_AccessDenied)
                return Verdict(
                    EArchiveProblem::AccessDenied, Archive,
                    FString::Printf(u"You may not change the files in %s (access denied).%s", *Archive.Folder, *Files));
            break;
        default:
            break;
    }
    return Verdict(
        EArchiveProblem::Failed, Archive,
        FString::Printf(u"The shrink of %s failed: %s.%s", *Archive.Shown,
                        Result.BuildReason.IsEmpty() ? u"the new archive was not finished" : *Result.BuildReason,
                        *Files));
}
} // namespace

FArchiveLook LookAt(const FGameArchive& Archive, bool bNeeds)
{
    FArchiveLook Look;
    Look.Status = InspectArchive(Archive.Files);
    if (bNeeds)
        Look.Needs = CheckShrinkNeeds(Archive.Files, Look.Status);
    if (Look.Status.State == EArchiveState::Original || Look.Status.State == EArchiveState::Shrunk)
        Look.TextureDictionaries = CountTextureDictionaries(Archive.Files);
    return Look;
}

FString DescribeDamage(const FGameArchive& Archive, const FImgDamage& Damage)
{
    if (Damage.EntriesPastEnd > 0)
        return FString::Printf(u"%s is damaged: %d %s past the end of the file, which is %s short.", *Archive.Shown,
                               Damage.EntriesPastEnd, Damage.EntriesPastEnd == 1 ? u"entry lies" : u"entries lie",
                               *appFormatMegabytes(Damage.BytesPastEnd));
    return FString::Printf(u"%s is damaged: its entries claim %s, more than twice what the file holds.", *Archive.Shown,
                           *appFormatMegabytes(Damage.BytesClaimed));
}

FString DescribeStaleKept(const FGameArchive& Archive, const FString& Why, bool bRebuilt)
{
    const FString Kept = ShownFile(Archive, Archive.Files.ShrunkBak);
    if (bRebuilt)
        return FString::Printf(u"The kept shrunk archive %s no longer matched (%s), so a new one was built.", *Kept,
                               *Why);
    return FString::Printf(u"The kept shrunk archive %s no longer matches (%s): the next shrink builds a new one.",
                           *Kept, *Why);
}

FString AdviceFor(EArchiveProblem Problem, const FGameArchive& Archive)
{
    switch (Problem)
    {
        case EArchiveProblem::NoFiles:
            return Archive.bMain
                       ? NamedGameDirAdvice(Archive.Game)
                       : FString::Printf(u"%s lists the archives there.", *CommandFor(u"status --all", Archive.Game));
        case EArchiveProblem::Interrupted:
            return FString::Printf(u"Run %s to repair it.", *CommandFor(u"restore", Archive));
        case EArchiveProblem::Busy:
            return FString(u"Wait for it to end, then try again.");
        case EArchiveProblem::InUse:
            return FString::Printf(u"Close the game (and any program that has %s open) and try again.",
                                   *Archive.Files.Name);
        case EArchiveProblem::AccessDenied:
            if (IsWindowsSystem())
                return FString(u"Run pellmor as administrator, or move the game to a folder of your own (outside "
                               u"Program Files).");
            return FString::Printf(u"Check the owner and the permissions of %s (ls -ld %s): the user who runs "
                                   u"pellmor must be able to write there, for example after\n  sudo chown -R \"$USER\" "
                                   u"%s",
                                   *Archive.Folder, *ShellQuote(Archive.Folder), *ShellQuote(Archive.Folder));
        case EArchiveProblem::NoSpace:
            return FString(u"Free some space on that drive and try again.");
        case EArchiveProblem::Damaged:
        case EArchiveProblem::NotAnArchive:
            return FString::Printf(u"Copy %s again from the game's install (or the mod it came with) or from a "
                                   u"backup.",
                                   *Archive.Files.Name);
        case EArchiveProblem::Failed:
            return FString::Printf(u"Run %s to see the state of the files.", *CommandFor(u"status", Archive));
        case EArchiveProblem::None:
        case EArchiveProblem::NothingToDo:
        case EArchiveProblem::Cancelled:
            break;
    }
    return FString();
}

FArchiveVerdict CheckBeforeShrink(const FGameArchive& Archive, const FArchiveLook& Look)
{
    const FArchiveStatus& Status = Look.Status;
    const FString Orig = ShownFile(Archive, Archive.Files.OrigBak);
    switch (Status.State)
    {
        case EArchiveState::Busy:
            return BusyVerdict(Archive);
        case EArchiveState::Shrunk:
            return Verdict(EArchiveProblem::NothingToDo, Archive,
                           FString::Printf(u"%s is shrunk already (the original is kept as %s); %s undoes it.",
                                           *Archive.Shown, *Orig, *CommandFor(u"restore", Archive)));
        case EArchiveState::Interrupted:
            return Verdict(EArchiveProblem::Interrupted, Archive,
                           FString::Printf(u"%s is missing, but the original is kept as %s: an earlier shrink or "
                                           u"restore was interrupted.",
                                           *Archive.Shown, *Orig));
        case EArchiveState::Missing:
            if (Archive.bMain)
                return Verdict(EArchiveProblem::NoFiles, Archive,
                               FString::Printf(u"There are no game files in %s: neither %s nor %s is there.",
                                               *Archive.Game.Dir, *Archive.Shown, *Orig));
            return Verdict(EArchiveProblem::NoFiles, Archive,
                           FString::Printf(u"Neither %s nor %s is there.", *Archive.Shown, *Orig));
        case EArchiveState::Damaged:
            return Verdict(EArchiveProblem::Damaged, Archive, DescribeDamage(Archive, Status.Check.Damage));
        case EArchiveState::NotAnArchive:
            return Verdict(
                EArchiveProblem::NotAnArchive, Archive,
                FString::Printf(u"%s is no IMG archive of the kind the game loads (version 2).", *Archive.Shown));
        case EArchiveState::Original:
            break;
    }
    if (Look.TextureDictionaries == 0)
        return Verdict(EArchiveProblem::NothingToDo, Archive,
                       FString::Printf(u"%s holds no texture dictionary: there is nothing to shrink, and it is left "
                                       u"as it is.",
                                       *Archive.Shown));
    if (Look.Needs.WriteError != 0)
        return WriteVerdict(Archive, Look.Needs.WriteError);
    if (!Look.Needs.HasSpace())
        return Verdict(EArchiveProblem::NoSpace, Archive,
                       SpaceFailure(Archive, Look.Needs.FreeBytes, Look.Needs.NeededBytes));
    return FArchiveVerdict();
}

FArchiveVerdict CheckBeforeRestore(const FGameArchive& Archive, const FArchiveLook& Look)
{
    switch (Look.Status.State)
    {
        case EArchiveState::Original:
            return Verdict(EArchiveProblem::NothingToDo, Archive,
                           FString::Printf(u"Nothing to restore: %s is the game's own archive already (there is no "
                                           u"%s).",
                                           *Archive.Shown, *ShownFile(Archive, Archive.Files.OrigBak)));
        case EArchiveState::Shrunk:
        case EArchiveState::Interrupted:
            break;
        default:
            // Busy, missing, damaged, not an archive: what stops a shrink stops a restore, in the same words.
            return CheckBeforeShrink(Archive, Look);
    }
    return Look.Needs.WriteError != 0 ? WriteVerdict(Archive, Look.Needs.WriteError) : FArchiveVerdict();
}

FArchiveVerdict ExplainTransaction(const FGameArchive& Archive, bool bShrink, const FTransactionResult& Result,
                                   const FArchiveLook& After)
{
    FArchiveVerdict Explained;
    switch (Result.Failure)
    {
        case ETransactionFailure::None:
            return Explained;
        case ETransactionFailure::NotReady:
            // The engine's own test refused: the files changed since they were looked at (what they are now says
            // why), or a read failed in the test itself.
            Explained = bShrink ? CheckBeforeShrink(Archive, After) : CheckBeforeRestore(Archive, After);
            if (Explained.Problem == EArchiveProblem::None)
                Explained =
                    Verdict(EArchiveProblem::Failed, Archive,
                            FString::Printf(u"The files of %s changed while they were looked at, or could not be "
                                            u"read for a moment; nothing was changed. Try again.",
                                            *Archive.Shown));
            break;
        case ETransactionFailure::Busy:
            Explained = BusyVerdict(Archive);
            break;
        case ETransactionFailure::Cancelled:
            Explained = Verdict(EArchiveProblem::Cancelled, Archive,
                                FString::Printf(u"Cancelled; %s is as it was.", *Archive.Shown));
            break;
        case ETransactionFailure::NoSpace:
            Explained = Verdict(EArchiveProblem::NoSpace, Archive,
                                SpaceFailure(Archive, Result.FreeBytes, Result.NeededBytes) +
                                    DescribeFilesAfter(Archive, bShrink, After));
            break;
        case ETransactionFailure::BuildFailed:
            Explained = BuildFailure(Archive, Result, After);
            break;
        case ETransactionFailure::DeleteFailed:
        case ETransactionFailure::RenameFailed:
            Explained = FileStepFailure(Archive, bShrink, Result.OsError, After);
            break;
    }
    Explained.EngineText = Result.Message;
    if (!Result.BuildReason.IsEmpty())
        Explained.EngineText += u" (" + Result.BuildReason + u")";
    return Explained;
}

EPellmorError ErrorFor(EArchiveProblem Problem)
{
    switch (Problem)
    {
        case EArchiveProblem::NoFiles:
            return EPellmorError::NoGame;
        case EArchiveProblem::Busy:
            return EPellmorError::Busy;
        case EArchiveProblem::InUse:
            return EPellmorError::InUse;
        case EArchiveProblem::AccessDenied:
            return EPellmorError::AccessDenied;
        case EArchiveProblem::NoSpace:
            return EPellmorError::NoSpace;
        case EArchiveProblem::Damaged:
            return EPellmorError::Damaged;
        case EArchiveProblem::NotAnArchive:
            return EPellmorError::NotAnArchive;
        case EArchiveProblem::Cancelled:
            return EPellmorError::Cancelled;
        case EArchiveProblem::None:
        case EArchiveProblem::NothingToDo:
        case EArchiveProblem::Interrupted:
        case EArchiveProblem::Failed:
            break;
    }
    return EPellmorError::Failed;
}

int32_t PrintVerdict(FPellmorConsole& Console, const FPellmorOptions& Options, const FArchiveVerdict& Verdict,
                     int32_t Exit, const FString& JsonMembers)
{
    PrintFailure(Console, Options.bJson, ErrorFor(Verdict.Problem), Verdict.Sentence, Verdict.Advice, Exit,
                 JsonMembers);
    if (Options.bVerbose && !Verdict.EngineText.IsEmpty())
        Console.Err(FString::Printf(u"pellmor: the engine said: %s\n", *Verdict.EngineText));
    return Exit;
}
