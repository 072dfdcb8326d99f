// The shrink's record: what a shrunk archive was built with (the settings, the skip rules) and from (the original's
// size, time and content), and what it was when it was put in place, kept beside the archive as NAME_SHRINK.ini
// for as long as the shrunk archive exists, in use or kept. It decides whether a kept shrunk archive may be taken
// over by the next shrink, and whether a restore would throw away a change made to the shrunk archive in use.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateString.h"
#include "shrinker/FShrinkSettings.h"

struct FArchiveFiles;

// A file's size and last write time, as the record keeps them and status compares them (cheap to ask).
struct FFileStamp
{
    int64_t Bytes = -1;
    int64_t Time = -1; // last write, milliseconds since 2000 UTC ordered like the time itself; -1 when unknown

    bool operator==(const FFileStamp& Other) const { return Bytes == Other.Bytes && Time == Other.Time; }
    bool operator!=(const FFileStamp& Other) const { return !(*this == Other); }
};
// The stamp of the file at Path; Bytes -1 when it cannot be read.
FFileStamp StampOf(const FString& Path);

struct FShrinkRecord
{
    FShrinkSettings Settings;
    uint64_t SkipRulesDigest = 0;
    bool bBuiltInRules = false;         // the rules were the built-in ones (told to people; the digest decides)
    FFileStamp Source;                  // the original it was built from
    uint64_t SourceDigest = 0;          // DigestImgArchive of the original
    FFileStamp Shrunk;                  // the shrunk archive as it was made
    uint64_t ShrunkDigest = 0;          // DigestImgArchive of the shrunk archive
    uint64_t ShrunkDirectoryDigest = 0; // of its header and directory alone, for status's cheap look
    // The shrunk archive was changed after it was made (a mod installed while the game was shrunk) and kept by a
    // restore that was told to discard the change: it is never taken over again.
    bool bChanged = false;
    // The fit mode planned over several archives together: the size this one's part of the plan came to (a lone
    // archive's plan, 0, is another plan). Not written when 0.
    int64_t FitShare = 0;
};

enum class ERecordRead : int32_t
{
    None,       // there is no record (a game shrunk before records were kept, or none shrunk)
    Read,       // Record holds it
    Unreadable, // there is one, but it cannot be read or makes no sense: nothing it would say is trusted
};
ERecordRead ReadShrinkRecord(const FArchiveFiles& Files, FShrinkRecord& Record);
// Writes the record whole or not at all (through a temporary file renamed over it). False when it could not be
// written.
bool WriteShrinkRecord(const FArchiveFiles& Files, const FShrinkRecord& Record);
// Removes the record; a missing one is no failure. False when it exists and cannot be deleted.
bool DeleteShrinkRecord(const FArchiveFiles& Files);

// The digest of an archive's directory records as they stand (cheap: the directory alone is read); 0 when the
// directory cannot be read.
uint64_t DigestImgDirectory(const FString& Path);

// Whether the shrunk archive in use (NAME.img, with the original kept) is no longer what the shrink put in place:
// a mod tool wrote into it (an entry rewritten, bytes appended, the directory changed). The one verdict that status,
// a restore and the dialog's question before a restore all take. Cheap while the file's size, time and directory
// are as the record gave them; when only its time differs (a file touched, an entry rewritten in place) the whole
// file is read once and compared by content, and that answer is remembered for as long as the file stays as it
// is. A size other than the record's is a change, even where only bytes past the last entry differ. Any thread.
bool IsShrunkChanged(const FArchiveFiles& Files, const FShrinkRecord& Record);
