// The dialog's plain advice for failures and the status texts for what the engine found in the game's files.
#include "app/PellmorWinAdvice.h"

#include "Core/Inc/CoreOS.h"
#include "shrinker/FImgArchive.h"

namespace
{
const char16_t* const Paragraph = u"\r\n\r\n";

// "The file named by Path" without its folder.
FString FileNameOf(const FArchiveFiles& Files, const FString& Path)
{
    return Path.StartsWith(*Files.Folder) ? Path.Mid(Files.Folder.Len()) : Path;
}

// Sizes as a player compares them with what the system shows: binary megabytes, gigabytes from 10 GB on.
FString FormatSize(int64_t Bytes, bool bRoundUp)
{
    const int64_t MB = int64_t(1) << 20;
    if (Bytes >= 10240 * MB)
        return FString::Printf(u"%.1f GB", double(Bytes) / double(1024 * MB));
    return FString::Printf(u"%lld MB", (long long)((Bytes + (bRoundUp ? MB - 1 : 0)) / MB));
}

FString CopyAgain(const FString& ArchiveName)
{
    return FString::Printf(u"Copy %s again from the game's install or a backup.", *ArchiveName);
}

// What is wrong with an archive the shrinker refuses; a restore would not mend it, so none is offered.
FString DescribeDamage(const FImgDamage& Damage, const FString& ArchiveName)
{
    if (Damage.BytesPastEnd > IMG_UnpaddedTail)
    {
        const bool bOne = Damage.EntriesPastEnd == 1;
        return FString::Printf(u"%s is damaged: %d %s (%.1f MB) %s past the end of the file.", *ArchiveName,
                               Damage.EntriesPastEnd, bOne ? u"entry" : u"entries", double(Damage.BytesPastEnd) / 1e6,
                               bOne ? u"lies" : u"lie");
    }
    return FString::Printf(u"%s is damaged: its entries overlap, claiming more than twice what the file holds.",
                           *ArchiveName);
}

FString DescribeNotAnArchive(const FString& ArchiveName)
{
    return FString::Printf(u"%s is not an IMG version-2 archive, as the game's own is.", *ArchiveName);
}

FString DescribeWriteDenied(const FArchiveFiles& Files)
{
    return u"Windows does not let PellmorWin change the files in\r\n" + Files.Folder +
           u"\r\n\r\nRun PellmorWin as administrator (right-click PellmorWin.exe and choose \"Run as "
           u"administrator\"), or move the game to a folder you may write to, such as C:\\Games.";
}

// A delete, rename or build that the system refused: the folder may be closed to the user (Program Files under
// UAC), or the game or another program holds the archive open. Both give "access denied" for a rename, so the
// folder is asked first.
FString DescribeRefusal(const FArchiveFiles& Files, uint32_t OsError)
{
    if (CheckShrinkNeeds(Files, FArchiveStatus()).WriteError == CoreOS::OSERROR_AccessDenied)
        return DescribeWriteDenied(Files);
    if (OsError == CoreOS::OSERROR_AccessDenied || OsError == CoreOS::OSERROR_SharingViolation ||
        OsError == CoreOS::OSERROR_LockViolation)
        return FString::Printf(u"The game's archive is in use, so Windows does not let PellmorWin rename or delete "
                               u"it. Close the game, or any program that has %s open, and try again.",
                               *Files.Name);
    return FString();
}

FString DescribeSpace(const FTransactionResult& Outcome)
{
    const FString Needed = FormatSize(Outcome.NeededBytes, true);
    if (Outcome.FreeBytes < 0)
        return FString::Printf(u"PellmorWin cannot tell how much space is free on the drive that holds the game; a "
                               u"shrink needs %s.",
                               *Needed);
    return FString::Printf(u"There is not enough free space on the drive that holds the game: %s free, %s needed. "
                           u"Free some space and try again.",
                           *FormatSize(Outcome.FreeBytes, false), *Needed);
}

// The advice for the kind of failure; empty where the engine's text says all there is.
FString DescribeKind(const FTransactionResult& Outcome, const FArchiveFiles& Files)
{
    switch (Outcome.Failure)
    {
        case ETransactionFailure::Busy:
            return u"Another shrink or restore (another PellmorWin.exe, or pellmor) is running on these game files; "
                   u"nothing was changed. Wait until it has finished, then try again.";
        case ETransactionFailure::NoSpace:
            return DescribeSpace(Outcome);
        case ETransactionFailure::BuildFailed:
            if (Outcome.BuildFailure == EShrinkFailure::Damaged)
                return DescribeDamage(Outcome.Damage, Files.Name) + u" " + CopyAgain(Files.Name);
            if (Outcome.BuildFailure == EShrinkFailure::NotAnArchive)
                return DescribeNotAnArchive(Files.Name) + u" " + CopyAgain(Files.Name);
            return DescribeRefusal(Files, 0);
        case ETransactionFailure::DeleteFailed:
        case ETransactionFailure::RenameFailed:
            return DescribeRefusal(Files, Outcome.OsError);
        case ETransactionFailure::None:
        case ETransactionFailure::NotReady:
        case ETransactionFailure::Cancelled:
            break;
    }
    return FString();
}
} // namespace

FString DescribeFailure(const FString& Message, const FTransactionResult& Outcome, bool bRestore,
                        const FArchiveFiles& Files)
{
    FString Text = Message;
    // The caption is "Perform Shrink" for both transactions, so a restore's failure says whose it is.
    if (bRestore)
    {
        const bool bOriginalKept =
            Outcome.StateBefore == EArchiveState::Shrunk || Outcome.StateBefore == EArchiveState::Interrupted;
        Text += Paragraph;
        Text += bOriginalKept ? FString::Printf(u"The restore failed; the original archive is still kept as %s.",
                                                *FileNameOf(Files, Files.OrigBak))
                              : FString(u"The restore failed.");
    }
    const FString Advice = DescribeKind(Outcome, Files);
    if (!Advice.IsEmpty())
        Text += Paragraph + Advice;
    return Text;
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
        What = DescribeDamage(Seen.Check.Damage, ArchiveName);
    else if (Seen.State == EArchiveState::NotAnArchive)
        What = DescribeNotAnArchive(ArchiveName);
    else
        return FString();
    return u"Found GTA:SA files, but " + What + Paragraph + CopyAgain(ArchiveName) +
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
