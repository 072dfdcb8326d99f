// What the pellmor command says about an archive that cannot be shrunk or restored, and about how a shrink or
// restore ended: a plain sentence for each kind of problem, and what to do about each kind, written once here so
// that status, shrink and restore use the same words.
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "Core/Inc/FFileManager.h"
#include "Core/Inc/FGlobalVars.h"
#include "cli/PellmorInternals.h"

namespace
{
// The names in Folder: its folders, and its files too with bFiles.
TDynArray<FString> NamesIn(const FString& Folder, bool bFiles)
{
    return GGlobalVars()->GetFileManager()->FindFiles(*appPathJoin(Folder, u"*"), bFiles, true);
}
} // namespace

FString CorrectMistypedPath(const FString& Path)
{
    // Up to the deepest part of the path that exists; Below holds the names after it, the last one first.
    FString Existing = appWithoutTrailingSeparators(Path);
    TDynArray<FString> Below;
    while (!appPathExists(Existing))
    {
        const FString Above = appWithoutTrailingSeparators(appPathFolder(Existing));
        if (Above.IsEmpty() || Above == Existing)
            return FString();
        Below.AddItem(appPathFileName(Existing));
        Existing = Above;
    }
    if (Below.Num() == 0 || !(CoreOS::FileGetAttributes(*Existing) & CoreOS::FILEATTR_Directory))
        return FString();
    // The first name missing may be a slip of the keys: a folder there (or a file, when it is the path's last).
    const FString Nearest = NearestName(Below[Below.Num() - 1], NamesIn(Existing, Below.Num() == 1));
    if (Nearest.IsEmpty())
        return FString();
    FString Corrected = appPathJoin(Existing, Nearest);
    for (int32_t i = Below.Num() - 2; i >= 0; --i)
        Corrected = appPathJoin(Corrected, Below[i]);
    return Corrected;
}

FString DescribeNamedGameDir(const FGameDir& Game)
{
    const FString Named = appWithoutTrailingSeparators(Game.Dir);
    const FString Nearby = ShellQuote(Game.Nearby);
    switch (Game.Given)
    {
        case EGameDirGiven::Missing:
        {
            const FString Corrected = CorrectMistypedPath(Named);
            if (!Corrected.IsEmpty())
                return FString::Printf(u"%s does not exist. Did you mean %s?", *ShellQuote(Named),
                                       *ShellQuote(Corrected));
            if (Game.Nearby.IsEmpty())
                return FString::Printf(u"%s does not exist: is the game's folder (the one that holds Models) "
                                       u"spelled right?",
                                       *ShellQuote(Named));
            return FString::Printf(u"%s does not exist. Did you mean %s?", *ShellQuote(Named), *Nearby);
        }
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

namespace
{
FString SystemMessage(uint32_t Error)
{
    char16_t Text[512] = {};
    CoreOS::SystemErrorMessage(Error, Text, 512);
    return FString(Text);
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
FString DescribeFilesAfter(const FGameArchive& Archive, bool bShrink, EArchiveState After)
{
    switch (After)
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

// A state that stands in the way of the step asked for.
FString DescribeState(const FGameArchive& Archive, const FVerdict& Verdict)
{
    const FString Orig = ShownFile(Archive, Archive.Files.OrigBak);
    switch (Verdict.Kind)
    {
        case EVerdict::NothingToDo:
            if (Verdict.bRestore)
                return FString::Printf(u"Nothing to restore: %s is the game's own archive already (there is no %s).",
                                       *Archive.Shown, *Orig);
            if (Verdict.State == EArchiveState::Shrunk)
                return FString::Printf(u"%s is shrunk already (the original is kept as %s); %s undoes it.",
                                       *Archive.Shown, *Orig, *CommandFor(u"restore", Archive));
            return FString::Printf(u"%s holds no texture dictionary: there is nothing to shrink, and it is left as "
                                   u"it is.",
                                   *Archive.Shown);
        case EVerdict::NoFiles:
            if (Archive.bMain)
                return FString::Printf(u"There are no game files in %s: neither %s nor %s is there.",
                                       *ShellQuote(Archive.Game.Dir), *Archive.Shown, *Orig);
            return FString::Printf(u"Neither %s nor %s is there.", *Archive.Shown, *Orig);
        case EVerdict::Interrupted:
            return FString::Printf(u"%s is missing, but the original is kept as %s: an earlier shrink or restore was "
                                   u"interrupted.",
                                   *Archive.Shown, *Orig);
        case EVerdict::Busy:
            return FString::Printf(u"Another shrink or restore is running on %s (another pellmor, or PellmorWin.exe).",
                                   *Archive.Shown);
        default:
            return FString();
    }
}

// The work itself failed: which step, and the system's or the shrinker's reason.
FString DescribeFailedStep(const FGameArchive& Archive, const FVerdict& Verdict)
{
    switch (Verdict.Step)
    {
        case ETransactionFailure::None:
            return FString::Printf(u"No file can be made in %s (%s).", *ShellQuote(Archive.Folder),
                                   *SystemMessage(Verdict.OsError));
        case ETransactionFailure::NotReady:
            return FString::Printf(u"The files of %s changed while they were looked at, or could not be read for a "
                                   u"moment; nothing was changed. Try again.",
                                   *Archive.Shown);
        case ETransactionFailure::BuildFailed:
            return FString::Printf(u"The shrink of %s failed: %s.", *Archive.Shown,
                                   Verdict.Reason.IsEmpty() ? u"the new archive was not finished" : *Verdict.Reason);
        default:
            return FString::Printf(u"The %s of %s failed: %s", Verdict.bRestore ? u"restore" : u"shrink",
                                   *Archive.Shown, *SystemMessage(Verdict.OsError));
    }
}

// The sentence for a verdict; what a failed transaction left follows it.
FString DescribeVerdict(const FGameArchive& Archive, const FVerdict& Verdict)
{
    const bool bRan = Verdict.Step != ETransactionFailure::None && Verdict.Step != ETransactionFailure::NotReady;
    const FString Files = bRan ? DescribeFilesAfter(Archive, !Verdict.bRestore, Verdict.State) : FString();
    switch (Verdict.Kind)
    {
        case EVerdict::Done:
            return FString();
        case EVerdict::InUse:
            return FString::Printf(u"%s is in use: the game or another program has it open, so it could not be "
                                   u"renamed.%s",
                                   *Archive.Shown, *Files);
        case EVerdict::AccessDenied:
            return FString::Printf(u"You may not change the files in %s (access denied).%s",
                                   *ShellQuote(Archive.Folder), *Files);
        case EVerdict::NoSpace:
            return SpaceFailure(Archive, Verdict.FreeBytes, Verdict.NeededBytes) + Files;
        case EVerdict::Damaged:
            return DescribeDamage(Archive.Shown, Verdict.Damage) + Files;
        case EVerdict::NotAnArchive:
            return FString::Printf(u"%s is no IMG archive of the kind the game loads (version 2).%s", *Archive.Shown,
                                   *Files);
        case EVerdict::CannotRead:
            return FString::Printf(u"%s is there but cannot be read: %s", *Archive.Shown,
                                   *SystemMessage(Verdict.OsError));
        case EVerdict::Cancelled:
            return FString::Printf(u"Cancelled; %s is as it was.", *Archive.Shown);
        case EVerdict::Changed:
            return FString::Printf(u"%s changed after the shrink (a mod was installed into the shrunk archive): a "
                                   u"restore would take that change away from the game. Nothing was changed.",
                                   *Archive.Shown);
        case EVerdict::ShrunkOtherwise:
            return FString::Printf(u"%s is shrunk already, with another choice: it was made %s, and this shrink "
                                   u"asks for %s. It is left as it is.",
                                   *Archive.Shown, *Verdict.Made.Describe(), *Verdict.Asked.Describe());
        case EVerdict::Failed:
            return DescribeFailedStep(Archive, Verdict) + Files;
        default:
            return DescribeState(Archive, Verdict);
    }
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

FString DescribeStaleKept(const FGameArchive& Archive, const FString& Why, bool bRebuilt)
{
    const FString Kept = ShownFile(Archive, Archive.Files.KeptShrunk);
    if (bRebuilt)
        return FString::Printf(u"The kept shrunk archive %s no longer matched (%s), so a new one was built.", *Kept,
                               *Why);
    return FString::Printf(u"The kept shrunk archive %s no longer matches (%s): the next shrink builds a new one.",
                           *Kept, *Why);
}

FString AdviceFor(EVerdict Problem, const FGameArchive& Archive)
{
    switch (Problem)
    {
        case EVerdict::NoFiles:
            return Archive.bMain
                       ? DescribeNamedGameDir(Archive.Game)
                       : FString::Printf(u"%s lists the archives there.", *CommandFor(u"status --all", Archive.Game));
        case EVerdict::Interrupted:
            return FString::Printf(u"Run %s to repair it.", *CommandFor(u"restore", Archive));
        case EVerdict::Busy:
            return FString(u"Wait for it to end, then try again.");
        case EVerdict::InUse:
            return FString::Printf(u"Close the game (and any program that has %s open) and try again.",
                                   *Archive.Files.Name);
        case EVerdict::AccessDenied:
            if (IsWindowsSystem())
                return FString(u"Run pellmor as administrator, or move the game to a folder of your own (outside "
                               u"Program Files).");
            return FString::Printf(u"The user who runs pellmor must be able to write in %s. Its owner and "
                                   u"permissions:\n  ls -ld %s\nTo make it yours, for example:\n"
                                   u"  sudo chown -R \"$USER\" %s",
                                   *ShellQuote(Archive.Folder), *ShellQuote(Archive.Folder),
                                   *ShellQuote(Archive.Folder));
        case EVerdict::CannotRead:
            if (IsWindowsSystem())
                return FString::Printf(u"Check that your user may read %s, and the drive for errors; else copy the "
                                       u"file again from the game's install or a backup.",
                                       *Archive.Files.Name);
            return FString::Printf(u"Check that your user may read it:\n  ls -l %s\nand the disk for errors (dmesg); "
                                   u"else copy the file again from the game's install or a backup.",
                                   *ShellQuote(PathAsOnDisk(Archive.Files.Cur)));
        case EVerdict::NoSpace:
            return FString(u"Free some space on that drive and try again.");
        case EVerdict::Damaged:
        case EVerdict::NotAnArchive:
            return FString::Printf(u"Copy %s again from the game's install (or the mod it came with) or from a "
                                   u"backup.",
                                   *Archive.Files.Name);
        case EVerdict::Changed:
            return FString::Printf(u"To put the original back anyway (the change is then gone from the game), run %s; "
                                   u"then install the mod again into the original, and shrink again.",
                                   *CommandFor(u"restore --discard-changes", Archive));
        case EVerdict::ShrunkOtherwise:
            return FString::Printf(u"To shrink it with another choice, run %s first, then the shrink again.",
                                   *CommandFor(u"restore", Archive));
        case EVerdict::Failed:
            return FString::Printf(u"Run %s to see the state of the files.", *CommandFor(u"status", Archive));
        case EVerdict::Done:
        case EVerdict::NothingToDo:
        case EVerdict::Cancelled:
            break;
    }
    return FString();
}

FArchiveVerdict SayVerdict(const FGameArchive& Archive, const FVerdict& Verdict)
{
    FArchiveVerdict Said;
    Said.Problem = Verdict.Kind;
    Said.Sentence = DescribeVerdict(Archive, Verdict);
    Said.Advice = AdviceFor(Verdict.Kind, Archive);
    // The shrink asked for, with its options, is the second of the two commands to run.
    if (Verdict.Kind == EVerdict::ShrunkOtherwise)
        Said.Advice = FString::Printf(u"To shrink it with the new choice, run %s first, then %s.",
                                      *CommandFor(u"restore", Archive),
                                      *CommandFor(*(u"shrink" + ShrinkOptionsFor(Verdict.Asked)), Archive));
    Said.EngineText = Verdict.EngineText;
    if (!Verdict.Reason.IsEmpty())
        Said.EngineText += u" (" + Verdict.Reason + u")";
    return Said;
}

FArchiveVerdict CheckBeforeShrink(const FGameArchive& Archive, const FArchiveLook& Look, const FShrinkSettings& Asked)
{
    return SayVerdict(Archive, JudgeShrink(Look.Status, Look.Needs, Look.TextureDictionaries, Asked));
}

FArchiveVerdict CheckBeforeRestore(const FGameArchive& Archive, const FArchiveLook& Look)
{
    return SayVerdict(Archive, JudgeRestore(Look.Status, Look.Needs));
}

namespace
{
// What a file that a clean-up removes was, for people.
FString KeptFileRole(const FGameArchive& Archive, const FString& Path)
{
    if (Path == Archive.Files.KeptShrunk)
        return FString(u"the shrunk copy kept for the next shrink");
    if (Path == Archive.Files.Temp)
        return FString(u"left by an interrupted shrink");
    return FString(u"the record of the shrunk copy");
}

// A delete the system refused: the game holding the file, a closed folder, or another failure.
EVerdict RefusedDelete(uint32_t Error)
{
    if (Error == CoreOS::OSERROR_SharingViolation || Error == CoreOS::OSERROR_LockViolation)
        return EVerdict::InUse;
    return Error == CoreOS::OSERROR_AccessDenied ? EVerdict::AccessDenied : EVerdict::Failed;
}
} // namespace

FArchiveVerdict SayClean(const FGameArchive& Archive, const FCleanResult& Clean)
{
    FArchiveVerdict Said;
    const FString Kept = ShownFile(Archive, Archive.Files.KeptShrunk);
    for (const FString& Path : Clean.Removed)
        Said.Sentence += FString::Printf(u"Removed %s: %s.\n", *ShownFile(Archive, Path),
                                         *KeptFileRole(Archive, Path));
    switch (Clean.Outcome)
    {
        case ECleanOutcome::Done:
            Said.Problem = EVerdict::Done;
            break;
        case ECleanOutcome::NothingToDo:
            Said.Problem = EVerdict::NothingToDo;
            Said.Sentence = FString::Printf(u"Nothing to remove beside %s: no shrunk copy is kept there.",
                                            *Archive.Shown);
            break;
        case ECleanOutcome::Busy:
        case ECleanOutcome::Interrupted:
        {
            FVerdict Verdict;
            Verdict.Kind = Clean.Outcome == ECleanOutcome::Busy ? EVerdict::Busy : EVerdict::Interrupted;
            Said = SayVerdict(Archive, Verdict);
            break;
        }
        case ECleanOutcome::Changed:
            Said.Problem = EVerdict::Changed;
            Said.Sentence = FString::Printf(u"%s holds a change made after the shrink (a mod installed into the shrunk "
                                            u"archive), and it is the only copy of it: it was left as it is.",
                                            *Kept);
            Said.Advice = FString::Printf(u"To remove it anyway, run %s.",
                                          *CommandFor(u"clean --discard-changes", Archive));
            break;
        case ECleanOutcome::Failed:
            Said.Problem = RefusedDelete(Clean.OsError);
            Said.Sentence += FString::Printf(u"%s could not be removed: %s", *ShownFile(Archive, Clean.FailedFile),
                                             *SystemMessage(Clean.OsError));
            Said.Advice = AdviceFor(Said.Problem, Archive);
            break;
    }
    return Said;
}

EPellmorError ErrorFor(EVerdict Problem)
{
    switch (Problem)
    {
        case EVerdict::NoFiles:
            return EPellmorError::NoGame;
        case EVerdict::Busy:
            return EPellmorError::Busy;
        case EVerdict::InUse:
            return EPellmorError::InUse;
        case EVerdict::AccessDenied:
            return EPellmorError::AccessDenied;
        case EVerdict::NoSpace:
            return EPellmorError::NoSpace;
        case EVerdict::Damaged:
            return EPellmorError::Damaged;
        case EVerdict::NotAnArchive:
            return EPellmorError::NotAnArchive;
        case EVerdict::CannotRead:
            return EPellmorError::CannotRead;
        case EVerdict::Cancelled:
            return EPellmorError::Cancelled;
        case EVerdict::Changed:
            return EPellmorError::Changed;
        case EVerdict::ShrunkOtherwise:
            return EPellmorError::ShrunkOtherwise;
        case EVerdict::Done:
        case EVerdict::NothingToDo:
        case EVerdict::Interrupted:
        case EVerdict::Failed:
            break;
    }
    return EPellmorError::Failed;
}

int32_t PrintVerdict(FPellmorConsole& Console, const FPellmorOptions& Options, const FArchiveVerdict& Verdict,
                     const FJsonMembers& Members)
{
    const int32_t Exit =
        PrintFailure(Console, Options.bJson, ErrorFor(Verdict.Problem), Verdict.Sentence, Verdict.Advice, Members);
    if (Options.bVerbose && !Verdict.EngineText.IsEmpty())
        Console.Err(FString::Printf(u"pellmor: the engine said: %s\n", *Verdict.EngineText));
    return Exit;
}
