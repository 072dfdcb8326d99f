// The outcomes' table and their words: the command line's sentences and advice, and the dialog's advice, written
// once here so that status, shrink, restore, clean and the dialog say the same of the same outcome.
#include "engine/FOutcomes.h"

#include "Core/Inc/CoreFormat.h"
#include "Core/Inc/CoreOS.h"

namespace
{
const char16_t* const Paragraph = u"\r\n\r\n";

FString SystemMessage(uint32_t Error)
{
    char16_t Text[512] = {};
    CoreOS::SystemErrorMessage(Error, Text, 512);
    return FString(Text);
}

FString Command(const FOutcomeNames& Names, const char16_t* What, bool bGame = false)
{
    return Names.Command ? Names.Command(What, bGame) : FString(What);
}

// ---- The command line: what happened ----------------------------------------------------------------------

// What a failed transaction left: the files as they were, or what a restore must repair. Empty before one ran.
FString FilesAfter(const FOutcomeNames& Names, const FVerdict& Verdict)
{
    if (Verdict.Step == ETransactionFailure::None || Verdict.Step == ETransactionFailure::NotReady)
        return FString();
    switch (Verdict.State)
    {
        case EArchiveState::Original:
        case EArchiveState::Damaged:
        case EArchiveState::NotAnArchive:
            return Verdict.bRestore ? FString() : FString(u" The game's files are as they were.");
        case EArchiveState::Shrunk:
            return !Verdict.bRestore ? FString()
                                     : FString::Printf(u" The shrunk archive is still in use; the original is kept "
                                                       u"as %s.",
                                                       *Names.Original);
        case EArchiveState::Interrupted:
            return FString::Printf(u" %s is missing now, but the original is safe as %s: %s puts it back.",
                                   *Names.Archive, *Names.Original, *Command(Names, u"restore"));
        default:
            return FString();
    }
}

FString SaysNothingToDo(const FOutcomeNames& Names, const FVerdict& Verdict)
{
    if (Verdict.bRestore)
        return FString::Printf(u"Nothing to restore: %s is the game's own archive already (there is no %s).",
                               *Names.Archive, *Names.Original);
    if (Verdict.State == EArchiveState::Shrunk)
        return FString::Printf(u"%s is shrunk already (the original is kept as %s); %s undoes it.", *Names.Archive,
                               *Names.Original, *Command(Names, u"restore"));
    return FString::Printf(u"%s holds no texture dictionary: there is nothing to shrink, and it is left as it is.",
                           *Names.Archive);
}

FString SaysShrunkOtherwise(const FOutcomeNames& Names, const FVerdict& Verdict)
{
    return FString::Printf(u"%s is shrunk already, with another choice: it was made %s, and this shrink asks for %s. "
                           u"It is left as it is.",
                           *Names.Archive, *Verdict.Made.Describe(), *Verdict.Asked.Describe());
}

FString SaysNoFiles(const FOutcomeNames& Names, const FVerdict&)
{
    if (Names.bMain)
        return FString::Printf(u"There are no game files in %s: neither %s nor %s is there.", *Names.GameDir,
                               *Names.Archive, *Names.Original);
    return FString::Printf(u"Neither %s nor %s is there.", *Names.Archive, *Names.Original);
}

FString SaysInterrupted(const FOutcomeNames& Names, const FVerdict&)
{
    return FString::Printf(u"%s is missing, but the original is kept as %s: an earlier shrink or restore was "
                           u"interrupted.",
                           *Names.Archive, *Names.Original);
}

FString SaysBusy(const FOutcomeNames& Names, const FVerdict&)
{
    return FString::Printf(u"Another shrink or restore is running on %s (another pellmor, or PellmorWin.exe).",
                           *Names.Archive);
}

FString SaysInUse(const FOutcomeNames& Names, const FVerdict& Verdict)
{
    return FString::Printf(u"%s is in use: the game or another program has it open, so it could not be renamed.%s",
                           *Names.Archive, *FilesAfter(Names, Verdict));
}

FString SaysAccessDenied(const FOutcomeNames& Names, const FVerdict& Verdict)
{
    return FString::Printf(u"You may not change the files in %s (access denied).%s", *Names.Folder,
                           *FilesAfter(Names, Verdict));
}

FString SaysNoSpace(const FOutcomeNames& Names, const FVerdict& Verdict)
{
    if (Verdict.FreeBytes < 0)
        return FString::Printf(u"A shrink of %s needs %s free on the drive that holds it, and how much is free "
                               u"cannot be told.",
                               *Names.Archive, *appFormatMegabytes(Verdict.NeededBytes)) +
               FilesAfter(Names, Verdict);
    return FString::Printf(u"A shrink of %s needs %s free on the drive that holds it; %s are free.", *Names.Archive,
                           *appFormatMegabytes(Verdict.NeededBytes), *appFormatMegabytes(Verdict.FreeBytes)) +
           FilesAfter(Names, Verdict);
}

FString SaysDamaged(const FOutcomeNames& Names, const FVerdict& Verdict)
{
    return DescribeDamage(Names.Archive, Verdict.Damage) + FilesAfter(Names, Verdict);
}

FString SaysNotAnArchive(const FOutcomeNames& Names, const FVerdict& Verdict)
{
    return FString::Printf(u"%s is no IMG archive of the kind the game loads (version 2).%s", *Names.Archive,
                           *FilesAfter(Names, Verdict));
}

FString SaysCannotRead(const FOutcomeNames& Names, const FVerdict& Verdict)
{
    return FString::Printf(u"%s is there but cannot be read: %s", *Names.Archive, *SystemMessage(Verdict.OsError));
}

FString SaysCancelled(const FOutcomeNames& Names, const FVerdict&)
{
    return FString::Printf(u"Cancelled; %s is as it was.", *Names.Archive);
}

FString SaysChanged(const FOutcomeNames& Names, const FVerdict&)
{
    return FString::Printf(u"%s changed after the shrink (a mod was installed into the shrunk archive): a restore "
                           u"would take that change away from the game. Nothing was changed.",
                           *Names.Archive);
}

// The work itself failed: which step, and the system's or the shrinker's reason.
FString SaysFailed(const FOutcomeNames& Names, const FVerdict& Verdict)
{
    switch (Verdict.Step)
    {
        case ETransactionFailure::None:
            return FString::Printf(u"No file can be made in %s (%s).", *Names.Folder,
                                   *SystemMessage(Verdict.OsError));
        case ETransactionFailure::NotReady:
            return FString::Printf(u"The files of %s changed while they were looked at, or could not be read for a "
                                   u"moment; nothing was changed. Try again.",
                                   *Names.Archive);
        case ETransactionFailure::BuildFailed:
            return FString::Printf(u"The shrink of %s failed: %s.", *Names.Archive,
                                   Verdict.Reason.IsEmpty() ? u"the new archive was not finished" : *Verdict.Reason) +
                   FilesAfter(Names, Verdict);
        default:
            return FString::Printf(u"The %s of %s failed: %s", Verdict.bRestore ? u"restore" : u"shrink",
                                   *Names.Archive, *SystemMessage(Verdict.OsError)) +
                   FilesAfter(Names, Verdict);
    }
}

// ---- The command line: what to do -------------------------------------------------------------------------

FString AdvisesNoFiles(const FOutcomeNames& Names, const FVerdict&)
{
    if (Names.bMain)
        return Names.NamedGameDir;
    return FString::Printf(u"%s lists the archives there.", *Command(Names, u"status --all", true));
}

FString AdvisesRestore(const FOutcomeNames& Names, const FVerdict&)
{
    return FString::Printf(u"Run %s to repair it.", *Command(Names, u"restore"));
}

FString AdvisesWait(const FOutcomeNames&, const FVerdict&)
{
    return FString(u"Wait for it to end, then try again.");
}

FString AdvisesClosing(const FOutcomeNames& Names, const FVerdict&)
{
    return FString::Printf(u"Close the game (and any program that has %s open) and try again.", *Names.File);
}

FString AdvisesRights(const FOutcomeNames& Names, const FVerdict&)
{
    if (Names.bWindows)
        return FString(u"Run pellmor as administrator, or move the game to a folder of your own (outside Program "
                       u"Files).");
    return FString::Printf(u"The user who runs pellmor must be able to write in %s. Its owner and permissions:\n"
                           u"  ls -ld %s\nTo make it yours, for example:\n  sudo chown -R \"$USER\" %s",
                           *Names.Folder, *Names.Folder, *Names.Folder);
}

FString AdvisesReading(const FOutcomeNames& Names, const FVerdict&)
{
    if (Names.bWindows)
        return FString::Printf(u"Check that your user may read %s, and the drive for errors; else copy the file "
                               u"again from the game's install or a backup.",
                               *Names.File);
    return FString::Printf(u"Check that your user may read it:\n  ls -l %s\nand the disk for errors (dmesg); else "
                           u"copy the file again from the game's install or a backup.",
                           *Names.DiskPath);
}

FString AdvisesSpace(const FOutcomeNames&, const FVerdict&)
{
    return FString(u"Free some space on that drive and try again.");
}

FString AdvisesCopyAgain(const FOutcomeNames& Names, const FVerdict&)
{
    return FString::Printf(u"Copy %s again from the game's install (or the mod it came with) or from a backup.",
                           *Names.File);
}

FString AdvisesDiscarding(const FOutcomeNames& Names, const FVerdict&)
{
    return FString::Printf(u"To put the original back anyway (the change is then gone from the game), run %s; then "
                           u"install the mod again into the original, and shrink again.",
                           *Command(Names, u"restore --discard-changes"));
}

// The shrink asked for, with its options, is the second of the two commands to run.
FString AdvisesRestoreFirst(const FOutcomeNames& Names, const FVerdict&)
{
    return FString::Printf(u"To shrink it with the new choice, run %s first, then %s.", *Command(Names, u"restore"),
                           *Command(Names, *(u"shrink" + Names.AskedOptions)));
}

FString AdvisesStatus(const FOutcomeNames& Names, const FVerdict&)
{
    return FString::Printf(u"Run %s to see the state of the files.", *Command(Names, u"status"));
}

// ---- The dialog -------------------------------------------------------------------------------------------

FString TellsBusy(const FOutcomeNames&, const FVerdict&)
{
    return u"Another shrink or restore (another PellmorWin.exe, or pellmor) is running on these game files; nothing "
           u"was changed. Wait until it has finished, then try again.";
}

FString TellsSpace(const FOutcomeNames&, const FVerdict& Verdict)
{
    const FString Needed = appFormatMegabytes(Verdict.NeededBytes);
    if (Verdict.FreeBytes < 0)
        return FString::Printf(u"PellmorWin cannot tell how much space is free on the drive that holds the game; a "
                               u"shrink needs %s.",
                               *Needed);
    return FString::Printf(u"There is not enough free space on the drive that holds the game: %s free, %s needed. "
                           u"Free some space and try again.",
                           *appFormatMegabytes(Verdict.FreeBytes), *Needed);
}

FString TellsDamaged(const FOutcomeNames& Names, const FVerdict& Verdict)
{
    return DescribeDamage(Names.File, Verdict.Damage) + u" " + DescribeCopyAgainForDialog(Names.File);
}

FString TellsNotAnArchive(const FOutcomeNames& Names, const FVerdict&)
{
    return DescribeNotAnArchiveForDialog(Names.File) + u" " + DescribeCopyAgainForDialog(Names.File);
}

FString TellsRights(const FOutcomeNames& Names, const FVerdict&)
{
    return u"Windows does not let PellmorWin change the files in\r\n" + Names.Folder +
           u"\r\n\r\nRun PellmorWin as administrator (right-click PellmorWin.exe and choose \"Run as "
           u"administrator\"), or move the game to a folder you may write to, such as C:\\Games.";
}

FString TellsInUse(const FOutcomeNames& Names, const FVerdict&)
{
    return FString::Printf(u"The game's archive is in use, so Windows does not let PellmorWin rename or delete it. "
                           u"Close the game, or any program that has %s open, and try again.",
                           *Names.File);
}

FString TellsChanged(const FOutcomeNames& Names, const FVerdict&)
{
    return FString::Printf(u"%s changed after the shrink (a mod was installed into the shrunk archive), and a "
                           u"restore would take that change away from the game. To restore anyway, open PellmorWin, "
                           u"click Restore and answer Yes; then install the mod again into the original, and shrink "
                           u"again.",
                           *Names.File);
}

FString TellsShrunkOtherwise(const FOutcomeNames& Names, const FVerdict& Verdict)
{
    return FString::Printf(u"%s is shrunk already, with another choice: it was made %s, and this shrink asks for %s. "
                           u"Nothing was changed.%sTo shrink it with this choice, restore it first (Restore in the "
                           u"window, or PellmorWin.exe /u), then shrink again.",
                           *Names.File, *Verdict.Made.Describe(), *Verdict.Asked.Describe(), Paragraph);
}

// In the order of EVerdict.
const FOutcome Outcomes[] = {
    {EVerdict::Done, nullptr, EOutcomeExit::Done, u"done", nullptr, nullptr, nullptr},
    {EVerdict::NothingToDo, nullptr, EOutcomeExit::Done, u"nothing to do", SaysNothingToDo, nullptr, nullptr},
    {EVerdict::ShrunkOtherwise, u"shrunk-otherwise", EOutcomeExit::Failed,
     u"a shrink was refused: the archive is shrunk already with another choice; restore first, then shrink",
     SaysShrunkOtherwise, AdvisesRestoreFirst, TellsShrunkOtherwise},
    {EVerdict::NoFiles, u"no-game", EOutcomeExit::Usage, u"no game folder found, or no game files in the folder named",
     SaysNoFiles, AdvisesNoFiles, nullptr},
    {EVerdict::Interrupted, u"failed", EOutcomeExit::Failed,
     u"an earlier shrink or restore was interrupted; a restore repairs it", SaysInterrupted, AdvisesRestore,
     nullptr},
    {EVerdict::Busy, u"busy", EOutcomeExit::Failed, u"another shrink or restore is running on the same files",
     SaysBusy, AdvisesWait, TellsBusy},
    {EVerdict::InUse, u"in-use", EOutcomeExit::Failed, u"the game or another program has the archive open", SaysInUse,
     AdvisesClosing, TellsInUse},
    {EVerdict::AccessDenied, u"access-denied", EOutcomeExit::Failed, u"the archive's folder may not be changed",
     SaysAccessDenied, AdvisesRights, TellsRights},
    {EVerdict::NoSpace, u"no-space", EOutcomeExit::Failed, u"too little free space for a shrink", SaysNoSpace,
     AdvisesSpace, TellsSpace},
    {EVerdict::Damaged, u"damaged", EOutcomeExit::Failed, u"entries of the archive lie past its end; copy it again",
     SaysDamaged, AdvisesCopyAgain, TellsDamaged},
    {EVerdict::NotAnArchive, u"not-an-archive", EOutcomeExit::Failed,
     u"the archive is no IMG archive of the game's kind (version 2)", SaysNotAnArchive, AdvisesCopyAgain,
     TellsNotAnArchive},
    {EVerdict::CannotRead, u"cannot-read", EOutcomeExit::Failed,
     u"SRC or the skip rules file cannot be read, or an archive of the game is there but cannot be (a permission, a "
     u"disk fault)",
     SaysCannotRead, AdvisesReading, nullptr},
    {EVerdict::Cancelled, u"cancelled", EOutcomeExit::Cancelled,
     u"cancelled by Ctrl-C, SIGTERM or a closed terminal; the files are as they were", SaysCancelled, nullptr,
     nullptr},
    {EVerdict::Changed, u"changed", EOutcomeExit::Failed,
     u"a restore was refused: the archive in use changed after the shrink (a mod was installed into it); restore "
     u"--discard-changes puts the original back anyway",
     SaysChanged, AdvisesDiscarding, TellsChanged},
    {EVerdict::Failed, u"failed", EOutcomeExit::Failed, u"the work itself failed; the message says why", SaysFailed,
     AdvisesStatus, nullptr},
};
static_assert(sizeof(Outcomes) / sizeof(Outcomes[0]) == size_t(EVerdict::Failed) + 1, "a row for every verdict");
} // namespace

const FOutcome& GetOutcome(EVerdict Kind)
{
    // A value outside the enumeration is a fault of the program's: the last row stands in for it.
    const size_t Count = sizeof(Outcomes) / sizeof(Outcomes[0]);
    const size_t Index = size_t(Kind) < Count ? size_t(Kind) : Count - 1;
    appCheck(Outcomes[Index].Kind == Kind);
    return Outcomes[Index];
}

FString SayOutcome(FOutcomeWords FOutcome::*Words, const FOutcomeNames& Names, const FVerdict& Verdict)
{
    const FOutcomeWords Say = GetOutcome(Verdict.Kind).*Words;
    return Say ? Say(Names, Verdict) : FString();
}

FString DescribeDamage(const FString& Archive, const FImgDamage& Damage)
{
    if (Damage.EntriesPastEnd > 0)
        return FString::Printf(u"%s is damaged: %d %s past the end of the file, which is %s short.", *Archive,
                               Damage.EntriesPastEnd, Damage.EntriesPastEnd == 1 ? u"entry lies" : u"entries lie",
                               *appFormatMegabytes(Damage.BytesPastEnd));
    return FString::Printf(u"%s is damaged: its entries claim %s, more than twice what the file holds.", *Archive,
                           *appFormatMegabytes(Damage.BytesClaimed));
}

FString DescribeNotAnArchiveForDialog(const FString& File)
{
    return FString::Printf(u"%s is not an IMG version-2 archive, as the game's own is.", *File);
}

FString DescribeCopyAgainForDialog(const FString& File)
{
    return FString::Printf(u"Copy %s again from the game's install or a backup.", *File);
}

FFitAccount AccountFit(const TDynArray<FTransactionResult>& Shrinks, const FShrinkSettings& Settings)
{
    FFitAccount Fit;
    if (Settings.Mode != EShrinkMode::Fit)
        return Fit;
    int64_t Before = 0;
    for (const FTransactionResult& Shrink : Shrinks)
        if (Shrink.Verdict.IsDone() && Shrink.BytesAfter >= 0)
        {
            Fit.bAsked = true;
            Before += Shrink.BytesBefore;
            Fit.Bytes += Shrink.BytesAfter;
        }
    Fit.TargetBytes = Settings.FitTarget(Before);
    return Fit;
}

FString DescribeFitAccount(const FFitAccount& Fit)
{
    if (Fit.IsMet())
        return FString::Printf(u"It fits: %s, of the %s asked.", *appFormatMegabytes(Fit.Bytes),
                               *appFormatMegabytes(Fit.TargetBytes));
    return FString::Printf(
        u"It does not fit in the %s asked: %s is as small as it goes. No texture goes below %d pixels on "
        u"a side, and those the skip rules name, palette textures and those that cannot be "
        u"decoded stay as they are.",
        *appFormatMegabytes(Fit.TargetBytes), *appFormatMegabytes(Fit.Bytes), int32_t(SHRINK_MinKeptSide));
}
