// The IMG version-2 format: names, reading and checking directories, writing archives.
#include "shrinker/FImgArchive.h"

#include <cstring>
#include <new>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "shrinker/FEntryTrace.h"

namespace
{
// The directory is checked this many records at a time.
const int32_t CheckPiece = 1024;
// Reads and writes go to the system in pieces of at most this many bytes (its counts are 32-bit).
const int64_t IoPiece = int64_t(1) << 30;
// Sums of claimed sizes stop growing here: far past any file, and no sum of them can wrap.
const int64_t ClaimLimit = int64_t(1) << 62;

int64_t Min(int64_t A, int64_t B)
{
    return A < B ? A : B;
}

// Reads up to Count bytes from the file's position, going on after a read that came up short (a device may
// deliver less than asked before the end); stops at the end of the file or at a failing read. Returns the bytes
// read.
int64_t ReadOn(FFileHandle File, uint8_t* Dest, int64_t Count)
{
    int64_t Got = 0;
    while (Got < Count)
    {
        const uint32_t Read = appFileRead(File, Dest + Got, uint32_t(Min(Count - Got, IoPiece)));
        if (Read == 0)
            break;
        Got += Read;
    }
    return Got;
}

// Opens an archive only to look at it: others may go on reading, writing, renaming or deleting it meanwhile (the
// engine looks once a second, and a program installing a mod must not find the archive locked by that look).
FFileHandle OpenToLook(const char16_t* Path)
{
    return CoreOS::FileOpen(Path, CoreOS::FILEACCESS_Read,
                            CoreOS::FILESHARE_Read | CoreOS::FILESHARE_Write | CoreOS::FILESHARE_Delete,
                            CoreOS::FILECREATE_OpenExisting);
}

// Checks the records that the file holds whole, Held of them, read from just after the header.
bool CheckRecords(FFileHandle File, int64_t Held, FImgArchiveCheck& Check, int64_t& FirstOffset, int64_t& Furthest)
{
    TDynArray<FImgDirEntry> Piece(CheckPiece);
    for (int64_t Done = 0; Done < Held;)
    {
        const int32_t Count = int32_t(Min(CheckPiece, Held - Done));
        const uint32_t Bytes = uint32_t(Count) * sizeof(FImgDirEntry);
        if (ReadOn(File, reinterpret_cast<uint8_t*>(Piece.GetData()), Bytes) != Bytes)
            return false;
        for (int32_t i = 0; i < Count; ++i)
        {
            const FImgDirEntry& Entry = Piece[i];
            if (Done + i == 0)
                FirstOffset = Entry.DataOffset();
            if (Entry.DataEnd() > Check.FileBytes && Check.Damage.EntriesPastEnd < INT32_MAX)
                ++Check.Damage.EntriesPastEnd;
            if (Entry.DataEnd() > Furthest)
                Furthest = Entry.DataEnd();
            Check.Damage.BytesClaimed = Min(Check.Damage.BytesClaimed + Entry.DataBytes(), ClaimLimit);
        }
        Done += Count;
    }
    return true;
}
} // namespace

FString GetImgEntryName(const FImgDirEntry& Entry)
{
    char Name[sizeof(Entry.Name) + 1];
    std::memcpy(Name, Entry.Name, sizeof(Entry.Name));
    Name[sizeof(Entry.Name)] = 0;
    return FString::FromAnsi(Name);
}

bool GetImgTxdName(const FImgDirEntry& Entry, FString& OutTxdName)
{
    const FString Text = GetImgEntryName(Entry);
    const char16_t* Dot = appStrrchr(*Text, u'.');
    if (!Dot || appStricmp(Dot + 1, u"txd") != 0)
        return false;
    OutTxdName = Text.Left(int32_t(Dot - *Text));
    return true;
}

FImgArchiveCheck CheckImgFile(FFileHandle File)
{
    FImgArchiveCheck Check;
    Check.FileBytes = File ? CoreOS::FileGetSize(File) : -1;
    if (Check.FileBytes < 0 || !appFileSeek(File, 0))
    {
        Check.FileBytes = -1;
        return Check;
    }
    FImgHeader Header = {0, 0};
    if (ReadOn(File, reinterpret_cast<uint8_t*>(&Header), sizeof(Header)) != sizeof(Header) ||
        Header.Magic != IMG_MagicVer2)
    {
        Check.Result = EImgCheck::NotAnArchive;
        return Check;
    }
    Check.NumEntries = Header.NumEntries > INT32_MAX ? INT32_MAX : int32_t(Header.NumEntries);

    // Records the file does not hold whole are entries whose data cannot be found: they lie past the end too.
    const int64_t DirEnd = int64_t(sizeof(Header)) + int64_t(Header.NumEntries) * int64_t(sizeof(FImgDirEntry));
    const int64_t Held =
        Min(Header.NumEntries, (Check.FileBytes - int64_t(sizeof(Header))) / int64_t(sizeof(FImgDirEntry)));
    Check.Damage.EntriesPastEnd = int32_t(Min(int64_t(Header.NumEntries) - Held, INT32_MAX));
    int64_t FirstOffset = 0;
    int64_t Furthest = DirEnd;
    if (!CheckRecords(File, Held, Check, FirstOffset, Furthest))
    {
        Check.Result = EImgCheck::Unreadable;
        return Check;
    }
    Check.Damage.BytesClaimed = Min(Check.Damage.BytesClaimed + FirstOffset, ClaimLimit);
    Check.Damage.BytesPastEnd = Furthest > Check.FileBytes ? Furthest - Check.FileBytes : 0;

    if (DirEnd > Check.FileBytes || Check.Damage.BytesPastEnd > IMG_UnpaddedTail ||
        Check.Damage.BytesClaimed > 2 * Check.FileBytes)
        Check.Result = EImgCheck::Damaged;
    else if (Header.NumEntries > 0 && FirstOffset < DirEnd)
        Check.Result = EImgCheck::NotAnArchive; // the filler before the first entry would be negative
    else
        Check.Result = EImgCheck::Ok;
    return Check;
}

FImgArchiveCheck CheckImgArchive(const char16_t* Path)
{
    FFileHandle File = OpenToLook(Path);
    if (!File)
        return FImgArchiveCheck();
    const FImgArchiveCheck Check = CheckImgFile(File);
    appFileClose(File);
    return Check;
}

bool ReadImgDirectory(FFileHandle File, int32_t NumEntries, TDynArray<FImgDirEntry>& Out)
{
    appCheck(NumEntries >= 0);
    Out.Empty();
    Out.Reserve(NumEntries);
    Out.Add(NumEntries);
    const int64_t Bytes = int64_t(NumEntries) * int64_t(sizeof(FImgDirEntry));
    return appFileSeek(File, sizeof(FImgHeader)) &&
           ReadOn(File, reinterpret_cast<uint8_t*>(Out.GetData()), Bytes) == Bytes;
}

bool ReadImgDirectory(const char16_t* Path, TDynArray<FImgDirEntry>& Out)
{
    FFileHandle File = OpenToLook(Path);
    if (!File)
        return false;
    const FImgArchiveCheck Check = CheckImgFile(File);
    // Only a directory that the check found whole is read: a damaged one may claim any number of records.
    const bool bRead = Check.Result == EImgCheck::Ok && ReadImgDirectory(File, Check.NumEntries, Out);
    appFileClose(File);
    return bRead;
}

bool HaveSameName(const FImgDirEntry& A, const FImgDirEntry& B)
{
    return std::memcmp(A.Name, B.Name, sizeof(A.Name)) == 0;
}

bool ReadImgBytes(FFileHandle File, int64_t Pos, uint8_t* Dest, int64_t Count, FEntryTrace* Trace)
{
    appCheck(Count >= 0);
    // The reads go to the system directly (not through appFileRead), so that a short one is traced where the
    // caller wants its lines.
    FEntryTrace Direct;
    FEntryTrace& Lines = Trace ? *Trace : Direct;
    int64_t Got = 0;
    if (appFileSeek(File, Pos))
    {
        while (Got < Count)
        {
            // A device may deliver less than asked before the end: the piece goes on until it is whole or the
            // file has nothing more, and only a piece that ends short is traced.
            const uint32_t Asked = uint32_t(Min(Count - Got, IoPiece));
            uint32_t PieceGot = 0;
            for (uint32_t Read = 1; PieceGot < Asked && Read > 0;)
            {
                Read = 0;
                CoreOS::FileRead(File, Dest + Got + PieceGot, Asked - PieceGot, &Read);
                PieceGot += Read;
            }
            Got += PieceGot;
            if (PieceGot < Asked)
            {
                Lines.Logf(GShortReadTrace, int32_t(PieceGot), int32_t(Asked));
                break;
            }
        }
    }
    else
        Lines.Logf(GShortReadTrace, 0, int32_t(Min(Count, INT32_MAX)));
    if (Got == Count)
        return true;
    // What the source does not hold reads as zeros, never as what Dest held before. Only a read that stopped
    // before the end of the file failed: those bytes are there, and zeros in their place would spoil the copy.
    std::memset(Dest + Got, 0, size_t(Count - Got));
    const int64_t Size = CoreOS::FileGetSize(File);
    return Size >= 0 && Pos + Got >= Size;
}

uint64_t FImgDigest::Digest() const
{
    const uint64_t Parts[3] = {Directory.Digest(), Filler.Digest(), Entries.Digest()};
    return appHash64(Parts, sizeof(Parts));
}

namespace
{
// Hashes Count bytes of File from Pos, in pieces, as ReadImgBytes reads them.
bool HashImgBytes(FFileHandle File, int64_t Pos, int64_t Count, FHash64& Hash, TDynArray<uint8_t>& Piece)
{
    const int64_t PieceBytes = int64_t(4) << 20;
    for (int64_t Done = 0; Done < Count;)
    {
        const int64_t Bytes = Min(Count - Done, PieceBytes);
        if (Piece.Num() < Bytes)
            Piece.SetNum(int32_t(Bytes));
        if (!ReadImgBytes(File, Pos + Done, Piece.GetData(), Bytes))
            return false;
        Hash.Update(Piece.GetData(), size_t(Bytes));
        Done += Bytes;
    }
    return true;
}

bool DigestImgFile(FFileHandle File, uint64_t& Digest)
{
    const FImgArchiveCheck Check = CheckImgFile(File);
    TDynArray<FImgDirEntry> Directory;
    if (Check.Result != EImgCheck::Ok || !ReadImgDirectory(File, Check.NumEntries, Directory))
        return false;
    FImgDigest Parts;
    const FImgHeader Header = {IMG_MagicVer2, uint32_t(Check.NumEntries)};
    Parts.Directory.Update(&Header, sizeof(Header));
    Parts.Directory.Update(Directory.GetData(), size_t(Directory.Num()) * sizeof(FImgDirEntry));
    TDynArray<uint8_t> Piece;
    if (Directory.Num() > 0)
    {
        const int64_t DirEnd = int64_t(sizeof(Header)) + int64_t(Directory.Num()) * int64_t(sizeof(FImgDirEntry));
        if (!HashImgBytes(File, DirEnd, Directory[0].DataOffset() - DirEnd, Parts.Filler, Piece))
            return false;
    }
    for (const FImgDirEntry& Entry : Directory)
        if (!HashImgBytes(File, Entry.DataOffset(), Entry.DataBytes(), Parts.Entries, Piece))
            return false;
    Digest = Parts.Digest();
    return true;
}
} // namespace

bool DigestImgArchive(const char16_t* Path, uint64_t& Digest)
{
    FFileHandle File = OpenToLook(Path);
    if (!File)
        return false;
    bool bDone = false;
    try
    {
        bDone = DigestImgFile(File, Digest);
    }
    catch (const std::bad_alloc&)
    {
    }
    appFileClose(File);
    return bDone;
}

bool FImgArchiveWriter::Write(const void* Bytes, int64_t Count)
{
    appCheck(Count >= 0);
    const uint8_t* Data = static_cast<const uint8_t*>(Bytes);
    for (int64_t Done = 0; File && Done < Count;)
    {
        const uint32_t Asked = uint32_t(Min(Count - Done, IoPiece));
        if (appFileWrite(File, Data + Done, Asked) != Asked)
            return false;
        Done += Asked;
    }
    Pos += Count;
    if (Pos > End)
        End = Pos;
    return true;
}

bool FImgArchiveWriter::WriteDirectory(const FImgHeader& Header, const TDynArray<FImgDirEntry>& Directory)
{
    if (File && (!appFileSeek(File, 0) || appFileTell(File) != 0))
        return false;
    Pos = 0;
    return Write(&Header, sizeof(Header)) &&
           Write(Directory.GetData(), int64_t(Directory.Num()) * int64_t(sizeof(FImgDirEntry)));
}
