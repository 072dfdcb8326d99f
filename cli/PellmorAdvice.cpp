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

// The archive as the command's words for Verdict name it. What takes a look at the disk is looked up only for
// the verdict whose words need it.
FOutcomeNames NamesOf(const FGameArchive& Archive, const FVerdict& Verdict)
{
    FOutcomeNames Names;
    Names.Archive = Archive.Shown;
    Names.File = Archive.Files.Name;
    Names.Folder = ShellQuote(Archive.Folder);
    Names.Original = ShownFile(Archive, Archive.Files.OrigBak);
    Names.bMain = Archive.bMain;
    Names.bWindows = IsWindowsSystem();
    Names.GameDir = ShellQuote(Archive.Game.Dir);
    if (Archive.bMain && Verdict.Kind == EVerdict::NoFiles)
        Names.NamedGameDir = DescribeNamedGameDir(Archive.Game);
    if (Verdict.Kind == EVerdict::CannotRead)
        Names.DiskPath = ShellQuote(PathAsOnDisk(Archive.Files.Cur));
    Names.AskedOptions = ShrinkOptionsFor(Verdict.Asked);
    Names.Command = [&Archive](const FString& Command, bool bGame) {
        return bGame ? CommandFor(*Command, Archive.Game) : CommandFor(*Command, Archive);
    };
    return Names;
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
    FVerdict Verdict;
    Verdict.Kind = Problem;
    return SayOutcome(&FOutcome::CommandAdvice, NamesOf(Archive, Verdict), Verdict);
}

FArchiveVerdict SayVerdict(const FGameArchive& Archive, const FVerdict& Verdict)
{
    const FOutcomeNames Names = NamesOf(Archive, Verdict);
    FArchiveVerdict Said;
    Said.Problem = Verdict.Kind;
    Said.Sentence = SayOutcome(&FOutcome::CommandSentence, Names, Verdict);
    Said.Advice = SayOutcome(&FOutcome::CommandAdvice, Names, Verdict);
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
    for (int32_t Error = 0; Error <= int32_t(EPellmorError::Failed); ++Error)
        if (PellmorErrorVerdict(EPellmorError(Error)) == Problem && Problem != EVerdict::Done)
            return EPellmorError(Error);
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
