// The dialog's plain advice for failures and the status texts for what the engine found in the game's files.
#include "app/PellmorWinAdvice.h"

#include "Core/Inc/CoreFormat.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CorePath.h"

namespace
{
const char16_t* const Paragraph = u"\r\n\r\n";

// The archive as the dialog's words name it.
FOutcomeNames NamesOf(const FArchiveFiles& Files)
{
    FOutcomeNames Names;
    Names.Archive = Files.Name;
    Names.File = Files.Name;
    Names.Folder = Files.Folder;
    Names.Original = appPathFileName(Files.OrigBak);
    return Names;
}
} // namespace

FString DescribeFailure(const FString& Message, const FVerdict& Verdict, const FArchiveFiles& Files)
{
    FString Text = Message;
    if (Verdict.bRestore)
    {
        Text += Paragraph;
        Text += Verdict.IsOriginalKept()
                    ? FString::Printf(u"The restore failed; the original archive is still kept as %s.",
                                      *appPathFileName(Files.OrigBak))
                    : FString(u"The restore failed.");
    }
    const FString Advice = SayOutcome(&FOutcome::DialogAdvice, NamesOf(Files), Verdict);
    if (!Advice.IsEmpty())
        Text += Paragraph + Advice;
    return Text;
}

FString DescribeShrunkOtherwise(const FString& Name, const FVerdict& Verdict)
{
    FArchiveFiles Files;
    Files.Name = Name;
    return SayOutcome(&FOutcome::DialogAdvice, NamesOf(Files), Verdict);
}

FString DescribeSystemError(uint32_t Error)
{
    char16_t Text[512] = {};
    CoreOS::SystemErrorMessage(Error, Text, 512);
    // Some of the system's texts keep a place for the file they are about ("Bad EXE format for %1."), which the
    // system fills in only when asked with the file.
    FString Said(Text);
    const int32_t Insert = Said.InStr(u"%1");
    if (Insert >= 0)
        Said = Said.Left(Insert) + u"the file" + Said.Mid(Insert + 2);
    return FString::Printf(u"system error %u: %s", Error, *Said);
}

FString DescribeLogPlace(const FString& LogPath)
{
    return LogPath.IsEmpty() ? FString() : u"What happened is logged in " + LogPath;
}

FString DescribeUnknownFlag(const FString& Flag)
{
    return FString::Printf(u"PellmorWin does not know the flag %s, and did nothing.\r\n\r\n"
                           u"It knows these:\r\n"
                           u"/s\tshrinks the game's archives, then closes\r\n"
                           u"/u\trestores the original archives, then closes\r\n\r\n"
                           u"Without a flag the window opens.",
                           *Flag);
}

FString DescribeWaitGivenUp(int32_t Minutes)
{
    return FString::Printf(u"Another shrink or restore has been running on these game files for %d minutes. "
                           u"PellmorWin stopped waiting for it and changed nothing; try again once it has finished.",
                           Minutes);
}

FString GetBusyElsewhereStatus()
{
    return u"Another shrink or restore is running on these game files.\r\n\r\nPlease wait until it has finished.\r\n";
}

FString GetUnshrinkableStatus(const FArchiveStatus& Seen, const FString& ArchiveName)
{
    FString What;
    if (Seen.State == EArchiveState::Damaged)
        What = DescribeDamage(ArchiveName, Seen.Check.Damage);
    else if (Seen.State == EArchiveState::NotAnArchive)
        What = DescribeNotAnArchiveForDialog(ArchiveName);
    else
        return FString();
    return u"Found GTA:SA files, but " + What + Paragraph + DescribeCopyAgainForDialog(ArchiveName) +
           u" Shrink stays off until then.\r\n";
}

FString GetStaleKeptLine(const FArchiveStatus& Seen)
{
    if (Seen.Kept != EKeptArchive::Stale)
        return FString();
    if (Seen.KeptWhy.IsEmpty())
        return u"\r\nThe next shrink builds a new shrunk archive: the kept one is out of date.\r\n";
    return u"\r\nThe next shrink builds a new shrunk archive, because " + Seen.KeptWhy + u".\r\n";
}

namespace
{
// "908.4 MB -> 476.2 MB, 432.2 MB less".
FString DescribeSizeChange(int64_t Before, int64_t After)
{
    const int64_t Saved = Before - After;
    return FString::Printf(u"%s -> %s, %s %s", *appFormatMegabytes(Before), *appFormatMegabytes(After),
                           *appFormatMegabytes(Saved >= 0 ? Saved : -Saved), Saved >= 0 ? u"less" : u"more");
}
} // namespace

FString GetGameDirSourceLine(const FGameDir& Origin, bool bAboveProgram)
{
    switch (Origin.Source)
    {
        case EGameDirSource::Remembered:
            return u"The folder you used last time.";
        case EGameDirSource::ProgramFolder:
            return bAboveProgram ? u"The folder above the one this program is in." : u"The folder this program is in.";
        case EGameDirSource::Registry:
            return u"Found in the registry.";
        case EGameDirSource::WinePrefix:
            return u"Found in Wine's registry.";
        case EGameDirSource::Steam:
            return u"Found through Steam.";
        case EGameDirSource::Default:
            return u"The default install folder.";
        default:
            // A folder picked with Browse, when the game's folder was found from it.
            if (Origin.Given == EGameDirGiven::ModelsFolder || Origin.Given == EGameDirGiven::ArchiveFile ||
                !Origin.Nearby.IsEmpty())
                return u"The game's folder, found from the one you picked.";
            return FString();
    }
}

FString DescribeNoGameHere(const FGameDir& Given)
{
    FString What;
    switch (Given.Given)
    {
        case EGameDirGiven::Missing:
            What = u"This folder does not exist.";
            break;
        case EGameDirGiven::OtherFile:
            What = u"This is a file, not a folder.";
            break;
        case EGameDirGiven::OtherFolder:
            What = u"This folder holds no Models\\gta3.img.";
            break;
        default:
            return FString();
    }
    if (!Given.Nearby.IsEmpty())
        return What + u"\r\nThe game seems to be in " + appWithoutTrailingSeparators(Given.Nearby) + u".";
    return What + FString::Printf(u"\r\nThe game is usually in %s, or, bought on Steam, in "
                                  u"...\\steamapps\\common\\%s.",
                                  *appWithoutTrailingSeparators(GDefaultGameDir), GSteamGameFolder);
}

FString DescribeShrunkSizes(const FString& Name, int64_t Before, int64_t After)
{
    return Name + u": " + DescribeSizeChange(Before, After);
}

FString DescribeArchiveLine(const FArchiveOutcome& Archive, bool bState)
{
    const FArchiveStatus& Status = Archive.Status;
    const FString Name = Archive.Name + u": ";
    switch (Status.State)
    {
        case EArchiveState::Original:
            return Name + (bState ? u"original, " : u"") + appFormatMegabytes(Status.CurBytes);
        case EArchiveState::Shrunk:
            // The original's size is known while it is kept.
            return Name + (bState ? u"shrunk, " : u"") +
                   (Status.OrigBytes < 0 || Status.CurBytes < 0
                        ? appFormatMegabytes(Status.CurBytes)
                        : DescribeSizeChange(Status.OrigBytes, Status.CurBytes));
        default:
            break;
    }
    if (!bState)
        return FString();
    switch (Status.State)
    {
        case EArchiveState::Interrupted:
            return Name + u"interrupted; Restore repairs it";
        case EArchiveState::Damaged:
            return Name + u"damaged";
        case EArchiveState::NotAnArchive:
            return Name + u"not an IMG archive";
        case EArchiveState::Busy:
            return Name + u"in use by another shrink or restore";
        default:
            return Name + u"not found";
    }
}

FString DescribeShrunkBefore(const TDynArray<FArchiveOutcome>& Archives)
{
    FString Lines;
    for (const FArchiveOutcome& Archive : Archives)
    {
        const FTransactionResult& Done = Archive.Transaction;
        if (Archive.bRan && Done.Verdict.IsDone() && Done.BytesBefore >= 0 && Done.BytesAfter >= 0)
            Lines += u"\r\n" + DescribeShrunkSizes(Archive.Name, Done.BytesBefore, Done.BytesAfter);
    }
    return Lines.IsEmpty() ? Lines : u"Shrunk before that:" + Lines;
}

namespace
{
// "at most 512 pixels, smooth", "with the standard shrink".
FString DescribeMade(const FShrinkSettings& Settings)
{
    return Settings.Mode == EShrinkMode::Standard ? u"with " + Settings.Describe()
           : Settings.Mode == EShrinkMode::Fit    ? u"to " + Settings.Describe()
                                                  : Settings.Describe();
}
} // namespace

FString DescribeShrunkSettings(const FArchiveStatus& Seen)
{
    if (Seen.State != EArchiveState::Shrunk || Seen.RecordRead != ERecordRead::Read)
        return FString();
    return u"Shrunk " + DescribeMade(Seen.Record.Settings) + u".";
}

FString DescribeShrunkChanged(const FString& Name)
{
    return Name + u" changed after the shrink (a mod was installed into it): a restore would lose that change.";
}

FString DescribeEstimate(const TDynArray<FArchiveOutcome>& Estimate)
{
    int64_t Before = 0, After = 0;
    int32_t Count = 0;
    FString Name;
    for (const FArchiveOutcome& Archive : Estimate)
        if (Archive.EstimatedBytes >= 0 && Archive.Status.CurBytes >= 0)
        {
            Before += Archive.Status.CurBytes;
            After += Archive.EstimatedBytes;
            Name = Archive.Name;
            ++Count;
        }
    if (Count == 0)
        return FString();
    const FString What = Count == 1 ? Name + u" becomes" : FString::Printf(u"the %d archives to shrink become", Count);
    return FString::Printf(u"With this choice %s about %s (from %s).", *What, *appFormatMegabytes(After),
                           *appFormatMegabytes(Before));
}

FString DescribeKeptSettings(const FArchiveStatus& Seen, const FShrinkSettings& Choice)
{
    if (Seen.State != EArchiveState::Original || Seen.Kept != EKeptArchive::Current ||
        Seen.RecordRead != ERecordRead::Read || Seen.Record.Settings.MakesSameArchive(Choice))
        return FString();
    return u"The kept shrunk archive was made " + DescribeMade(Seen.Record.Settings) +
           u"; Shrink builds a new one for this choice.";
}

FString DescribeRestoreFirst()
{
    return u"To shrink with this choice instead, click Restore first, then Shrink.";
}

FString DescribeDiscardQuestion(const FString& Names)
{
    return Names + u" changed after the shrink: a mod was installed into the shrunk archive. A restore puts the "
                   u"original back without that change, and the change is lost from the game.\r\n\r\n"
                   u"Restore anyway and lose the change?";
}

FString DescribeProgress(const FShrinkProgressInfo& Info)
{
    if (Info.Archive.IsEmpty())
        return FString();
    FString Text = Info.ArchiveCount > 1
                       ? FString::Printf(u"%s (%d of %d)", *Info.Archive, Info.ArchiveIndex, Info.ArchiveCount)
                       : Info.Archive;
    if (Info.BytesTotal <= 0)
        return Text;
    Text += FString::Printf(u"\r\n%s of %s", *appFormatMegabytes(Info.BytesDone), *appFormatMegabytes(Info.BytesTotal));
    if (Info.SecondsLeft >= 0)
        Text += FString::Printf(u", %s left", *appFormatDuration(Info.SecondsLeft));
    return Text;
}

FString DescribeChoice(const FShrinkSettings& Settings)
{
    const FString Size =
        Settings.Mode == EShrinkMode::Standard
            ? FString(u"Each texture loses its sharpest level: smaller files, less memory for the game, a little "
                      u"blurrier up close.")
        : Settings.Mode == EShrinkMode::KeepQuality
            ? FString::Printf(u"Each texture is halved as far as it stays at %d dB or better up close: smaller "
                              u"files where it does not show.",
                              Settings.MinPsnr)
        : Settings.Mode == EShrinkMode::Fit
            ? FString(u"Textures are halved where it shows least, until the size given is reached: smaller files, "
                      u"less memory.")
            : FString::Printf(u"Textures larger than %d pixels are halved until they fit: smaller files, less "
                              u"memory, blurrier up close.",
                              Settings.MaxSide);
    return Size + (Settings.IsSmooth() ? u" Smooth: pixels averaged, not picked; softer, less jagged."
                                       : u" Pixels picked, not averaged; crisper, more jagged.");
}

FString DescribeFitHint(int64_t Megabytes, int64_t TodayBytes, bool bSeveral)
{
    const int64_t TodayMegabytes = int64_t(double(TodayBytes) / appBytesPerMegabyte());
    const FString Today = (bSeveral ? u"the archives are " : u"the archive is ") + appFormatMegabytes(TodayBytes);
    if (TodayMegabytes < 1)
        return u"Fit in ... MB takes 1 MB or more, and " + Today + u": choose another texture size.";
    if (Megabytes < 1)
        return FString::Printf(u"Type the size to fit in: 1 to %lld MB.", (long long)TodayMegabytes);
    if (Megabytes > TodayMegabytes)
        return FString::Printf(u"Type at most %lld MB: %s today.", (long long)TodayMegabytes, *Today);
    return FString();
}

FString DescribeUnmetFit(const FFitAccount& Fit)
{
    return DescribeFitAccount(Fit) + u"\r\n\r\nThe game keeps what was shrunk all the same; Restore undoes it.";
}

FString DescribeStopQuestion(bool bShrink)
{
    if (bShrink)
        return u"A shrink is running. Stop it and exit?\r\n\r\nYes stops the shrink: the archive it is working on "
               u"stays as it was. No lets the shrink go on.";
    return u"A restore is running. Exit once it has finished?\r\n\r\nNo keeps the window open.";
}

FString DescribePreviewLine(const FString& Page, bool bOpened)
{
    return u"The preview page is " + Page +
           (bOpened ? u"; it went to your web browser." : u"; open it in your web browser.");
}

FString DescribePreviewNotOpened(const FString& Page, uint32_t Error)
{
    return u"The preview is made, but Windows opened no web browser for it (" + DescribeSystemError(Error) +
           u").\r\n\r\nOpen this page in your web browser by hand:\r\n" + Page;
}

namespace
{
FString FileSizeText(const FString& Path, int64_t Bytes)
{
    return appPathFileName(Path) + u" (" + appFormatMegabytes(Bytes) + u")";
}

// What a file that a clean-up removes was, for people.
FString KeptFileRole(const FArchiveFiles& Files, const FString& Path)
{
    if (Path == Files.KeptShrunk)
        return u"the shrunk copy kept for the next shrink";
    if (Path == Files.Temp)
        return u"left by a shrink that did not finish";
    return u"the record of the shrunk copy";
}
} // namespace

bool HasKeptFiles(const TDynArray<FArchiveOutcome>& Archives)
{
    for (const FArchiveOutcome& Archive : Archives)
        if (Archive.Status.KeptShrunkBytes >= 0 || Archive.Status.TempBytes >= 0)
            return true;
    return false;
}

FString DescribeCleanQuestion(const TDynArray<FArchiveOutcome>& Archives)
{
    FString Text = u"PellmorWin keeps these files beside the game's archives; the game does not need them:\r\n";
    for (const FArchiveOutcome& Archive : Archives)
    {
        const FArchiveFiles Files = GetArchiveFiles(Archive.Path);
        const FArchiveStatus& Status = Archive.Status;
        if (Status.KeptShrunkBytes >= 0)
            Text += u"\r\n" + FileSizeText(Files.KeptShrunk, Status.KeptShrunkBytes) + u": " +
                    KeptFileRole(Files, Files.KeptShrunk) +
                    (IsKeptArchiveChanged(Status) ? u", with a change made after the shrink" : u"");
        if (Status.TempBytes >= 0)
            Text += u"\r\n" + FileSizeText(Files.Temp, Status.TempBytes) + u": " + KeptFileRole(Files, Files.Temp);
    }
    return Text + u"\r\n\r\nThe original archives stay as they are, and the game as it is; the next shrink builds "
                  u"its archive anew. Remove these files?";
}

FString GetKeptChangedNames(const TDynArray<FArchiveOutcome>& Archives)
{
    FString Names;
    for (const FArchiveOutcome& Archive : Archives)
        if (IsKeptArchiveChanged(Archive.Status))
            Names += (Names.IsEmpty() ? u"" : u", ") + appPathFileName(GetArchiveFiles(Archive.Path).KeptShrunk);
    return Names;
}

FString DescribeKeptChangeQuestion(const FString& Names)
{
    return Names + u" holds a change made after the shrink (a mod installed into the shrunk archive), and it is the "
                   u"only copy of that change.\r\n\r\nRemove it all the same and lose the change? No keeps it and "
                   u"removes the rest.";
}

namespace
{
// What the clean-up of one archive kept, and why; empty when it removed what there was.
FString DescribeNotCleaned(const FArchiveOutcome& Archive)
{
    const FCleanResult& Clean = Archive.Clean;
    const FArchiveFiles Files = GetArchiveFiles(Archive.Path);
    switch (Clean.Outcome)
    {
        case ECleanOutcome::Busy:
            return Archive.Name + u": another shrink or restore is running on it; nothing was removed.";
        case ECleanOutcome::Interrupted:
            return Archive.Name + u" is missing while its original is kept; nothing was removed. Click Restore to "
                                  u"repair it first.";
        case ECleanOutcome::Changed:
            return appPathFileName(Files.KeptShrunk) + u" was kept: it holds a change made after the shrink.";
        case ECleanOutcome::Failed:
            return appPathFileName(Clean.FailedFile) + u" could not be removed: " + DescribeSystemError(Clean.OsError);
        default:
            return FString();
    }
}
} // namespace

FString DescribeCleanResult(const TDynArray<FArchiveOutcome>& Archives)
{
    FString Text;
    int64_t Freed = 0;
    for (const FArchiveOutcome& Archive : Archives)
    {
        const FArchiveFiles Files = GetArchiveFiles(Archive.Path);
        for (const FString& Path : Archive.Clean.Removed)
            Text += u"Removed " + appPathFileName(Path) + u": " + KeptFileRole(Files, Path) + u".\r\n";
        const FString Kept = DescribeNotCleaned(Archive);
        if (!Kept.IsEmpty())
            Text += Kept + u"\r\n";
        Freed += Archive.Clean.FreedBytes;
    }
    if (Text.IsEmpty())
        return u"There was nothing to remove.";
    if (Freed > 0)
        Text += u"\r\n" + appFormatMegabytes(Freed) + u" freed. The original archives are as they were.";
    return Text;
}

FString DescribeOutcomeForLog(const TDynArray<FArchiveOutcome>& Archives)
{
    FString Lines;
    for (const FArchiveOutcome& Archive : Archives)
    {
        const FTransactionResult& Done = Archive.Transaction;
        if (!Archive.bRan && Done.Failure == ETransactionFailure::None)
            continue;
        FString Line = Archive.Name + (Done.Verdict.EndedAsAsked() ? u": done" : u": not done");
        if (Done.BytesBefore >= 0 && Done.BytesAfter >= 0)
            Line += u", " + DescribeSizeChange(Done.BytesBefore, Done.BytesAfter);
        if (!Done.Message.IsEmpty())
            Line += u"; " + Done.Message;
        if (Done.Verdict.OsError)
            Line += u"; " + DescribeSystemError(Done.Verdict.OsError);
        Lines += Line + u"\r\n";
    }
    return Lines;
}
