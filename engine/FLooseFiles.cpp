// The loose dictionaries' transaction: the journal, the states read from the disk, shrink, restore, finishing.
#include "engine/FLooseFiles.h"

#include <cstdio>
#include <string>

#include "Core/Inc/CoreHash.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreUtil.h"
#include "engine/FGameDisk.h"
#include "engine/FGameFiles.h"
#include "shrinker/FTxdFileShrinker.h"

namespace
{
const char* const JournalTitle = "pellmor loose journal 1";
const char16_t* const NewSuffix = u".pellmor-new";
// A journal names a line per file; past this it is no journal of ours.
const int64_t MaxJournalBytes = int64_t(64) << 20;

FString JournalPath(const FString& Dir)
{
    return GetLooseStore(Dir) + u"loose.journal";
}

FString LivePath(const FString& Dir, const FLooseEntry& Entry)
{
    return Dir + Entry.Relative;
}

FString NewPath(const FString& Dir, const FLooseEntry& Entry)
{
    return LivePath(Dir, Entry) + NewSuffix;
}

FString KeptPath(const FString& Dir, const FLooseEntry& Entry)
{
    return GetLooseStore(Dir) + u"originals\\" + Entry.Relative;
}

// The size and content digest of the whole file; false when it cannot be read through.
bool DigestFile(const FString& Path, int64_t& Bytes, uint64_t& Digest)
{
    CoreOS::FFileHandle File = CoreOS::FileOpen(*Path, CoreOS::FILEACCESS_Read,
                                                CoreOS::FILESHARE_Read, CoreOS::FILECREATE_OpenExisting);
    if (!File)
        return false;
    FHash64 Hash;
    std::string Piece(size_t(1) << 20, '\0');
    Bytes = 0;
    bool bOk = true;
    for (;;)
    {
        uint32_t Read = 0;
        bOk = CoreOS::FileRead(File, &Piece[0], uint32_t(Piece.size()), &Read);
        if (!bOk || Read == 0)
            break;
        Hash.Update(Piece.data(), Read);
        Bytes += Read;
    }
    CoreOS::FileClose(File);
    Digest = Hash.Digest();
    return bOk;
}

bool Holds(const FString& Path, int64_t Bytes, uint64_t Digest)
{
    int64_t HasBytes = 0;
    uint64_t HasDigest = 0;
    return FGameDisk::FileSize(Path) == Bytes && DigestFile(Path, HasBytes, HasDigest) && HasBytes == Bytes &&
           HasDigest == Digest;
}

// Makes every folder of Path's that is missing, below the game folder Dir.
bool MakeFolders(const FString& Dir, const FString& Path)
{
    const FString Folder = appPathFolder(Path);
    if (Folder.Len() <= Dir.Len() || FGameDisk::IsFolder(Folder))
        return true;
    return MakeFolders(Dir, Folder.Left(Folder.Len() - 1)) && FGameDisk::MakeFolder(Folder);
}

std::string HexOf(uint64_t Value)
{
    char Text[17];
    std::snprintf(Text, sizeof(Text), "%016llx", (unsigned long long)Value);
    return Text;
}

// The journal's text: its title, then a line per file: "shrunk" or "pending", the sizes and digests before and
// after, and the path, which runs to the end of the line.
std::string JournalText(const FLooseJournal& Journal)
{
    std::string Text = std::string(JournalTitle) + "\n";
    for (const FLooseEntry& Entry : Journal.Entries)
        Text += std::string(Entry.bPending ? "pending " : "shrunk ") + std::to_string(Entry.BytesBefore) + " " +
                HexOf(Entry.DigestBefore) + " " + std::to_string(Entry.BytesAfter) + " " + HexOf(Entry.DigestAfter) +
                " " + Entry.Relative.ToUtf8() + "\n";
    return Text;
}

// Writes the journal whole beside itself, flushed, then in its place in one step; with no entries, deletes it.
bool WriteJournal(const FString& Dir, const FLooseJournal& Journal)
{
    const FString Path = JournalPath(Dir);
    if (Journal.Entries.Num() == 0)
        return FGameDisk::Remove(Path);
    if (!FGameDisk::IsFolder(GetLooseStore(Dir)) && !FGameDisk::MakeFolder(GetLooseStore(Dir)))
        return false;
    const std::string Text = JournalText(Journal);
    const FString Part = Path + u".part";
    // The journal is at every moment the old one or the new one, never none.
    if (!FGameDisk::WriteBytes(Part, Text.data(), Text.size()) || !FGameDisk::FlushToDisk(Part) ||
        !FGameDisk::ReplaceInOneStep(Part, Path))
        return false;
    CoreOS::SyncDirectory(*GetLooseStore(Dir));
    return true;
}

// Path below the game folder Dir, with backslashes, whatever the separators and the case of the folder's spelling
// (the disk's, or the caller's); false when Path is not below Dir.
bool BelowGame(const FString& Dir, const FString& Path, FString& Relative)
{
    auto Plain = [](const FString& Text)
    {
        FString Out = Text;
        for (int32_t i = 0; i < Out.Len(); ++i)
            if (Out[i] == u'/')
                Out[i] = u'\\';
        return Out;
    };
    const FString Folder = Plain(Dir), File = Plain(Path);
    if (File.Len() <= Folder.Len() || !File.Left(Folder.Len()).EqualsNoCase(*Folder))
        return false;
    Relative = File.Mid(Folder.Len());
    return true;
}

// The start of a transaction that holds Lock: false, with Outcome saying why, when another holds the game or what
// a run cut off left cannot be finished first.
bool Begin(const FTransactionLock& Lock, const FString& Dir, FLooseOutcome& Outcome)
{
    if (Lock.IsBusy())
    {
        Outcome.bOk = false;
        Outcome.bBusy = true;
        return false;
    }
    Outcome = FinishLooseJournal(Dir);
    return Outcome.bOk;
}

bool ParseLine(const std::string& Line, FLooseEntry& Entry)
{
    char State[16] = {};
    long long Before = 0, After = 0;
    unsigned long long DigestBefore = 0, DigestAfter = 0;
    int Used = 0;
    if (std::sscanf(Line.c_str(), "%15s %lld %llx %lld %llx %n", State, &Before, &DigestBefore, &After, &DigestAfter,
                    &Used) != 5 ||
        Used <= 0 || size_t(Used) >= Line.size())
        return false;
    const std::string Name = Line.substr(size_t(Used));
    Entry.bPending = std::string(State) == "pending";
    if (!Entry.bPending && std::string(State) != "shrunk")
        return false;
    Entry.Relative = FString::FromUtf8(Name.c_str());
    Entry.BytesBefore = Before;
    Entry.DigestBefore = DigestBefore;
    Entry.BytesAfter = After;
    Entry.DigestAfter = DigestAfter;
    // Only a path below the game folder: a journal never sends a move elsewhere.
    return !Entry.Relative.IsEmpty() && !appIsAbsolutePath(*Entry.Relative) && Entry.Relative.InStr(u"..") < 0;
}

// Moves a pending entry's files on as far as they go: the original into the store, the new file into its place.
// Whether the entry now stands shrunk (false: it is as it was before the shrink, or failed, Why set).
bool MoveIn(const FString& Dir, FLooseEntry& Entry, FString& Why)
{
    const FString Live = LivePath(Dir, Entry), New = NewPath(Dir, Entry), Kept = KeptPath(Dir, Entry);
    const bool bKept = FGameDisk::Exists(Kept);
    if (!bKept)
    {
        if (!FGameDisk::Exists(New))
            return false; // never begun: the file is as it was
        if (!MakeFolders(Dir, Kept) || FGameDisk::Rename(Live, Kept, ERename::NeverReplacing) != 0)
        {
            Why = FString::Printf(u"cannot keep the original of %s", *Entry.Relative);
            return false;
        }
    }
    if (FGameDisk::Exists(New) && FGameDisk::Rename(New, Live, ERename::NeverReplacing) != 0)
    {
        Why = FString::Printf(u"cannot put the shrunk %s in place", *Entry.Relative);
        return false;
    }
    if (!FGameDisk::Exists(Live))
    {
        // The new file was lost: the original goes back.
        FGameDisk::Rename(Kept, Live, ERename::NeverReplacing);
        return false;
    }
    Entry.bPending = false;
    return true;
}
} // namespace

FString GetLooseStore(const FString& Dir)
{
    return Dir + u".pellmor\\";
}

bool ReadLooseJournal(const FString& Dir, FLooseJournal& Journal, FString& Why)
{
    Journal = FLooseJournal();
    const FString Path = JournalPath(Dir);
    if (!FGameDisk::Exists(Path))
        return false;
    FString Text;
    if (!FGameDisk::LoadText(Path, Text, MaxJournalBytes))
    {
        Why = FString::Printf(u"cannot read %s", *Path);
        return false;
    }
    const std::string Bytes = Text.ToBytes();
    size_t Start = 0;
    bool bTitle = true;
    while (Start < Bytes.size())
    {
        size_t End = Bytes.find('\n', Start);
        End = End == std::string::npos ? Bytes.size() : End;
        const std::string Line = Bytes.substr(Start, End - Start);
        Start = End + 1;
        if (bTitle)
        {
            if (Line != JournalTitle)
            {
                Why = FString::Printf(u"%s is no journal of pellmor's", *Path);
                return false;
            }
            bTitle = false;
            continue;
        }
        FLooseEntry Entry;
        if (Line.empty())
            continue;
        if (!ParseLine(Line, Entry))
        {
            Why = FString::Printf(u"%s is damaged", *Path);
            return false;
        }
        Journal.Entries.AddItem(Entry);
    }
    return !bTitle;
}

ELooseState GetLooseState(const FString& Dir, const FLooseEntry& Entry)
{
    if (Entry.bPending)
        return ELooseState::Unfinished;
    const FString Live = LivePath(Dir, Entry);
    if (!FGameDisk::Exists(KeptPath(Dir, Entry)))
        return Holds(Live, Entry.BytesBefore, Entry.DigestBefore) ? ELooseState::Restored : ELooseState::Lost;
    if (!FGameDisk::Exists(Live))
        return ELooseState::Removed;
    return Holds(Live, Entry.BytesAfter, Entry.DigestAfter) ? ELooseState::Shrunk : ELooseState::Changed;
}

FLooseOutcome FinishLooseJournal(const FString& Dir)
{
    FLooseOutcome Outcome;
    FLooseJournal Journal;
    if (!ReadLooseJournal(Dir, Journal, Outcome.Reason))
    {
        Outcome.bOk = Outcome.Reason.IsEmpty();
        return Outcome;
    }
    bool bChanged = false;
    TDynArray<FLooseEntry> Kept;
    for (FLooseEntry& Entry : Journal.Entries)
    {
        if (!Entry.bPending)
        {
            // A restore cut off after putting this one back: it leaves the journal.
            if (GetLooseState(Dir, Entry) == ELooseState::Restored)
            {
                bChanged = true;
                ++Outcome.Finished;
                continue;
            }
            Kept.AddItem(Entry);
            continue;
        }
        bChanged = true;
        FString Why;
        if (MoveIn(Dir, Entry, Why))
        {
            ++Outcome.Finished;
            Kept.AddItem(Entry);
        }
        else if (!Why.IsEmpty())
        {
            // Neither moved on nor back: it stays pending for the next run, and nothing is lost.
            Outcome.bOk = false;
            Outcome.Failed.AddItem(Entry.Relative);
            Outcome.Reason = Outcome.Reason.IsEmpty() ? Why : Outcome.Reason;
            Kept.AddItem(Entry);
        }
        else
            FGameDisk::Remove(NewPath(Dir, Entry));
    }
    Journal.Entries = Kept;
    if (bChanged && !WriteJournal(Dir, Journal))
    {
        Outcome.bOk = false;
        Outcome.Reason = FString::Printf(u"cannot write %s", *JournalPath(Dir));
    }
    return Outcome;
}

FLooseOutcome ShrinkLooseFiles(const FString& Dir, const TDynArray<FLooseDictionary>& Files,
                               const FShrinkOptions& Options)
{
    FTransactionLock Lock(GetGameArchiveFiles(Dir));
    FLooseOutcome Outcome;
    if (!Begin(Lock, Dir, Outcome))
        return Outcome;
    FLooseJournal Journal;
    ReadLooseJournal(Dir, Journal, Outcome.Reason);

    // The new files, each beside its old one; nothing is moved yet.
    const int32_t Before = Journal.Entries.Num();
    for (const FLooseDictionary& File : Files)
    {
        FLooseEntry Entry;
        if (File.Use != ELooseUse::World || !BelowGame(Dir, File.Path, Entry.Relative))
            continue;
        bool bListed = false;
        for (const FLooseEntry& Listed : Journal.Entries)
            bListed = bListed || Listed.Relative.EqualsNoCase(*Entry.Relative);
        if (bListed)
            continue;
        // An original kept that no journal line names (the journal was lost): the file may be a shrunk one, and
        // shrinking it again would put the kept original at risk. It is left as it is.
        if (FGameDisk::Exists(KeptPath(Dir, Entry)))
        {
            Outcome.Failed.AddItem(Entry.Relative);
            Outcome.Reason = Outcome.Reason.IsEmpty()
                                 ? FString::Printf(u"an original of %s is kept already in %s, and the journal does "
                                                   u"not name it",
                                                   *Entry.Relative, *GetLooseStore(Dir))
                                 : Outcome.Reason;
            continue;
        }
        FShrinkOptions Shrinking = Options;
        Shrinking.bDryRun = false;
        const FShrinkResult Result = ShrinkTxdFile(*NewPath(Dir, Entry), *File.Path, Shrinking);
        if (!Result.bOk)
        {
            Outcome.Failed.AddItem(Entry.Relative);
            Outcome.Reason = Outcome.Reason.IsEmpty() ? Result.Reason : Outcome.Reason;
            continue;
        }
        if (Result.OutputDigest == Result.SourceDigest && Result.OutputBytes == Result.SourceBytes)
        {
            FGameDisk::Remove(NewPath(Dir, Entry));
            ++Outcome.Same;
            continue;
        }
        Entry.BytesBefore = Result.SourceBytes;
        Entry.DigestBefore = Result.SourceDigest;
        Entry.BytesAfter = Result.OutputBytes;
        Entry.DigestAfter = Result.OutputDigest;
        Entry.bPending = true;
        Journal.Entries.AddItem(Entry);
    }
    if (Journal.Entries.Num() == Before)
    {
        Outcome.bOk = Outcome.Failed.Num() == 0;
        return Outcome;
    }
    // The journal first: from here on, a run cut off is finished by the next one.
    if (!WriteJournal(Dir, Journal))
    {
        for (int32_t i = Before; i < Journal.Entries.Num(); ++i)
            FGameDisk::Remove(NewPath(Dir, Journal.Entries[i]));
        Outcome.bOk = false;
        Outcome.Reason = FString::Printf(u"cannot write %s", *JournalPath(Dir));
        return Outcome;
    }
    for (int32_t i = Before; i < Journal.Entries.Num(); ++i)
    {
        FString Why;
        if (MoveIn(Dir, Journal.Entries[i], Why))
            ++Outcome.Done;
        else
        {
            Outcome.Failed.AddItem(Journal.Entries[i].Relative);
            Outcome.Reason = Outcome.Reason.IsEmpty() ? Why : Outcome.Reason;
        }
    }
    // Those that did not move stay pending (the next run finishes them) unless they are as they were.
    TDynArray<FLooseEntry> Kept;
    for (const FLooseEntry& Entry : Journal.Entries)
        if (!Entry.bPending || FGameDisk::Exists(KeptPath(Dir, Entry)) || FGameDisk::Exists(NewPath(Dir, Entry)))
            Kept.AddItem(Entry);
    Journal.Entries = Kept;
    if (!WriteJournal(Dir, Journal))
        Outcome.Reason = FString::Printf(u"cannot write %s", *JournalPath(Dir));
    Outcome.bOk = Outcome.Failed.Num() == 0;
    return Outcome;
}

FLooseOutcome RestoreLooseFiles(const FString& Dir, bool bDiscardChanges)
{
    FTransactionLock Lock(GetGameArchiveFiles(Dir));
    FLooseOutcome Outcome;
    if (!Begin(Lock, Dir, Outcome))
        return Outcome;
    FLooseJournal Journal;
    if (!ReadLooseJournal(Dir, Journal, Outcome.Reason))
    {
        Outcome.bOk = Outcome.Reason.IsEmpty();
        return Outcome;
    }
    TDynArray<FLooseEntry> Left;
    for (const FLooseEntry& Entry : Journal.Entries)
    {
        const ELooseState State = GetLooseState(Dir, Entry);
        if (State == ELooseState::Lost || State == ELooseState::Restored)
            continue; // nothing to put back
        if (State == ELooseState::Removed || (State == ELooseState::Changed && !bDiscardChanges))
        {
            (State == ELooseState::Removed ? Outcome.Removed : Outcome.Changed).AddItem(Entry.Relative);
            Left.AddItem(Entry);
            continue;
        }
        // The original takes the shrunk file's place in one step: the file is at every moment one or the other.
        if (!FGameDisk::ReplaceInOneStep(KeptPath(Dir, Entry), LivePath(Dir, Entry)))
        {
            Outcome.Failed.AddItem(Entry.Relative);
            Outcome.Reason = Outcome.Reason.IsEmpty()
                                 ? FString::Printf(u"cannot put the original of %s back", *Entry.Relative)
                                 : Outcome.Reason;
            Left.AddItem(Entry);
            continue;
        }
        ++Outcome.Done;
    }
    Journal.Entries = Left;
    if (!WriteJournal(Dir, Journal) && Outcome.Reason.IsEmpty())
        Outcome.Reason = FString::Printf(u"cannot write %s", *JournalPath(Dir));
    Outcome.bOk = Outcome.Failed.Num() == 0 && Outcome.Reason.IsEmpty();
    return Outcome;
}

FLooseOutcome ForgetRemovedLooseFiles(const FString& Dir)
{
    FTransactionLock Lock(GetGameArchiveFiles(Dir));
    FLooseOutcome Outcome;
    FLooseJournal Journal;
    if (Lock.IsBusy() || !ReadLooseJournal(Dir, Journal, Outcome.Reason))
    {
        Outcome.bBusy = Lock.IsBusy();
        Outcome.bOk = !Lock.IsBusy() && Outcome.Reason.IsEmpty();
        return Outcome;
    }
    TDynArray<FLooseEntry> Left;
    for (const FLooseEntry& Entry : Journal.Entries)
    {
        if (GetLooseState(Dir, Entry) == ELooseState::Removed && FGameDisk::Remove(KeptPath(Dir, Entry)))
        {
            Outcome.Removed.AddItem(Entry.Relative);
            ++Outcome.Done;
            continue;
        }
        Left.AddItem(Entry);
    }
    Journal.Entries = Left;
    if (!WriteJournal(Dir, Journal))
    {
        Outcome.bOk = false;
        Outcome.Reason = FString::Printf(u"cannot write %s", *JournalPath(Dir));
    }
    return Outcome;
}
