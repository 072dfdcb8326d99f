// The dialog's plain advice for failures and the status texts for what the engine found in the game's files.
#include "app/PellmorWinAdvice.h"

#include "Core/Inc/CoreFormat.h"
#include "Core/Inc/CorePath.h"

namespace
{
const char16_t* const Paragraph = u"\r\n\r\n";

FString CopyAgain(const FString& ArchiveName)
{
    return FString::Printf(u"Copy %s again from the game's install or a backup.", *ArchiveName);
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

FString DescribeInUse(const FArchiveFiles& Files)
{
    return FString::Printf(u"The game's archive is in use, so Windows does not let PellmorWin rename or delete it. "
                           u"Close the game, or any program that has %s open, and try again.",
                           *Files.Name);
}

FString DescribeSpace(const FVerdict& Verdict)
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

// The advice for the kind of failure; empty where the engine's text says all there is.
FString DescribeKind(const FVerdict& Verdict, const FArchiveFiles& Files)
{
    switch (Verdict.Kind)
    {
        case EVerdict::Busy:
            return u"Another shrink or restore (another PellmorWin.exe, or pellmor) is running on these game files; "
                   u"nothing was changed. Wait until it has finished, then try again.";
        case EVerdict::NoSpace:
            return DescribeSpace(Verdict);
        case EVerdict::Damaged:
            return DescribeDamage(Files.Name, Verdict.Damage) + u" " + CopyAgain(Files.Name);
        case EVerdict::NotAnArchive:
            return DescribeNotAnArchive(Files.Name) + u" " + CopyAgain(Files.Name);
        case EVerdict::AccessDenied:
            return DescribeWriteDenied(Files);
        case EVerdict::InUse:
            return DescribeInUse(Files);
        default:
            return FString();
    }
}
} // namespace

FString DescribeFailure(const FString& Message, const FVerdict& Verdict, const FArchiveFiles& Files)
{
    FString Text = Message;
    // The caption is "Perform Shrink" for both transactions, so a restore's failure says whose it is.
    if (Verdict.bRestore)
    {
        Text += Paragraph;
        Text += Verdict.IsOriginalKept()
                    ? FString::Printf(u"The restore failed; the original archive is still kept as %s.",
                                      *appPathFileName(Files.OrigBak))
                    : FString(u"The restore failed.");
    }
    const FString Advice = DescribeKind(Verdict, Files);
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
        What = DescribeDamage(ArchiveName, Seen.Check.Damage);
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
