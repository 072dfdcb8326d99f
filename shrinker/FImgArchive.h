// The IMG version-2 archive format: the header, the directory, which entries are texture dictionaries, reading
// and checking a directory against its file, and writing an archive front to back.
//
// An archive is an 8-byte header ("VER2" and the number of entries), a directory of 32-byte records, filler up
// to the first entry's data, and the entries' data in 2048-byte blocks. Every routine here works on the handle
// or data it is given: calls on different files may run on any threads at once.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreFileRaw.h"
#include "Core/Inc/CoreHash.h"
#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"

class FEntryTrace;

enum : int64_t
{
    IMG_BlockSize = 2048,
    // What archive tools that do not pad the last entry leave out at most: the rest of its last block.
    IMG_UnpaddedTail = IMG_BlockSize - 1,
};

const uint32_t IMG_MagicVer2 = 0x32524556; // "VER2"

struct FImgHeader
{
    uint32_t Magic;
    uint32_t NumEntries;
};
static_assert(sizeof(FImgHeader) == 8, "FImgHeader is the stored header");

struct FImgDirEntry
{
    uint32_t BlockOffset; // start of the data, in blocks from the start of the file
    uint32_t BlockCount;  // length of the data, in blocks
    char Name[24];        // ANSI code page, zero-terminated within the field; the rewrite never changes it

    int64_t DataOffset() const { return int64_t(BlockOffset) * IMG_BlockSize; }
    int64_t DataBytes() const { return int64_t(BlockCount) * IMG_BlockSize; }
    int64_t DataEnd() const { return DataOffset() + DataBytes(); }
};
static_assert(sizeof(FImgDirEntry) == 32, "FImgDirEntry is the stored record");

// The entry's name: the text of the field up to its first zero byte, from the ANSI code page.
FString GetImgEntryName(const FImgDirEntry& Entry);
// A texture dictionary is an entry whose name has the extension txd (any case); OutTxdName is then the name
// before that last "." ("a.b" for "a.b.txd"). A name without a "." is never a dictionary.
bool GetImgTxdName(const FImgDirEntry& Entry, FString& OutTxdName);

// How a directory and its file disagree.
struct FImgDamage
{
    // Entries whose data ends past the end of the file (records that the file does not hold whole count too).
    int32_t EntriesPastEnd = 0;
    // How far the furthest entry end (or the directory's own end) lies past the end of the file.
    int64_t BytesPastEnd = 0;
    // What the entries claim together, from the first entry's block on: more than the file holds only when
    // entries overlap.
    int64_t BytesClaimed = 0;
};

enum class EImgCheck : int32_t
{
    Ok,
    Unreadable,   // the file cannot be opened or its size told
    NotAnArchive, // not "VER2", shorter than a header, or a first entry that starts inside the directory
    Damaged,      // entries are missing (see CheckImgFile)
};

struct FImgArchiveCheck
{
    EImgCheck Result = EImgCheck::Unreadable;
    int32_t NumEntries = 0; // as the header says (at most INT32_MAX)
    int64_t FileBytes = -1;
    FImgDamage Damage;
};

// Reads the header and the directory from the start of File (in pieces; nothing the size of the directory is
// held) and checks them against the file's size. The archive is damaged when
//   - the directory itself runs past the end of the file (the file was cut inside it), or
//   - the furthest entry ends more than IMG_UnpaddedTail bytes past the end of the file: up to that much is
//     the unpadded last block that some archive tools leave, and reads as zeros; more means entries are
//     missing, or
//   - the entries together claim more than twice what the file holds (they overlap over and over, and a
//     rewrite would write that much).
// Damage is filled in whatever the result. Leaves the file position anywhere. Blocks on the reads.
FImgArchiveCheck CheckImgFile(FFileHandle File);
// The same for the file at Path, opened for reading and closed again. Any thread.
FImgArchiveCheck CheckImgArchive(const char16_t* Path);

// Reads the NumEntries directory records that follow the header into Out (replacing what it held). False when
// the file holds fewer. Out is allocated at once: a caller checks the archive first.
bool ReadImgDirectory(FFileHandle File, int32_t NumEntries, TDynArray<FImgDirEntry>& Out);

// The directory of the archive at Path, opened for reading and closed again: false unless CheckImgFile finds the
// archive Ok. Any thread.
bool ReadImgDirectory(const char16_t* Path, TDynArray<FImgDirEntry>& Out);
// Whether two records hold the same 24 name bytes.
bool HaveSameName(const FImgDirEntry& A, const FImgDirEntry& B);

// Reads Count bytes at Pos into Dest, going on after reads that come up short. What lies past the end of the
// file reads as zeros, never as what Dest held before, and is no failure (a damaged archive is refused before it
// is read). False when a read failed before the end of the file: Dest then holds zeros where the file's bytes
// should be, and they must not be used. A piece that ends short is traced in the raw file routines' words
// (GShortReadTrace), to Trace when given. Blocks on the reads.
bool ReadImgBytes(FFileHandle File, int64_t Pos, uint8_t* Dest, int64_t Count, FEntryTrace* Trace = nullptr);

// The content digest of an archive: what a rewrite reads of its source and writes of its output, hashed while
// the bytes pass. Three running digests, put together by Digest(): the header and the directory records as they
// finally stand, the filler from the directory's end to the first entry, and every entry's whole blocks in
// directory order (what lies outside them, such as gaps between entries or bytes after the last one, is no
// part of it; what an entry claims past the end of the file counts as zeros). One owner, one thread at a time.
struct FImgDigest
{
    FHash64 Directory;
    FHash64 Filler;
    FHash64 Entries;

    uint64_t Digest() const;
};

// The content digest of the archive at Path, opened for reading and closed again: the same value that a rewrite
// computes as it reads the archive (or writes it). False when the archive is not Ok by CheckImgFile or cannot be
// read. Reads the whole file; blocks. Any thread.
bool DigestImgArchive(const char16_t* Path, uint64_t& Digest);

// Writes an archive front to back: the header and a placeholder directory first, so that the entries can be
// streamed in order, then the filler and each entry's data, then the header and the final directory over the
// placeholder. Without a file (a dry run) it writes nothing and only counts. One thread; blocks on the writes.
// The file stays the caller's.
class FImgArchiveWriter
{
public:
    explicit FImgArchiveWriter(FFileHandle InFile) : File(InFile) {}

    // Appends Count bytes at the write position. False when the file took fewer (a full disk, a failing device).
    bool Write(const void* Bytes, int64_t Count);
    // Writes the header and the directory at the start of the file: first as the placeholder, at the end as the
    // final directory (the write position is then just past it).
    bool WriteDirectory(const FImgHeader& Header, const TDynArray<FImgDirEntry>& Directory);

    // Where the next byte goes, and the size of the archive so far.
    int64_t Position() const { return Pos; }
    int64_t Size() const { return End; }

private:
    FFileHandle File;
    int64_t Pos = 0;
    int64_t End = 0;
};
